#pragma once

// Seam: the time-of-day clock that every session timeout is measured on.
// A reading is seconds since local midnight in single precision; 0 means
// "not set". Tests use a settable clock so waits run without sleeping.

namespace timing {

class Clock {
public:
    virtual ~Clock() = default;
    virtual float Timer() const = 0;  // seconds since local midnight
};

// The platform's clock, read from local time.
class SystemClock final : public Clock {
public:
    float Timer() const override;
};

// Seconds elapsed since the reading `since`; when midnight passed in
// between (a negative difference), a day is added once.
float SegundosDesde(const Clock& clock, float since);

// The reading as "hh:nn:ss" (the log's time of day).
const char* FormatTimeOfDay(float reading, char (&out)[9]);

}  // namespace timing
