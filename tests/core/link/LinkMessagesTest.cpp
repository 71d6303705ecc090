#include "core/link/LinkMessages.h"

#include <gtest/gtest.h>

namespace screenlink {
namespace {

TEST(LinkMessages, EveryMessageIsWrittenByteForByteAndFramesIntoTheReusedBuffer)
{
    EXPECT_EQ(HelloMessage("s12", "k-Ab9"), "HELLO:s12:k-Ab9\n");
    EXPECT_EQ(AcceptMessage(), "OK\n");
    EXPECT_EQ(GoodbyeMessage("s12"), "CMD:BYE:s12:0\n");
    EXPECT_EQ(JoinMessage("s12", "k-Ab9", "tecnico"), "JOIN|s12|k-Ab9|tecnico|marquelin-relay-v1\n");
    EXPECT_EQ(Join2Message("s12", "cliente"), "JOIN2|s12|cliente|marquelin-relay-v2\n");
    EXPECT_EQ(MouseCommand("MD", 1919, -3, 1), "CMD:MD:1919:-3:1\n");
    EXPECT_EQ(KeyCommand("KU", 65), "CMD:KU:65:0:1\n");
    EXPECT_EQ(QualityCommand(4, 2), "CMD:CF:4:2:1\n");

    // The frame header goes into the reused buffer before its payload.
    QByteArray frame;
    WriteFrameHeader(frame, -1280, 0, 3200, 1080, 8);
    frame += "/9j/AAAA";
    EXPECT_EQ(frame, "FRAME:-1280:0:3200:1080:8:/9j/AAAA");

    frame.reserve(4096);
    const char* storage = frame.constData();
    WriteFrameHeader(frame, 0, 0, 800, 600, 0);
    EXPECT_EQ(frame, "FRAME:0:0:800:600:0:");
    EXPECT_EQ(frame.constData(), storage) << "the buffer's allocation is reused";
}

}  // namespace
}  // namespace screenlink
