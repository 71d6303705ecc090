#include "core/imaging/CaptureSize.h"
#include "core/imaging/ScreenSource.h"

#include <gtest/gtest.h>
#include <climits>
#include <optional>

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

// The pointer scaled into the frame, the hot spot subtracted unscaled;
// halves round to even; measured from the screen's origin, negative or not.
TEST(CursorDrawPoint, ScalesThePointerIntoTheFrameAndReportsArithmeticThatLeaves32Bits)
{
    const ScreenRect qhd{0, 0, 2560, 1440}, wide{-1920, -200, 3840, 1280};
    const struct {
        ScreenRect screen;
        QSize frame;
        int x, y, hotX, hotY;
        std::optional<QPoint> at;
    } cases[] = {
        {qhd, {1920, 1080}, 0, 0, 0, 0, QPoint(0, 0)},
        {qhd, {1920, 1080}, 1000, 500, 0, 0, QPoint(750, 375)},
        {qhd, {1920, 1080}, 1000, 500, 4, 8, QPoint(746, 367)},
        {qhd, {1920, 1080}, 2, 6, 0, 0, QPoint(2, 4)},  // 1.5 and 4.5
        {wide, {3840, 1280}, -1900, -190, 0, 0, QPoint(20, 10)},
        {wide, {1920, 640}, 0, 0, 7, 7, QPoint(953, 93)},
        {{INT_MIN, 0, 100, 100}, {100, 100}, 10, 10, 0, 0, {}},
        {{0, 0, 100000, 100}, {100000, 100}, 90000, 10, 0, 0, {}},
    };
    for (const auto& c : cases) {
        CursorImage cursor;
        cursor.x = c.x, cursor.y = c.y, cursor.hotX = c.hotX, cursor.hotY = c.hotY;
        QPoint at;
        QString error;
        const bool drawn = CursorDrawPoint(c.screen, c.frame, cursor, &at, &error);
        EXPECT_EQ(drawn ? std::optional(at) : std::nullopt, c.at) << c.x << "," << c.y;
        EXPECT_EQ(error.isEmpty(), drawn) << c.x << "," << c.y;
    }
    QPoint at;
    EXPECT_FALSE(CursorDrawPoint({INT_MIN, 0, 100, 100}, {100, 100}, CursorImage{}, &at, nullptr));
}
