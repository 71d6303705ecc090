#pragma once

#include "core/account/AccountActions.h"
#include "core/session/AccessRequest.h"
#include "core/session/RouteSelection.h"
#include "core/session/SessionCredentials.h"
#include "core/session/SessionEnd.h"
#include "core/session/SessionRecord.h"
#include "core/session/StatusPolling.h"
#include "core/session/SupportCode.h"
#include "core/input/CommandEncoder.h"
#include "core/input/frmViewer.h"
#include "core/link/CommandChannel.h"
#include "core/link/FrameStreaming.h"
#include "core/link/LinkLoss.h"
#include "core/link/QualityPanel.h"
#include "core/link/ScreenLink.h"
#include "core/link/UpdateStreaming.h"
#include "core/shell/ActivityLog.h"
#include "core/shell/MainControls.h"

#include <QObject>
#include <QTimer>

namespace account { class AccountStore; class UrlOpener; }
namespace imaging { class DrawSurface; class ScreenSource; }
namespace input { class InputSink; class KeyboardLayout; }
namespace timing { class Clock; }

namespace shell {

class Clipboard;
class Dialogs;
class SingleInstance;

// What the main window needs from outside: the platform seams and the
// settings store. References must outlive the window.
struct MainServices {
    timing::Clock& clock;
    Dialogs& dialogs;
    Clipboard& clipboard;
    account::UrlOpener& urls;
    account::AccountStore& store;
    SingleInstance* instance = nullptr;  // null: no single-instance test
    input::InputSink* inputSink = nullptr;  // null: remote commands move nothing
    imaging::ScreenSource* screen = nullptr;  // null: nothing to capture
    input::KeyboardLayout* keyboard = nullptr;  // the technician's; null: no key is sent
    updates::DamageSource* damage = nullptr;  // null: every capture is compared whole
};

// The main window as a GUI-free model, and the application object. It owns
// the controls, the session record, the activity log, both timers and the
// screen link; each concern lives in its own part, all sharing this window.
// User-interface thread only.
class frmMain : public QObject {
    Q_OBJECT
public:
    explicit frmMain(const MainServices& services);
    ~frmMain() override;

    // Start-up. False when the program must end (another instance runs, or an
    // update is mandatory); the unload sequence has then already run.
    bool Load();
    // Shutdown: ends an open session with the service, stops the screen.
    void Unload();

    void RecarregarConta(bool gerarCodigo = false);
    bool ContaCompleta() const;
    void AtualizarTitulo();

    void mnuMinhaConta_Click();
    void mnuNovoCodigo_Click();
    void mnuSair_Click();
    void mnuOutrosSoftwares_Click();
    void mnuManual_Click();
    void mnuSobre_Click();
    void MostrarCadastro();  // the sign-up window, modal

    // Shared by the parts.
    QString ContaParams() const;  // account part of a request, from the boxes
    void LogEvent(const QString& message) { log.LogEvent(message); }
    void SetStatus(const QString& text) { c.lblStatus.setText(text); }
    float Now() const;

    // The technician's mouse and keys over the preview and the viewer.
    void RemoteMouseFromView(const QString& action, int x, int y, int button, int viewWidth, int viewHeight)
    {
        remoteInput.RemoteMouseFromView(action, x, y, button, viewWidth, viewHeight);
    }
    void RemoteKeyFromView(const QString& action, int keyCode) { remoteInput.RemoteKeyFromView(action, keyCode); }

    // A received frame, in the preview and in the viewer (opened if closed).
    void ShowRemoteFrame(const QImage& picture);
    void RenderFrame(const QImage& picture) { ShowRemoteFrame(picture); }
    // The picture composed from updates changed in `changed` (its pixels),
    // in the preview and in the viewer (opened if closed).
    void ShowComposedScreen(const QRegion& changed);
    void LimparPreview();

    MainServices svc;
    MainControls c;
    session::SessionRecord s;
    ActivityLog log;
    QTimer tmrStatus;
    QTimer tmrFrame;

    // The preview box `picRemote`, set by its widget (null while there is none).
    imaging::DrawSurface* picRemote = nullptr;

    screenlink::ScreenLink link;
    screenlink::LinkLoss loss;
    screenlink::QualityPanel quality;
    screenlink::FrameStreaming frames;
    screenlink::UpdateStreaming updates;
    screenlink::CommandChannel channel;
    input::CommandEncoder remoteInput;
    session::SupportCode code;
    session::AccessRequest access;
    session::StatusPolling status;
    session::SessionCredentials creds;
    session::RouteSelection routes;
    session::SessionEnd end;
    account::AccountActions account;
    input::frmViewer viewer;

private:
    static imaging::ScreenSource& NoScreen();
    void MostrarVisualizador();

signals:
    // The window unloaded: the process should end.
    void unloaded();
};

}  // namespace shell
