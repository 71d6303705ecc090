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
    picture_ = picture;  // implicitly shared: no pixel copy
    target_ = into;
    // What is drawn stays: the widget shows it at its next paint even when
    // the caller asks for no repaint.
    update();
}

void RemotePreview::Clear()
{
    picture_ = QImage();
    update();
}

void RemotePreview::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), background_);
    if (picture_.isNull())
        return;
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target_, picture_);
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
