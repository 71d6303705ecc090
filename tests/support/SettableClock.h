#pragma once

#include "core/time/Clock.h"

namespace testing_support {

// A clock that stands still until the test moves it, so 2.2 s, 5 s, 8 s and
// 18 s rules run without sleeping, midnight included.
class SettableClock final : public timing::Clock {
public:
    explicit SettableClock(float start = 36000.0f) : now_(start) {}
    float Timer() const override { return now_; }
    void Set(float reading) { now_ = reading; }
    // Moves forward, wrapping at midnight as the real clock does.
    void Advance(float seconds)
    {
        now_ += seconds;
        if (now_ >= 86400.0f)
            now_ -= 86400.0f;
    }

private:
    float now_;
};

}  // namespace testing_support
