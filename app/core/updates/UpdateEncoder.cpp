#include "core/updates/UpdateEncoder.h"

#include <algorithm>

namespace updates {

namespace {

bool SameShape(const imaging::CursorImage& a, const imaging::CursorImage& b)
{
    return a.hotX == b.hotX && a.hotY == b.hotY && a.width == b.width && a.height == b.height && a.argb == b.argb;
}

}  // namespace

bool UpdateEncoder::AppendUpdate(const imaging::Frame& frame, const imaging::ScreenRect& screen, const RectQuality& quality,
                                 quint32 sequence, QByteArray& out, QString* error, const std::vector<QRect>* hints)
{
    if (frame.empty() || frame.width() != screen.width || frame.height() != screen.height) {
        if (error)
            *error = QStringLiteral("capture of %1 x %2 for a screen of %3 x %4")
                         .arg(frame.width())
                         .arg(frame.height())
                         .arg(screen.width)
                         .arg(screen.height);
        return false;
    }
    const bool newGeometry = screen != sentScreen_;
    const std::vector<QRect>& changed = detector_.Compare(frame, newGeometry ? nullptr : hints);
    if (changed.empty() && !newGeometry)
        return false;
    const qsizetype start = out.size();
    if (newGeometry)
        AppendGeometry(out, screen);
    for (const QRect& rect : changed)
        if (!coder_.Append(frame, rect, quality, out, error)) {
            out.truncate(start);
            // What the viewer has is unknown now: start over whole.
            Reset();
            return false;
        }
    AppendUpdateEnd(out, sequence);
    sentScreen_ = screen;
    return true;
}

void UpdateEncoder::AppendPointer(const imaging::CursorImage& cursor, const imaging::ScreenRect& screen,
                                  QByteArray& out)
{
    if (sentScreen_.width == 0)
        return;
    // Larger pointers than the stream carries go as hidden ones.
    const bool fits = cursor.width <= kMaxCursorSide && cursor.height <= kMaxCursorSide
                      && cursor.argb.size() == static_cast<size_t>(cursor.width) * cursor.height;
    imaging::CursorImage shape = fits ? cursor : imaging::CursorImage{};
    shape.hotX = std::clamp(shape.hotX, 0, std::max(0, shape.width - 1));
    shape.hotY = std::clamp(shape.hotY, 0, std::max(0, shape.height - 1));
    if (!cursorSent_ || !SameShape(shape, sentCursor_))
        AppendCursorShape(out, {shape.hotX, shape.hotY, shape.width, shape.height}, shape.argb.data());
    const int x = std::clamp(cursor.x - screen.left, 0, std::max(0, screen.width - 1));
    const int y = std::clamp(cursor.y - screen.top, 0, std::max(0, screen.height - 1));
    if (!cursorSent_ || x != sentCursor_.x || y != sentCursor_.y)
        AppendCursorPosition(out, x, y);
    shape.x = x;
    shape.y = y;
    sentCursor_ = std::move(shape);
    cursorSent_ = true;
}

void UpdateEncoder::Reset()
{
    detector_.Reset();
    sentScreen_ = {};
    cursorSent_ = false;
}

}  // namespace updates
