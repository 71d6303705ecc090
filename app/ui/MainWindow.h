#pragma once

#include <QMainWindow>

#include <memory>

class QPlainTextEdit;
class QScrollBar;

namespace screenlink { class QualityPanel; }
namespace shell { class Control; class frmMain; }

namespace ui {

class RemotePreview;
class ViewerWindow;

// The main window's widget: a thin mirror of the frmMain model. It builds
// its controls from the model's, forwards clicks, and closes by running the
// model's unload sequence.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(shell::frmMain& model, QWidget* parent = nullptr);
    ~MainWindow() override;

    RemotePreview* preview() const { return preview_; }
    ViewerWindow* viewer() const { return viewer_.get(); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildMenu();
    QWidget* BuildAccountFrame();
    QWidget* BuildCodeFrames();
    QWidget* BuildSessionFrame();
    QWidget* BuildRemoteFrame();
    QWidget* BuildLog();
    QScrollBar* QualityBar(shell::Control& control, QWidget* parent, void (screenlink::QualityPanel::*onChange)());

    shell::frmMain& model_;
    RemotePreview* preview_ = nullptr;
    std::unique_ptr<ViewerWindow> viewer_;  // modeless and without owner
    QPlainTextEdit* log_ = nullptr;
    bool unloaded_ = false;
};

}  // namespace ui
