#include "core/imaging/AreaScaler.h"
#include "core/imaging/ExactAreaAverage.h"

#include <array>
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
    std::vector<uint8_t> src;
    int stride;
    Frame frame;
};

template <typename Scaler>
Shrunk Shrink(Scaler&& scaler, int sw, int sh, int dw, int dh)
{
    Shrunk out{{}, sw * 4 + 12, {}};
    out.src = NoisePicture(sw, sh, out.stride, static_cast<unsigned>(sw * 7 + dw));
    out.frame.Resize(dw, dh);
    scaler.Scale(out.src.data(), sw, sh, out.stride, &out.frame);
    return out;
}

double Deviation(int sw, int sh, int dw, int dh)
{
    const Shrunk s = Shrink(AreaScaler(), sw, sh, dw, dh);
    return LargestDeviation(s.frame, ExactAreaAverage(s.src.data(), sw, sh, s.stride, dw, dh));
}

}  // namespace

// Rounding the exact mean is worth half a level; the fixed-point weights may
// add a few thousandths on top.
constexpr double kHalfLevel = 0.5 + 1.0 / 128;

TEST(AreaScaler, StaysWithinHalfALevelOfTheExactAreaAverage)
{
    EXPECT_LE(Deviation(256, 144, 192, 108), kHalfLevel);  // 4:3
    EXPECT_LE(Deviation(300, 150, 200, 100), kHalfLevel);  // 3:2
    EXPECT_LE(Deviation(256, 144, 128, 72), kHalfLevel);   // 2:1
    EXPECT_LE(Deviation(1366, 20, 1280, 19), kHalfLevel);  // an awkward ratio
    EXPECT_LE(Deviation(1001, 31, 1000, 30), kHalfLevel);  // near one: too many units for exact sums
    EXPECT_LE(Deviation(64, 128, 63, 127), kHalfLevel);    // the largest sums down exact sums allow
    EXPECT_LE(Deviation(97, 61, 10, 7), kHalfLevel);       // far down
    EXPECT_LE(Deviation(50, 40, 1, 1), kHalfLevel);        // down to one pixel
}

// The frame sizes of the quality table from the usual screens are ratios of
// small whole numbers, shrunk in exact integers: nothing but the final
// rounding may separate them from the exact mean. Rows as wide as a screen
// run every block width and the ragged end of a row.
TEST(AreaScaler, RoundsTheExactMeanAtScreenRatios)
{
    constexpr double kRoundingOnly = 0.5 + 1e-9;
    EXPECT_LE(Deviation(2560, 16, 1920, 12), kRoundingOnly);  // 4:3, 1440p to 1080p
    EXPECT_LE(Deviation(2560, 16, 1280, 8), kRoundingOnly);   // 2:1
    EXPECT_LE(Deviation(1920, 12, 1280, 8), kRoundingOnly);   // 3:2
    EXPECT_LE(Deviation(2560, 16, 1600, 10), kRoundingOnly);  // 8:5
    EXPECT_LE(Deviation(1920, 12, 1600, 10), kRoundingOnly);  // 6:5
    EXPECT_LE(Deviation(3840, 24, 1600, 10), kRoundingOnly);  // 12:5, three taps a pixel
    EXPECT_LE(Deviation(1923, 21, 1282, 14), kRoundingOnly);  // 3:2 with an odd end
    EXPECT_LE(Deviation(97, 61, 10, 7), kRoundingOnly);       // many taps
    EXPECT_LE(Deviation(2560, 16, 1920, 8), kRoundingOnly);   // 4:3 across, 2:1 down: divisor 8
    EXPECT_LE(Deviation(400, 8, 300, 1), kRoundingOnly);      // 4:3 across, 8 rows into one: divisor 32
    EXPECT_LE(Deviation(12, 6, 9, 3), kRoundingOnly);         // 4:3 ending in half a step
}

// The exact path's SSE2 loops (all an x86-64 build may assume) give the
// bytes its AVX2 loops give; without AVX2 here, they are held to the mean.
TEST(AreaScaler, NarrowAndWideExactLoopsAgree)
{
    for (const std::array<int, 4>& sizes : std::vector<std::array<int, 4>>{
             {2560, 16, 1920, 12}, {2560, 16, 1920, 8}, {400, 8, 300, 1}, {12, 6, 9, 3}, {8, 3, 6, 3},
             {3840, 24, 1600, 10}, {1923, 21, 1282, 14}, {97, 61, 10, 7}, {64, 128, 63, 127}}) {
        const auto [sw, sh, dw, dh] = sizes;
        ASSERT_TRUE(imaging::ExactBoxScaler::Suits(sw, sh, dw, dh)) << sw << "×" << sh;
        const Shrunk narrow = Shrink(imaging::ExactBoxScaler(false), sw, sh, dw, dh);
        EXPECT_LE(LargestDeviation(narrow.frame, ExactAreaAverage(narrow.src.data(), sw, sh, narrow.stride, dw, dh)),
                  0.5 + 1e-9);
        if (!imaging::ExactBoxScaler::ProcessorHasAvx2())
            continue;
        const Shrunk wide = Shrink(imaging::ExactBoxScaler(true), sw, sh, dw, dh);
        for (int y = 0; y < dh; ++y)
            ASSERT_EQ(std::memcmp(narrow.frame.row(y), wide.frame.row(y), static_cast<size_t>(dw) * 4), 0)
                << "row " << y << " of " << dw << "×" << dh;
    }
}

TEST(AreaScaler, ShrinksOneAxisAloneAndCopiesAnEqualSize)
{
    EXPECT_LE(Deviation(120, 90, 120, 60), kHalfLevel);
    EXPECT_LE(Deviation(120, 90, 80, 90), kHalfLevel);
    EXPECT_EQ(Deviation(64, 48, 64, 48), 0.0);
}

TEST(AreaScaler, KeepsFlatAreasExactAcrossSizeChanges)
{
    std::vector<uint8_t> src(400 * 300 * 4);
    for (size_t i = 0; i < src.size(); i += 4)
        src[i] = 17, src[i + 1] = 128, src[i + 2] = 255, src[i + 3] = 0;
    AreaScaler scaler;
    Frame frame;
    for (QSize size : {QSize(300, 225), QSize(133, 77), QSize(300, 225)}) {
        frame.Resize(size.width(), size.height());
        scaler.Scale(src.data(), 400, 300, 400 * 4, &frame);
        for (int y = 0; y < frame.height(); ++y)
            for (int x = 0; x < frame.width(); ++x) {
                const uint8_t* p = frame.row(y) + x * 4;
                ASSERT_EQ((std::array<int, 4>{p[0], p[1], p[2], p[3]}), (std::array<int, 4>{17, 128, 255, 255}))
                    << x << "," << y << " at " << size.width() << "×" << size.height();
            }
    }
}
