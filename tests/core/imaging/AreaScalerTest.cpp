#include "core/imaging/AreaScaler.h"
#include "core/imaging/ExactAreaAverage.h"

#include <cstring>
#include <gtest/gtest.h>
#include <random>

using imaging::AreaScaler;
using imaging::Frame;
using testing_support::ExactAreaAverage;
using testing_support::LargestDeviation;

namespace {

// Noise with a little structure: the worst case for a scaler that drops or
// misweights source pixels.
std::vector<uint8_t> NoisePicture(int w, int h, int stride, unsigned seed)
{
    std::vector<uint8_t> pixels(static_cast<size_t>(stride) * h, 0xee);  // the padding must not leak in
    std::mt19937 random(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 4; ++c)
                pixels[static_cast<size_t>(y) * stride + x * 4 + c] = static_cast<uint8_t>(random());
    return pixels;
}

struct Shrunk {
    int sw, sh, stride;
    std::vector<uint8_t> src;
    Frame frame;
};

template <typename Scaler>
Shrunk ShrinkWith(Scaler&& scaler, int sw, int sh, int dw, int dh)
{
    Shrunk out{sw, sh, sw * 4 + 12, {}, {}};
    out.src = NoisePicture(sw, sh, out.stride, static_cast<unsigned>(sw * 7 + dw));
    out.frame.Resize(dw, dh);
    scaler.Scale(out.src.data(), sw, sh, out.stride, &out.frame);
    return out;
}

double Deviation(const Shrunk& s)
{
    const auto exact = ExactAreaAverage(s.src.data(), s.sw, s.sh, s.stride, s.frame.width(), s.frame.height());
    return LargestDeviation(s.frame, exact);
}

}  // namespace

// Rounding the exact mean is worth half a level; the fixed-point weights may
// add a few thousandths on top. The frame sizes of the quality table from the
// usual screens are ratios of small whole numbers, shrunk in exact integers:
// nothing but the final rounding may separate them from the exact mean. Rows
// as wide as a screen run every block width and the ragged end of a row.
constexpr double kHalfLevel = 0.5 + 1.0 / 128;
constexpr double kRoundingOnly = 0.5 + 1e-9;

struct Shrink {
    int sw, sh, dw, dh;
    double within;
};
const Shrink kShrinks[] = {
    {256, 144, 192, 108, kHalfLevel},    // 4:3
    {300, 150, 200, 100, kHalfLevel},    // 3:2
    {256, 144, 128, 72, kHalfLevel},     // 2:1
    {1366, 20, 1280, 19, kHalfLevel},    // an awkward ratio
    {1001, 31, 1000, 30, kHalfLevel},    // near one: too many units for exact sums
    {50, 40, 1, 1, kHalfLevel},          // down to one pixel
    {120, 90, 120, 60, kHalfLevel},      // one axis alone
    {120, 90, 80, 90, kHalfLevel},
    {64, 48, 64, 48, 0.0},               // an equal size is a copy
    {2560, 16, 1920, 12, kRoundingOnly},  // 4:3, 1440p to 1080p
    {2560, 16, 1280, 8, kRoundingOnly},   // 2:1
    {1920, 12, 1280, 8, kRoundingOnly},   // 3:2
    {2560, 16, 1600, 10, kRoundingOnly},  // 8:5
    {1920, 12, 1600, 10, kRoundingOnly},  // 6:5
    {3840, 24, 1600, 10, kRoundingOnly},  // 12:5, three taps a pixel
    {1923, 21, 1282, 14, kRoundingOnly},  // 3:2 with an odd end
    {97, 61, 10, 7, kRoundingOnly},       // many taps
    {2560, 16, 1920, 8, kRoundingOnly},   // 4:3 across, 2:1 down: divisor 8
    {400, 8, 300, 1, kRoundingOnly},      // 4:3 across, 8 rows into one: divisor 32
    {12, 6, 9, 3, kRoundingOnly},         // 4:3 ending in half a step
    {8, 3, 6, 3, kRoundingOnly},
    {64, 128, 63, 127, kRoundingOnly},    // the largest sums down exact sums allow
};

// The exact path's SSE2 loops (all an x86-64 build may assume) are held to
// the mean, and give the bytes its AVX2 loops give where the processor has them.
TEST(AreaScaler, StaysWithinRoundingOfTheExactAreaAverageInNarrowAndWideLoops)
{
    for (const Shrink& c : kShrinks) {
        SCOPED_TRACE(testing::Message() << c.sw << "×" << c.sh << " to " << c.dw << "×" << c.dh);
        EXPECT_LE(Deviation(ShrinkWith(AreaScaler(), c.sw, c.sh, c.dw, c.dh)), c.within);
        if (c.within != kRoundingOnly)
            continue;
        ASSERT_TRUE(imaging::ExactBoxScaler::Suits(c.sw, c.sh, c.dw, c.dh));
        const Shrunk narrow = ShrinkWith(imaging::ExactBoxScaler(false), c.sw, c.sh, c.dw, c.dh);
        EXPECT_LE(Deviation(narrow), kRoundingOnly);
        if (!imaging::ExactBoxScaler::ProcessorHasAvx2())
            continue;
        const Shrunk wide = ShrinkWith(imaging::ExactBoxScaler(true), c.sw, c.sh, c.dw, c.dh);
        for (int y = 0; y < c.dh; ++y)
            ASSERT_EQ(std::memcmp(narrow.frame.row(y), wide.frame.row(y), static_cast<size_t>(c.dw) * 4), 0) << y;
    }
}

TEST(AreaScaler, KeepsFlatAreasExactAcrossSizeChanges)
{
    std::vector<uint8_t> src(400 * 300 * 4);
    for (size_t i = 0; i < src.size(); i += 4)
        std::memcpy(&src[i], "\x11\x80\xff\x00", 4);
    AreaScaler scaler;
    Frame frame;
    for (QSize size : {QSize(300, 225), QSize(133, 77), QSize(300, 225)}) {
        frame.Resize(size.width(), size.height());
        scaler.Scale(src.data(), 400, 300, 400 * 4, &frame);
        for (int y = 0; y < frame.height(); ++y)
            for (int x = 0; x < frame.width(); ++x)
                ASSERT_EQ(std::memcmp(frame.row(y) + x * 4, "\x11\x80\xff\xff", 4), 0)
                    << x << "," << y << " at " << size.width() << "×" << size.height();
    }
}
