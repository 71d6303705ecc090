#include "core/updates/ComposedScreen.h"

namespace updates {

void ComposedScreen::OnGeometry(const ScreenGeometry& screen)
{
    const bool resized = screen.width != screen_.width || screen.height != screen_.height;
    screen_ = screen;
    if (!resized)
        return;
    // Black until the rectangles that follow cover it.
    picture_ = QImage(screen.width, screen.height, QImage::Format_RGB32);
    picture_.fill(Qt::black);
    changed_ = QRegion(picture_.rect());
}

screenlink::LinkOutcome ComposedScreen::OnRect(const RectHeader& rect, QByteArrayView data)
{
    if (picture_.isNull())
        return screenlink::LinkOutcome::Failed(QStringLiteral("no memory for the screen picture"));
    changed_ += QRect(rect.x, rect.y, rect.width, rect.height);
    return decoder_.Draw(rect, data, &picture_);
}

void ComposedScreen::OnUpdateEnd(quint32 sequence)
{
    if (!changed_.isEmpty())
        sink_.Repaint(changed_);
    changed_ = QRegion();
    sink_.Acknowledge(sequence);
}

QRect ComposedScreen::CursorArea() const
{
    return QRect(cursor_.x - cursor_.hotX, cursor_.y - cursor_.hotY, cursor_.width, cursor_.height);
}

template <typename Change>
void ComposedScreen::MovePointer(Change change)
{
    const QRect before = CursorArea();
    change();
    const QRegion moved = QRegion(before).united(CursorArea());
    if (!moved.isEmpty())
        sink_.Repaint(moved);
}

void ComposedScreen::OnCursorShape(const CursorShapeHeader& shape, const uint32_t* argb)
{
    MovePointer([&] {
        cursor_.hotX = shape.hotX;
        cursor_.hotY = shape.hotY;
        cursor_.width = shape.width;
        cursor_.height = shape.height;
        cursor_.argb.assign(argb, argb + static_cast<size_t>(shape.width) * shape.height);
    });
}

void ComposedScreen::OnCursorPosition(qint32 x, qint32 y)
{
    MovePointer([&] {
        cursor_.x = x;
        cursor_.y = y;
    });
}

}  // namespace updates
