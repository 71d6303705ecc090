#include "core/imaging/CaptureSize.h"
#include "core/imaging/ScreenSource.h"

#include <gtest/gtest.h>
#include <climits>

using imaging::CaptureSize;
using imaging::CursorDrawPoint;
using imaging::CursorImage;
using imaging::ScreenRect;

TEST(CaptureSize, FollowsTheWorkedSizes)
{
    EXPECT_EQ(CaptureSize(3840, 2160, 1920, 1080), QSize(1920, 1080));
    EXPECT_EQ(CaptureSize(2560, 1080, 1920, 1080), QSize(1920, 810));
    EXPECT_EQ(CaptureSize(1920, 1080, 2560, 1440), QSize(1920, 1080));
    EXPECT_EQ(CaptureSize(1280, 1024, 1280, 720), QSize(900, 720));
    EXPECT_EQ(CaptureSize(1366, 768, 1280, 720), QSize(1280, 720));
    EXPECT_EQ(CaptureSize(3840, 1080, 1280, 720), QSize(1280, 360));
}

TEST(CaptureSize, IgnoresLimitsOfZeroOrLessAndNeverEnlarges)
{
    EXPECT_EQ(CaptureSize(2560, 1440, 0, 1080), QSize(2560, 1440));
    EXPECT_EQ(CaptureSize(2560, 1440, 1920, -1), QSize(2560, 1440));
    EXPECT_EQ(CaptureSize(800, 600, 1920, 1080), QSize(800, 600));
}

TEST(CaptureSize, RoundsHalvesToEvenAndKeepsAtLeastOnePixel)
{
    EXPECT_EQ(CaptureSize(1801, 2, 5000, 1).width(), 900);  // 900.5
    EXPECT_EQ(CaptureSize(1803, 2, 5000, 1).width(), 902);  // 901.5
    EXPECT_EQ(CaptureSize(2560, 1440, 1, 1), QSize(1, 1));
    EXPECT_EQ(CaptureSize(3840, 10, 1280, 720), QSize(1280, 3));
    EXPECT_EQ(CaptureSize(10000, 1, 100, 100), QSize(100, 1));
}

namespace {

CursorImage PointerAt(int x, int y, int hotX = 0, int hotY = 0)
{
    CursorImage cursor;
    cursor.x = x, cursor.y = y, cursor.hotX = hotX, cursor.hotY = hotY;
    return cursor;
}

QPoint DrawPoint(const ScreenRect& screen, QSize frame, const CursorImage& cursor)
{
    QPoint at(-999, -999);
    QString error;
    EXPECT_TRUE(CursorDrawPoint(screen, frame, cursor, &at, &error)) << error.toStdString();
    return at;
}

}  // namespace

TEST(CursorDrawPoint, ScalesThePointerIntoTheFrameAndSubtractsTheHotSpotUnscaled)
{
    const ScreenRect screen{0, 0, 2560, 1440};
    EXPECT_EQ(DrawPoint(screen, {1920, 1080}, PointerAt(0, 0)), QPoint(0, 0));
    EXPECT_EQ(DrawPoint(screen, {1920, 1080}, PointerAt(1000, 500)), QPoint(750, 375));
    EXPECT_EQ(DrawPoint(screen, {1920, 1080}, PointerAt(1000, 500, 4, 8)), QPoint(746, 367));
    // 2 × 3 ÷ 4 = 1.5 and 6 × 3 ÷ 4 = 4.5 round to the even neighbours.
    EXPECT_EQ(DrawPoint(screen, {1920, 1080}, PointerAt(2, 6)), QPoint(2, 4));
}

TEST(CursorDrawPoint, MeasuresFromANegativeScreenOrigin)
{
    const ScreenRect screen{-1920, -200, 3840, 1280};
    EXPECT_EQ(DrawPoint(screen, {3840, 1280}, PointerAt(-1900, -190)), QPoint(20, 10));
    EXPECT_EQ(DrawPoint(screen, {1920, 640}, PointerAt(0, 0, 7, 7)), QPoint(953, 93));
}

TEST(CursorDrawPoint, ReportsArithmeticThatLeaves32Bits)
{
    QPoint at;
    QString error;
    EXPECT_FALSE(CursorDrawPoint({INT_MIN, 0, 100, 100}, {100, 100}, PointerAt(10, 10), &at, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(CursorDrawPoint({0, 0, 100000, 100}, {100000, 100}, PointerAt(90000, 10), &at, nullptr));
}
