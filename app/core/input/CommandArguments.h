#pragma once

#include <QString>
#include <QStringView>
#include <optional>

// Numeric arguments of a received command line. A field is a number when it
// is, whole, an optional sign and decimal digits with an optional fraction;
// fractions round to the nearest integer, ties to even. Anything else, or a
// value outside the argument's range, is described for the activity log.

namespace input {

struct ArgumentRange {
    qint64 min;
    qint64 max;
};

inline constexpr ArgumentRange kCoordinate{-2147483648LL, 2147483647LL};  // signed 32-bit
inline constexpr ArgumentRange kSmallNumber{-32768, 32767};              // signed 16-bit

struct ArgumentResult {
    int value = 0;
    QString error;  // empty when value holds the argument
};

ArgumentResult ReadArgument(QStringView field, ArgumentRange range);

}  // namespace input
