#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace testing_support {

// The reference the scaler is held to: each destination channel as the
// integral of the source over the area it covers, in double precision,
// computed pixel by pixel from the overlap of the two grids.
inline std::vector<double> ExactAreaAverage(const uint8_t* src, int sw, int sh, int stride, int dw, int dh)
{
    std::vector<double> out(static_cast<size_t>(dw) * dh * 3, 0.0);
    const double fx = static_cast<double>(sw) / dw;
    const double fy = static_cast<double>(sh) / dh;
    for (int y = 0; y < dh; ++y) {
        const double top = y * fy, bottom = (y + 1) * fy;
        for (int x = 0; x < dw; ++x) {
            const double left = x * fx, right = (x + 1) * fx;
            double sum[3] = {0, 0, 0};
            for (int sy = static_cast<int>(top); sy < std::min<double>(std::ceil(bottom), sh); ++sy) {
                const double wy = std::min<double>(sy + 1, bottom) - std::max<double>(sy, top);
                for (int sx = static_cast<int>(left); sx < std::min<double>(std::ceil(right), sw); ++sx) {
                    const double w = wy * (std::min<double>(sx + 1, right) - std::max<double>(sx, left));
                    const uint8_t* p = src + static_cast<size_t>(sy) * stride + sx * 4;
                    for (int c = 0; c < 3; ++c)
                        sum[c] += w * p[c];
                }
            }
            for (int c = 0; c < 3; ++c)
                out[(static_cast<size_t>(y) * dw + x) * 3 + c] = sum[c] / (fx * fy);
        }
    }
    return out;
}

// The largest distance, in grey levels, between a BGRX frame and the reference.
template <typename FrameT>
double LargestDeviation(const FrameT& frame, const std::vector<double>& reference)
{
    double worst = 0;
    for (int y = 0; y < frame.height(); ++y)
        for (int x = 0; x < frame.width(); ++x)
            for (int c = 0; c < 3; ++c)
                worst = std::max(worst, std::abs(frame.row(y)[x * 4 + c]
                                                 - reference[(static_cast<size_t>(y) * frame.width() + x) * 3 + c]));
    return worst;
}

}  // namespace testing_support
