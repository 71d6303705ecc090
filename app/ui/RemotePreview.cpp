#include "ui/RemotePreview.h"

#include "core/common/Numbers.h"

#include <QMouseEvent>
#include <QPainter>

namespace ui {

int RemoteButton(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton: return 1;
    case Qt::RightButton: return 2;
    case Qt::MiddleButton: return 4;
    default: return 0;
    }
}

int RemoteButtons(Qt::MouseButtons buttons)
{
    return (buttons & Qt::LeftButton ? 1 : 0) | (buttons & Qt::RightButton ? 2 : 0) | (buttons & Qt::MiddleButton ? 4 : 0);
}

RemotePreview::RemotePreview(QWidget* parent, QColor background) : QWidget(parent), background_(background)
{
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void RemotePreview::DrawPicture(const QImage& picture, const QRect& into)
{
    composed_ = nullptr;
    pointer_ = nullptr;
    picture_ = picture;  // implicitly shared: no pixel copy
    target_ = into;
    // What is drawn stays: the widget shows it at its next paint even when
    // the caller asks for no repaint.
    update();
}

void RemotePreview::DrawComposed(const QImage& picture, const imaging::CursorImage& pointer, const QRect& into,
                                 const QRegion& changed)
{
    const bool whole = composed_ != &picture || into != target_;
    picture_ = QImage();
    composed_ = &picture;
    pointer_ = &pointer;
    target_ = into;
    if (whole)
        return update();
    QRegion area;
    for (const QRect& rect : changed)
        area += ToWidget(rect);
    update(area);
}

QRect RemotePreview::ToWidget(const QRectF& area) const
{
    const double sx = double(target_.width()) / composed_->width();
    const double sy = double(target_.height()) / composed_->height();
    return QRectF(target_.x() + area.x() * sx, target_.y() + area.y() * sy, area.width() * sx, area.height() * sy)
        .toAlignedRect()
        .adjusted(-2, -2, 2, 2);
}

// A composed picture may not change again for a long time: it is fitted anew at once.
void RemotePreview::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (composed_ && !composed_->isNull())
        target_ = imaging::FittedArea(size(), composed_->width(), composed_->height());
}

void RemotePreview::Clear()
{
    picture_ = QImage();
    composed_ = nullptr;
    pointer_ = nullptr;
    update();
}

void RemotePreview::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), background_);
    if (Shown().isNull())
        return;
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target_, Shown());
    if (composed_ && pointer_)
        PaintPointer(painter);
}

void RemotePreview::PaintPointer(QPainter& painter) const
{
    const imaging::CursorImage& p = *pointer_;
    if (p.width <= 0 || p.height <= 0 || p.argb.size() != size_t(p.width) * p.height)
        return;
    const QImage image(reinterpret_cast<const uchar*>(p.argb.data()), p.width, p.height, p.width * 4,
                       QImage::Format_ARGB32_Premultiplied);
    const QRect at = ToWidget(QRectF(p.x - p.hotX, p.y - p.hotY, p.width, p.height)).adjusted(2, 2, -2, -2);
    painter.drawImage(at, image);
}

void RemotePreview::Forward(const QString& action, QMouseEvent* event, int button)
{
    const QPointF at = event->position();
    emit mouse(action, common::RoundHalfEven(at.x()), common::RoundHalfEven(at.y()), button, width(), height());
}

void RemotePreview::mousePressEvent(QMouseEvent* event) { ForwardButton(QStringLiteral("MD"), event); }
void RemotePreview::mouseMoveEvent(QMouseEvent* event) { Forward(QStringLiteral("MM"), event, RemoteButtons(event->buttons())); }
void RemotePreview::mouseReleaseEvent(QMouseEvent* event) { ForwardButton(QStringLiteral("MU"), event); }

void RemotePreview::ForwardButton(const QString& action, QMouseEvent* event)
{
    if (const int button = RemoteButton(event->button()))
        Forward(action, event, button);
}

void RemotePreview::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    emit focusLost();
}

}  // namespace ui
