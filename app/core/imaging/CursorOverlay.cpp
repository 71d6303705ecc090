#include "core/imaging/CursorOverlay.h"

#include "core/imaging/Frame.h"
#include "core/imaging/ScreenSource.h"

#include <algorithm>

namespace imaging {

namespace {

// d × (255 − a) ÷ 255, rounded, without a division.
inline uint32_t Fade(uint32_t d, uint32_t inverseAlpha)
{
    const uint32_t t = d * inverseAlpha + 128;
    return (t + (t >> 8)) >> 8;
}

}  // namespace

void BlendCursorRow(const CursorImage& cursor, QPoint at, int y, uint8_t* row, int width)
{
    if (y < at.y() || y - static_cast<long long>(at.y()) >= cursor.height
        || cursor.argb.size() < static_cast<size_t>(cursor.width) * std::max(cursor.height, 0))
        return;
    const int x0 = std::max(at.x(), 0);
    const int x1 = std::min<long long>(static_cast<long long>(at.x()) + cursor.width, width);
    const uint32_t* in = cursor.argb.data() + static_cast<size_t>(y - at.y()) * cursor.width + (x0 - at.x());
    uint8_t* out = row + static_cast<size_t>(x0) * 4;
    for (int x = x0; x < x1; ++x, ++in, out += 4) {
        const uint32_t p = *in;
        const uint32_t inverse = 255 - (p >> 24);
        if (inverse == 255)
            continue;
        // Premultiplied source over destination; clamped in case the
        // image's colour exceeds its alpha.
        out[0] = static_cast<uint8_t>(std::min<uint32_t>(255, (p & 0xff) + Fade(out[0], inverse)));
        out[1] = static_cast<uint8_t>(std::min<uint32_t>(255, ((p >> 8) & 0xff) + Fade(out[1], inverse)));
        out[2] = static_cast<uint8_t>(std::min<uint32_t>(255, ((p >> 16) & 0xff) + Fade(out[2], inverse)));
    }
}

void BlendCursor(const CursorImage& cursor, QPoint at, Frame* frame)
{
    const int y0 = std::max(at.y(), 0);
    const int y1 = std::min<long long>(static_cast<long long>(at.y()) + std::max(cursor.height, 0), frame->height());
    for (int y = y0; y < y1; ++y)
        BlendCursorRow(cursor, at, y, frame->row(y), frame->width());
}

}  // namespace imaging
