#pragma once

#include "core/input/KeyCapture.h"
#include "core/shell/Control.h"

#include <QImage>
#include <QObject>
#include <QRect>

#include <optional>

namespace imaging { class DrawSurface; }
namespace shell { class frmMain; }

namespace input {

// The viewer's first place on `available`, the technician's available screen
// area: the remote desktop at 1:1 when it fits in 90 % of that area, else as
// large as fits there with its aspect ratio; centred on the area. An unknown
// desktop size counts as the area's own.
QRect ViewerOpeningGeometry(QSize desktop, const QRect& available);

// The technician's viewer window as a model: the remote desktop drawn into
// its picture area `picView`, fitted with black bands, and the mouse and keys
// made over it forwarded to the main window. Closing it, for any cause but a
// stop, ends the remote screen. Modeless, no owner; user-interface thread.
class frmViewer : public QObject {
    Q_OBJECT
public:
    explicit frmViewer(shell::frmMain& main);

    bool visible() const { return visible_; }
    // Shows the window (the first frame after it was closed does).
    void Show();
    // A close request of any cause: the user's close box, a stop, a lost link.
    void RequestClose();
    // Where the window goes as it is shown: ViewerOpeningGeometry for the
    // remote desktop the first time; nothing later, so it keeps the size and
    // place the user left it.
    std::optional<QRect> PlaceOnShow(const QRect& available);

    // The widget's picture area, once created (`EnsurePicView`); null before.
    void SetPicView(imaging::DrawSurface* surface) { picView_ = surface; }
    imaging::DrawSurface* picView() const { return picView_; }
    void RenderFrame(const QImage& picture);

    void MouseEvent(const QString& action, int x, int y, int button, int width, int height);
    // Keys by X keycode, with the X state of the event.
    void KeyDown(int keycode, unsigned state) { keys_.KeyDown(keycode, state); }
    void KeyUp(int keycode) { keys_.KeyUp(keycode); }
    // The viewer or the preview lost the keyboard focus: every held key is released.
    void FocusLost() { keys_.ReleaseAll(); }

    shell::Control caption{"frmViewer", "Marquelin - Tela remota"};

signals:
    void shown();
    void hidden();

private:
    shell::frmMain& main_;
    imaging::DrawSurface* picView_ = nullptr;
    KeyCapture keys_;
    bool visible_ = false;
    bool placed_ = false;
};

}  // namespace input
