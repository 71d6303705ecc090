#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <QDBusMessage>
#include <cstdint>
#include <deque>
#include <memory>

namespace platform {

// The monitor the desktop shares: its PipeWire node and where it lies on the
// desktop, in the desktop's coordinates.
struct PortalStream {
    std::uint32_t node = 0;
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// A remote-desktop session of the desktop portal on the session bus: the
// keyboard and the pointer, and one monitor as a stream with the pointer as
// metadata. Opening it shows the desktop's consent dialog; every wait has a
// deadline and pumps the event loop. User-interface thread only.
class PortalSession final : public QObject {
    Q_OBJECT

public:
    struct Deadlines {
        int callMs = 10000;    // a request the desktop answers by itself
        int consentMs = 120000;  // the dialog the user answers
    };

    // Without a portal, or when the user refuses: nothing, and `error` says why.
    // Where the portal can remember the user's answer, it is kept in
    // `tokenFile` (none: asked every time) and the dialog is spared next time.
    static std::unique_ptr<PortalSession> Open(const Deadlines& deadlines, const QString& tokenFile, QString* error);
    ~PortalSession() override;
    PortalSession(const PortalSession&) = delete;
    PortalSession& operator=(const PortalSession&) = delete;

    const PortalStream& Stream() const { return stream_; }
    // A descriptor of the PipeWire connection that sees the stream; the
    // caller owns it. -1 with `error` set when refused.
    int OpenPipeWire(QString* error);
    // False once the desktop ended the session.
    bool Alive() const { return alive_; }

    // Input in the stream's coordinates, evdev codes; sent in order, one
    // after the other's answer.
    void PointerMotion(double x, double y);
    void PointerButton(int evdevButton, bool down);
    void KeyboardKeycode(int evdevKeycode, bool down);

signals:
    void closed();

private slots:
    void OnClosed();

private:
    PortalSession(QDBusConnection bus, const Deadlines& deadlines);
    // Calls `method` with `arguments` (options last, a handle token added)
    // and waits for the request's answer within `ms`.
    bool Request(const QString& interface, const QString& method, QVariantList arguments, int ms,
                 QVariantMap* results, QString* error);
    bool Start(const QString& tokenFile, QString* error);
    uint Version(const QString& interface) const;
    void Notify(const QString& method, const QVariantList& arguments);
    void SendNext();

    QDBusConnection bus_;
    Deadlines deadlines_;
    QString session_;  // the session's object path
    PortalStream stream_;
    bool alive_ = false;
    std::deque<QDBusMessage> queued_;  // input events, the first one in flight
};

}  // namespace platform
