#include "core/imaging/CaptureSize.h"

#include "core/common/Numbers.h"
#include "core/imaging/ScreenSource.h"

#include <algorithm>

namespace imaging {

QSize CaptureSize(int w, int h, int maxWidth, int maxHeight)
{
    int width = w;
    int height = h;
    if (maxWidth > 0 && maxHeight > 0 && w > 0 && h > 0) {
        const double s = std::min(static_cast<double>(maxWidth) / w, static_cast<double>(maxHeight) / h);
        if (s < 1.0) {
            width = common::RoundHalfEven(w * s);
            height = common::RoundHalfEven(h * s);
        }
    }
    return QSize(std::max(width, 1), std::max(height, 1));
}

namespace {

// (pointer − origin) × frame ÷ screen, rounded, minus the hot spot.
bool ScaleAxis(int pointer, int origin, int frame, int screen, int hot, int* out)
{
    int offset = 0;
    int product = 0;
    if (__builtin_sub_overflow(pointer, origin, &offset) || __builtin_mul_overflow(offset, frame, &product))
        return false;
    const int scaled = common::RoundHalfEven(static_cast<double>(product) / screen);
    return !__builtin_sub_overflow(scaled, hot, out);
}

}  // namespace

bool CursorDrawPoint(const ScreenRect& screen, QSize frame, const CursorImage& cursor, QPoint* at, QString* error)
{
    int x = 0;
    int y = 0;
    if (screen.width <= 0 || screen.height <= 0
        || !ScaleAxis(cursor.x, screen.left, frame.width(), screen.width, cursor.hotX, &x)
        || !ScaleAxis(cursor.y, screen.top, frame.height(), screen.height, cursor.hotY, &y)) {
        if (error)
            *error = QStringLiteral("cursor position out of range");
        return false;
    }
    *at = QPoint(x, y);
    return true;
}

}  // namespace imaging
