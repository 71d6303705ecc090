#pragma once

#include "platform/wayland/PipeWireStream.h"
#include "platform/wayland/PortalSession.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <memory>

namespace platform {

// The desktop as the portal shares it, opened when first needed (so the
// consent dialog comes when the remote screen starts) and shared by the
// screen source and the input sink. A failure is told once through `failed`
// and answered for a while without asking the desktop again, so a refused
// dialog is not raised anew at every frame. User-interface thread only.
class PortalDesktop final : public QObject {
    Q_OBJECT

public:
    static constexpr int kRetryMs = 30000;
    // `tokenFile`: where the desktop's leave to share again is kept (see PortalSession).
    explicit PortalDesktop(PortalSession::Deadlines deadlines = {}, int retryMs = kRetryMs, QString tokenFile = {});
    ~PortalDesktop() override;

    // Whether this is a Wayland session, where X11 sees only its own windows.
    static bool SessionIsWayland();
    // Whether a portal answers on the session bus at all.
    static bool Available(QString* error);
    // Opens the session and its stream unless they are open.
    bool Ready(QString* error);
    // Ends the session after a broken stream, with `why` told once.
    void Fail(const QString& why);
    // Ends the session, so the desktop stops showing that it shares; the
    // next use asks again.
    void Close();
    PortalSession* Session() const { return session_.get(); }
    PipeWireStream* Stream() const { return stream_.get(); }

signals:
    void opened();
    void failed(const QString& why);

private:
    PortalSession::Deadlines deadlines_;
    int retryMs_;
    QString tokenFile_;
    std::unique_ptr<PortalSession> session_;
    std::unique_ptr<PipeWireStream> stream_;
    QString failure_;
    QDeadlineTimer retry_;
    bool opening_ = false;
};

}  // namespace platform
