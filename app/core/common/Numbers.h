#pragma once

#include <QString>
#include <cmath>

// Number conversions shared by the whole program: every fractional value is
// rounded to the nearest integer with ties to even.

namespace common {

inline int RoundHalfEven(double value)
{
    // nearbyint follows the current rounding mode, which is to-nearest-even.
    return static_cast<int>(std::nearbyint(value));
}

// The leading number of a text: optional blanks and line breaks, an optional sign, digits
// with an optional fraction; anything after is ignored, no number reads 0.
double LeadingNumber(const QString& text);

// LeadingNumber rounded into a signed 32-bit value (saturating).
int LeadingInt32(const QString& text);

}  // namespace common
