#include "platform/wayland/PortalDesktop.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

namespace platform {

PortalDesktop::PortalDesktop(PortalSession::Deadlines deadlines, int retryMs, QString tokenFile)
    : deadlines_(deadlines), retryMs_(retryMs), tokenFile_(std::move(tokenFile))
{
}

PortalDesktop::~PortalDesktop() = default;

bool PortalDesktop::SessionIsWayland()
{
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return false;
    const QByteArray type = qgetenv("XDG_SESSION_TYPE");
    return type == "wayland" || (type.isEmpty() && qEnvironmentVariableIsEmpty("DISPLAY"));
}

bool PortalDesktop::Available(QString* error)
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    const QString name = QStringLiteral("org.freedesktop.portal.Desktop");
    if (!bus.isConnected()) {
        *error = QStringLiteral("no session bus, so no desktop portal");
        return false;
    }
    const QDBusReply<QStringList> activatable = bus.interface()->activatableServiceNames();
    if (bus.interface()->isServiceRegistered(name) || activatable.value().contains(name))
        return true;
    *error = QStringLiteral("no desktop portal (%1) on the session bus").arg(name);
    return false;
}

bool PortalDesktop::Ready(QString* error)
{
    if (session_ && session_->Alive() && stream_)
        return true;
    if (session_ && !session_->Alive())
        Fail(QStringLiteral("the desktop ended the screen sharing"));
    if (!failure_.isEmpty() && !retry_.hasExpired()) {
        *error = failure_;
        return false;
    }
    // The dialog's wait runs the event loop: a tick or a key arriving then
    // must not open a second session.
    if (opening_) {
        *error = QStringLiteral("the desktop is still asking the user to share the screen");
        return false;
    }
    QString why;
    opening_ = true;
    session_ = PortalSession::Open(deadlines_, tokenFile_, &why);
    const int fd = session_ ? session_->OpenPipeWire(&why) : -1;
    if (fd >= 0)
        stream_ = PipeWireStream::Open(fd, session_->Stream().node, deadlines_.callMs, &why);
    opening_ = false;
    if (!stream_) {
        failure_.clear();
        Fail(why);
        *error = why;
        return false;
    }
    failure_.clear();
    emit opened();
    return true;
}

void PortalDesktop::Close()
{
    stream_.reset();
    session_.reset();
    failure_.clear();
}

void PortalDesktop::Fail(const QString& why)
{
    stream_.reset();
    session_.reset();
    if (!failure_.isEmpty())
        return;
    failure_ = why;
    retry_.setRemainingTime(retryMs_);
    emit failed(why);
}

}  // namespace platform
