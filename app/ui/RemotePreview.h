#pragma once

#include <QImage>
#include <QWidget>

namespace ui {

// A drawing surface for remote frames (the preview `picRemote` and the
// viewer's `picView`): shows the last picture it was given at the place the
// fit rule computed, on a black or themed background, and reports mouse
// events in its own pixels.
class RemotePreview : public QWidget {
    Q_OBJECT
public:
    explicit RemotePreview(QWidget* parent = nullptr, QColor background = Qt::black);

    // Shows `picture` stretched into `target`; an empty target fills the surface.
    void Show(const QImage& picture, const QRect& target);
    void Clear();

signals:
    void mouse(const char* action, int x, int y, int button, int width, int height);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void Forward(const char* action, QMouseEvent* event, int button);

    QImage picture_;
    QRect target_;
    QColor background_;
};

// The button value of the command vocabulary: 1 left, 2 right, 4 middle.
int RemoteButton(Qt::MouseButton button);
int RemoteButtons(Qt::MouseButtons buttons);

}  // namespace ui
