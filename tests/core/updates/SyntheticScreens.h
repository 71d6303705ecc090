#pragma once

#include "core/imaging/Frame.h"

#include <QImage>
#include <QRect>
#include <cstdint>
#include <cmath>
#include <cstring>

// Screens drawn straight into frames: flat fills and text-like stripes
// (few colours), and a patch with a colour per pixel, as a photo has.
namespace updatestest {

inline void Fill(imaging::Frame& frame, const QRect& area, uint32_t bgr)
{
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            std::memcpy(frame.row(y) + x * 4, &bgr, 4);
}

// Dark "glyph" columns on a light line, like a line of text.
inline void Text(imaging::Frame& frame, const QRect& area, int seed)
{
    Fill(frame, area, 0xf0f0f0);
    for (int x = area.left(); x <= area.right(); x += 3 + (x * seed) % 4)
        Fill(frame, QRect(x, area.top() + 2, 1, area.height() - 4), 0x202020 + static_cast<uint32_t>(seed));
}

// Smooth gradients under fine noise: hundreds of colours.
inline void Photo(imaging::Frame& frame, const QRect& area, int seed)
{
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const uint32_t noise = ((uint32_t(x) * 73856093u ^ uint32_t(y) * 19349663u ^ uint32_t(seed)) >> 7) % 8;
            const uint32_t base = static_cast<uint32_t>(x + 2 * y + seed);
            const uint32_t pixel = ((base + noise) & 0xff) | (((base / 2 + noise) & 0xff) << 8) | ((96 + noise) << 16);
            std::memcpy(frame.row(y) + x * 4, &pixel, 4);
        }
}

inline imaging::Frame Desktop(int width, int height)
{
    imaging::Frame frame;
    frame.Resize(width, height);
    Fill(frame, QRect(0, 0, width, height), 0x6a4a2a);
    return frame;
}

// Peak signal-to-noise ratio of `picture` against the frame, colour bytes only.
inline double Psnr(const imaging::Frame& frame, const QImage& picture)
{
    double squares = 0;
    for (int y = 0; y < frame.height(); ++y)
        for (int x = 0; x < frame.width() * 4; ++x)
            if (x % 4 != 3) {
                const int d = frame.row(y)[x] - picture.constScanLine(y)[x];
                squares += d * d;
            }
    const double mse = squares / (3.0 * frame.width() * frame.height());
    return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace updatestest
