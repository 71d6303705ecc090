#pragma once

#include <QWidget>

namespace input { class frmViewer; }

namespace ui {

class RemotePreview;

// The technician's viewer: a modeless, ownerless window whose picture area
// `picView` covers the whole client area. Mouse events over it and the keys
// the window receives go to the frmViewer model; a close of any cause goes
// through the model, which decides whether the remote screen ends.
class ViewerWindow : public QWidget {
    Q_OBJECT
public:
    explicit ViewerWindow(input::frmViewer& model);
    ~ViewerWindow() override;

    RemotePreview* picView() const { return picView_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    static bool IsKey(const QEvent* event);
    bool TakeKey(QKeyEvent* event);
    void Hide();

    input::frmViewer& model_;
    RemotePreview* picView_ = nullptr;
    bool hiding_ = false;
};

}  // namespace ui
