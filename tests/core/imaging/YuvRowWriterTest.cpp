#include "core/imaging/CursorOverlay.h"
#include "core/imaging/Frame.h"
#include "core/imaging/ScreenSource.h"
#include "core/imaging/YuvPlanes.h"

#include <cstring>
#include <gtest/gtest.h>
#include <libyuv/convert_from_argb.h>
#include <random>

using imaging::CursorImage;
using imaging::Frame;
using imaging::YuvPlanes;
using imaging::YuvRowWriter;

namespace {

Frame Noise(int width, int height)
{
    Frame frame;
    frame.Resize(width, height);
    std::mt19937 random(static_cast<unsigned>(width * 31 + height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < frame.stride(); ++x)
            frame.row(y)[x] = static_cast<uint8_t>(random());
    return frame;
}

// The planes the whole frame gives in one conversion, the pointer blended first.
YuvPlanes WholeFrame(Frame frame, const CursorImage* cursor, QPoint at)
{
    if (cursor)
        imaging::BlendCursor(*cursor, at, &frame);
    YuvPlanes planes;
    planes.Resize(frame.width(), frame.height());
    libyuv::ARGBToJ420(frame.row(0), frame.stride(), planes.plane(0), planes.planeStride(0), planes.plane(1),
                       planes.planeStride(1), planes.plane(2), planes.planeStride(2), frame.width(), frame.height());
    return planes;
}

YuvPlanes RowByRow(const Frame& frame, YuvRowWriter& writer, const CursorImage* cursor, QPoint at)
{
    YuvPlanes planes;
    writer.Start(&planes, frame.width(), frame.height(), cursor, at);
    for (int y = 0; y < frame.height(); ++y) {
        std::memcpy(writer.Row(y), frame.row(y), static_cast<size_t>(frame.stride()));
        writer.Done(y);
    }
    return planes;
}

void ExpectSamePlanes(const YuvPlanes& a, const YuvPlanes& b)
{
    ASSERT_EQ(QSize(a.width(), a.height()), QSize(b.width(), b.height()));
    for (int i = 0; i < 3; ++i) {
        const int rows = i == 0 ? a.height() : a.chromaHeight();
        const size_t bytes = static_cast<size_t>(a.planeStride(i)) * rows;
        EXPECT_EQ(std::memcmp(a.plane(i), b.plane(i), bytes), 0) << "plane " << i;
    }
}

}  // namespace

// Rows handed over in pairs, an odd last row alone, and the pointer blended
// row by row give the planes of converting the finished frame at once, in
// full-range levels (black stays 0, not the 16 of television levels).
TEST(YuvRowWriter, FillsThePlanesTheWholeFrameWouldGive)
{
    YuvRowWriter writer;  // one writer across sizes, as a capture loop keeps it
    CursorImage cursor;
    cursor.width = 5, cursor.height = 4;
    cursor.argb.assign(20, 0x80808080u);  // half-transparent white
    struct Case {
        int width, height;
        QPoint at;
    };
    for (const Case& c : {Case{64, 32, {10, 9}}, Case{33, 7, {-2, 5}}, Case{1, 1, {0, 0}}, Case{47, 15, {44, -1}}}) {
        SCOPED_TRACE(testing::Message() << c.width << "×" << c.height);
        const Frame frame = Noise(c.width, c.height);
        ExpectSamePlanes(RowByRow(frame, writer, nullptr, {}), WholeFrame(frame, nullptr, {}));
        ExpectSamePlanes(RowByRow(frame, writer, &cursor, c.at), WholeFrame(frame, &cursor, c.at));
    }
}
