#include "core/time/Clock.h"
#include "support/SettableClock.h"

#include <gtest/gtest.h>

using testing_support::SettableClock;

// An interval adds a day once when midnight passed; a reading is cut, never
// rounded up into the next second, and one past the day reads as midnight.
TEST(Clock, MeasuresAcrossMidnightAndWritesTwoDigitFields)
{
    EXPECT_FLOAT_EQ(timing::SegundosDesde(SettableClock(1.5f), 86399.5f), 2.0f);
    EXPECT_FLOAT_EQ(timing::SegundosDesde(SettableClock(102.25f), 100.0f), 2.25f);
    char out[9];
    for (const auto& [reading, text] : {std::pair(0.4f, "00:00:00"), std::pair(86399.9f, "23:59:59"),
                                        std::pair(3723.0f, "01:02:03"), std::pair(86400.5f, "00:00:00")})
        EXPECT_STREQ(timing::FormatTimeOfDay(reading, out), text) << reading;
}
