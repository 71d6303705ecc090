// The guessing policy's arithmetic of time on a real store, time given by the test.
#include "PostgresServer.h"
#include "server/api/Throttle.h"
#include "server/store/OpenStore.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

using api::Throttle;
using api::ThrottlePolicy;

namespace {

class ThrottleTest : public ::testing::TestWithParam<const char*> {
protected:
    testing_support::TempDir dir;
    std::unique_ptr<store::Store> store = store::OpenStore(server_tests::NewStoreTarget(GetParam(), dir.File("t.db")));
    // 2 free failures, then 100 ms doubling; locked at 5 for 10 s.
    Throttle throttle{*store, ThrottlePolicy{2, 100, 5, 10000}};
    const std::string key = "codigo-endereco:203.0.113.5";
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(Stores, ThrottleTest, server_tests::kStores, server_tests::StoreName);

TEST_P(ThrottleTest, WaitsGrowFromTheFreeFailuresToTheHardLimit)
{
    const store::Millis waits[] = {0, 0, 100, 200, 400, -1};
    for (int failures = 0; failures < 6; ++failures)
        EXPECT_EQ(throttle.WaitAfter(failures), waits[failures]) << failures;
    EXPECT_EQ(Throttle(*store, ThrottlePolicy{0, 1000, 1000, 60000}).WaitAfter(500), 60000)
        << "capped at the lockout, no overflow";
}

TEST_P(ThrottleTest, AKeyIsHeldBackAfterFailuresAndFreedByTime)
{
    store::Millis t = 1'000'000;
    throttle.CountFailures({&key, &key}, t);
    EXPECT_FALSE(throttle.Allows(key, t + 99));
    EXPECT_TRUE(throttle.Allows(key, t + 100));
    for (int i = 0; i < 3; ++i)
        throttle.CountFailure(key, t += 1000);
    EXPECT_FALSE(throttle.Allows(key, t + 9999)) << "locked";
    EXPECT_EQ(throttle.Failures(key, t + 9999), 5);
    EXPECT_TRUE(throttle.Allows(key, t + 10000));
    EXPECT_EQ(throttle.Failures(key, t + 10000), 0) << "the lockout forgets the count";
    throttle.CountFailure(key, t + 10000);
    EXPECT_EQ(store->LoadCounter(key).failures, 1) << "a failure after the lockout starts afresh";
}
