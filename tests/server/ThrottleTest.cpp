// The guessing policy on a real SQLite store, time given by the test.
#include "server/api/Throttle.h"
#include "server/store/SqliteStore.h"

#include "TempDir.h"

#include <gtest/gtest.h>

using api::Throttle;
using api::ThrottlePolicy;

namespace {

constexpr ThrottlePolicy kPolicy{2, 100, 5, 10000};

class ThrottleTest : public ::testing::Test {
protected:
    server_tests::TempDir dir;
    store::SqliteStore store{dir.File("t.db")};
    Throttle throttle{store, kPolicy};
    const std::string key = "codigo-endereco:203.0.113.5";
};

}  // namespace

TEST_F(ThrottleTest, WaitsGrowFromTheFreeFailuresToTheHardLimit)
{
    EXPECT_EQ(throttle.WaitAfter(0), 0);
    EXPECT_EQ(throttle.WaitAfter(1), 0);
    EXPECT_EQ(throttle.WaitAfter(2), 100);
    EXPECT_EQ(throttle.WaitAfter(3), 200);
    EXPECT_EQ(throttle.WaitAfter(4), 400);
    EXPECT_EQ(throttle.WaitAfter(5), -1);
    const Throttle longRun(store, ThrottlePolicy{0, 1000, 1000, 60000});
    EXPECT_EQ(longRun.WaitAfter(500), 60000) << "capped at the lockout, no overflow";
}

TEST_F(ThrottleTest, AKeyIsHeldBackAfterFailuresAndFreedByTime)
{
    store::Millis t = 1'000'000;
    throttle.CountFailure(key, t);
    throttle.CountFailure(key, t);
    EXPECT_FALSE(throttle.Allows(key, t + 99));
    EXPECT_TRUE(throttle.Allows(key, t + 100));
    for (int i = 0; i < 3; ++i)
        throttle.CountFailure(key, t += 1000);
    EXPECT_FALSE(throttle.Allows(key, t + 9999)) << "locked";
    EXPECT_TRUE(throttle.Allows(key, t + 10000));
    throttle.CountFailure(key, t + 10000);
    EXPECT_EQ(store.LoadCounter(key).failures, 1) << "a failure after the lockout starts afresh";
}

TEST_F(ThrottleTest, KeysAreSeparateAndAllMustAllow)
{
    const std::string other = "codigo-dispositivo:7";
    for (int i = 0; i < 5; ++i)
        throttle.CountFailure(key, 1000);
    EXPECT_TRUE(throttle.Allows(other, 1000));
    EXPECT_FALSE(throttle.AllowsAll({&other, &key}, 1000));
}
