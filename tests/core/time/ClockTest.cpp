#include "core/time/Clock.h"
#include "support/SettableClock.h"

#include <gtest/gtest.h>

using testing_support::SettableClock;
using timing::SegundosDesde;

TEST(SegundosDesde, MeasuresIntervalsAddingADayOnceWhenMidnightPassed)
{
    SettableClock clock(86399.5f);
    const float before = clock.Timer();
    clock.Advance(2.0f);
    EXPECT_FLOAT_EQ(clock.Timer(), 1.5f);
    EXPECT_FLOAT_EQ(SegundosDesde(clock, before), 2.0f);
    clock.Set(102.25f);
    EXPECT_FLOAT_EQ(SegundosDesde(clock, 100.0f), 2.25f);
}

TEST(FormatTimeOfDay, WritesTwoDigitFields)
{
    char out[9];
    EXPECT_STREQ(timing::FormatTimeOfDay(0.4f, out), "00:00:00");
    EXPECT_STREQ(timing::FormatTimeOfDay(86399.9f, out), "23:59:59");
    EXPECT_STREQ(timing::FormatTimeOfDay(3723.0f, out), "01:02:03");
}
