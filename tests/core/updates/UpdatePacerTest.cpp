#include "core/updates/UpdatePacer.h"

#include <gtest/gtest.h>

namespace updates {
namespace {

using Step = UpdatePacer::Step;

TEST(UpdatePacer, TheFastestLevelKeepsUpWithThirtyChangesASecond)
{
    EXPECT_GE(1000 / MinUpdateIntervalMs(5), 30);
    EXPECT_EQ(MinUpdateIntervalMs(9), MinUpdateIntervalMs(5));
    EXPECT_EQ(MinUpdateIntervalMs(0), MinUpdateIntervalMs(1));
}

TEST(UpdatePacer, SendsAsSoonAsTheLastUpdateIsAcknowledgedWithinTheLevelsRate)
{
    UpdatePacer pacer;
    EXPECT_EQ(pacer.Next(1000, 5).step, Step::Send);
    const quint32 first = pacer.Sent(1000);
    EXPECT_EQ(pacer.Next(1010, 5).step, Step::WaitAck);
    EXPECT_EQ(pacer.Acknowledged(first + 1, 1012), 0.0f) << "an acknowledgement of nothing sent";
    EXPECT_FLOAT_EQ(pacer.Acknowledged(first, 1030), 0.030f);
    EXPECT_EQ(pacer.Next(1030, 5).step, Step::Send) << "acknowledged after more than the 20 ms of level 5";

    const UpdatePacer::Decision slow = pacer.Next(1030, 1);
    EXPECT_EQ(slow.step, Step::WaitRate);
    EXPECT_EQ(slow.waitMs, 170);
    EXPECT_EQ(pacer.Acknowledged(first, 1031), 0.0f) << "the same acknowledgement twice";
}

TEST(UpdatePacer, WritesOffAnUpdateNeverAcknowledgedAfterFiveSeconds)
{
    UpdatePacer pacer;
    const quint32 lost = pacer.Sent(0);
    const UpdatePacer::Decision waiting = pacer.Next(5000, 3);
    EXPECT_EQ(waiting.step, Step::WaitAck);
    EXPECT_EQ(waiting.waitMs, 1);
    const UpdatePacer::Decision stalled = pacer.Next(5001, 3);
    EXPECT_EQ(stalled.step, Step::Send);
    EXPECT_TRUE(stalled.stalled);
    const quint32 next = pacer.Sent(5001);
    EXPECT_NE(next, lost);
    EXPECT_EQ(pacer.Acknowledged(lost, 5100), 0.0f) << "a late acknowledgement of the written-off update";
    EXPECT_EQ(pacer.Next(5100, 3).step, Step::WaitAck);
}

}  // namespace
}  // namespace updates
