#include "core/imaging/CaptureSize.h"
#include "core/imaging/ScreenSource.h"

#include <gtest/gtest.h>
#include <climits>

using imaging::CaptureSize;
using imaging::CursorDrawPoint;
using imaging::CursorImage;
using imaging::ScreenRect;

// The worked sizes; limits of zero or less ignored, never enlarged; halves
// rounded to even, at least one pixel kept.
TEST(CaptureSize, FitsTheScreenInsideTheLimits)
{
    struct Case {
        int sw, sh, maxW, maxH;
        QSize frame;
    };
    const Case cases[] = {
        {3840, 2160, 1920, 1080, {1920, 1080}}, {2560, 1080, 1920, 1080, {1920, 810}},
        {1920, 1080, 2560, 1440, {1920, 1080}}, {1280, 1024, 1280, 720, {900, 720}},
        {1366, 768, 1280, 720, {1280, 720}},    {3840, 1080, 1280, 720, {1280, 360}},
        {2560, 1440, 0, 1080, {2560, 1440}},    {2560, 1440, 1920, -1, {2560, 1440}},
        {800, 600, 1920, 1080, {800, 600}},     {1801, 2, 5000, 1, {900, 1}},  // 900.5
        {1803, 2, 5000, 1, {902, 1}},           {2560, 1440, 1, 1, {1, 1}},
        {3840, 10, 1280, 720, {1280, 3}},       {10000, 1, 100, 100, {100, 1}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CaptureSize(c.sw, c.sh, c.maxW, c.maxH), c.frame) << c.sw << "x" << c.sh << " in " << c.maxW << "x" << c.maxH;
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
    // Measured from a negative screen origin.
    const ScreenRect wide{-1920, -200, 3840, 1280};
    EXPECT_EQ(DrawPoint(wide, {3840, 1280}, PointerAt(-1900, -190)), QPoint(20, 10));
    EXPECT_EQ(DrawPoint(wide, {1920, 640}, PointerAt(0, 0, 7, 7)), QPoint(953, 93));
}

TEST(CursorDrawPoint, ReportsArithmeticThatLeaves32Bits)
{
    QPoint at;
    QString error;
    EXPECT_FALSE(CursorDrawPoint({INT_MIN, 0, 100, 100}, {100, 100}, PointerAt(10, 10), &at, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(CursorDrawPoint({0, 0, 100000, 100}, {100000, 100}, PointerAt(90000, 10), &at, nullptr));
}
