#include "core/time/Clock.h"

#include <QTime>
#include <cstdio>

namespace timing {

float SystemClock::Timer() const
{
    return static_cast<float>(QTime::currentTime().msecsSinceStartOfDay()) / 1000.0f;
}

float SegundosDesde(const Clock& clock, float since)
{
    float elapsed = clock.Timer() - since;
    if (elapsed < 0)
        elapsed += 86400.0f;
    return elapsed;
}

const char* FormatTimeOfDay(float reading, char (&out)[9])
{
    int seconds = static_cast<int>(reading);
    if (seconds < 0 || seconds >= 86400)
        seconds = 0;
    std::snprintf(out, sizeof out, "%02d:%02d:%02d", seconds / 3600, seconds / 60 % 60, seconds % 60);
    return out;
}

}  // namespace timing
