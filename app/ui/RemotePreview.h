#pragma once

#include "core/imaging/DrawSurface.h"

#include <QImage>
#include <QWidget>

namespace ui {

// A drawing surface for remote frames (the preview `picRemote` and the
// viewer's `picView`): keeps the last picture it was given at the place the
// fit rule computed, paints it over its background, and reports mouse events
// in its own pixels.
class RemotePreview : public QWidget, public imaging::DrawSurface {
    Q_OBJECT
public:
    explicit RemotePreview(QWidget* parent = nullptr, QColor background = Qt::black);

    QSize DrawableSize() const override { return size(); }
    void Clear() override;
    void DrawPicture(const QImage& picture, const QRect& into) override;
    void Refresh() override { update(); }
    void DrawComposed(const QImage& picture, const imaging::CursorImage& pointer, const QRect& into,
                      const QRegion& changed) override;

    const QImage& picture() const { return Shown(); }
    QRect pictureRect() const { return target_; }

signals:
    void mouse(const QString& action, int x, int y, int button, int width, int height);
    void focusLost();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void Forward(const QString& action, QMouseEvent* event, int button);
    void ForwardButton(const QString& action, QMouseEvent* event);
    // Where picture pixels land on the widget, with a margin for the smoothing.
    QRect ToWidget(const QRectF& area) const;
    void PaintPointer(QPainter& painter) const;
    const QImage& Shown() const { return composed_ ? *composed_ : picture_; }

    QImage picture_;
    // A composed picture and its pointer, owned by the main window's update stream.
    const QImage* composed_ = nullptr;
    const imaging::CursorImage* pointer_ = nullptr;
    QRect target_;
    QColor background_;
};

// The button value of the command vocabulary: 1 left, 2 right, 4 middle; 0
// for the buttons it has no value for, whose presses and releases send nothing.
int RemoteButton(Qt::MouseButton button);
int RemoteButtons(Qt::MouseButtons buttons);

}  // namespace ui
