#include "ui/ViewerWindow.h"

#include "core/input/frmViewer.h"
#include "ui/ControlBinding.h"
#include "ui/RemotePreview.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QScreen>

namespace ui {

ViewerWindow::ViewerWindow(input::frmViewer& model) : QWidget(nullptr), model_(model)
{
    Bind(model.caption, this);
    setObjectName("frmViewer");
    setAutoFillBackground(true);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);

    picView_ = new RemotePreview(this, Qt::black);
    picView_->setObjectName("picView");
    picView_->setAccessibleName("Tela remota");
    picView_->setGeometry(rect());
    picView_->installEventFilter(this);
    model.SetPicView(picView_);
    connect(picView_, &RemotePreview::mouse, this,
            [this](const QString& action, int x, int y, int button, int width, int height) {
                model_.MouseEvent(action, x, y, button, width, height);
            });
    connect(picView_, &RemotePreview::focusLost, &model, &input::frmViewer::FocusLost);
    connect(&model, &input::frmViewer::shown, this, [this] {
        if (const std::optional<QRect> place = model_.PlaceOnShow(screen()->availableGeometry()))
            setGeometry(*place);
        show();
        raise();
        activateWindow();
    });
    connect(&model, &input::frmViewer::hidden, this, &ViewerWindow::Hide);
}

ViewerWindow::~ViewerWindow() { model_.SetPicView(nullptr); }

void ViewerWindow::Hide()
{
    hiding_ = true;
    hide();
    hiding_ = false;
}

void ViewerWindow::closeEvent(QCloseEvent* event)
{
    // The close is never cancelled; the model tells a user's close from a stop.
    event->accept();
    if (!hiding_)
        model_.RequestClose();
}

void ViewerWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    picView_->setGeometry(rect());
}

bool ViewerWindow::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate)
        picView_->setFocus();
    if (event->type() == QEvent::WindowDeactivate)
        model_.FocusLost();
    if (IsKey(event))
        return TakeKey(static_cast<QKeyEvent*>(event));
    return QWidget::event(event);
}

bool ViewerWindow::eventFilter(QObject* watched, QEvent* event)
{
    // Keys typed while the picture area has the focus are the window's
    // (Tab included: it belongs to the remote desktop, not to focus changes).
    if (watched == picView_ && IsKey(event))
        return TakeKey(static_cast<QKeyEvent*>(event));
    return QWidget::eventFilter(watched, event);
}

bool ViewerWindow::IsKey(const QEvent* event)
{
    return event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease;
}

bool ViewerWindow::TakeKey(QKeyEvent* event)
{
    event->type() == QEvent::KeyPress ? keyPressEvent(event) : keyReleaseEvent(event);
    return true;
}

// The keys go by the X keycode and state of the event: the position of the
// key, not the symbol the toolkit made of it.
void ViewerWindow::keyPressEvent(QKeyEvent* event)
{
    model_.KeyDown(static_cast<int>(event->nativeScanCode()), event->nativeModifiers());
    event->accept();
}

void ViewerWindow::keyReleaseEvent(QKeyEvent* event)
{
    if (event->isAutoRepeat())
        return event->accept();
    model_.KeyUp(static_cast<int>(event->nativeScanCode()));
    event->accept();
}

}  // namespace ui
