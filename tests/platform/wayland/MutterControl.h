#pragma once

#include "platform/wayland/PipeWireStream.h"
#include "support/WaitUntil.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QPoint>
#include <QRegularExpression>
#include <cstring>
#include <memory>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace testing_support {

// The test's own eyes and hands on the headless desktop, through mutter's
// own screencast and remote-desktop interfaces, which ask no consent: the
// monitor as mutter shows it (no pointer) and a pointer that clicks.
class MutterControl : public QObject {
    Q_OBJECT

public:
    static std::unique_ptr<MutterControl> Open(const std::string& runtimeDir, QString* error)
    {
        std::unique_ptr<MutterControl> c(new MutterControl);
        return c->Start(runtimeDir, error) ? std::move(c) : nullptr;
    }
    ~MutterControl() override { Call(remote_, kRemote + ".Session", "Stop", {}); }

    uint32_t Pixel(QPoint at)
    {
        uint32_t pixel = 0;
        stream_->Read([&](const platform::StreamPicture& p) {
            if (at.x() < p.width && at.y() < p.height)
                std::memcpy(&pixel, p.pixels + at.y() * p.stride + at.x() * 4, 4);
        }, nullptr);
        return pixel;
    }

    void Click(QPoint at)
    {
        Call(remote_, kRemote + ".Session", "NotifyPointerMotionAbsolute",
             {QString(streamPath_), double(at.x()), double(at.y())});
        for (const bool down : {true, false})
            Call(remote_, kRemote + ".Session", "NotifyPointerButton", {272, down});
    }

    // The objects right under `path` of `service`.
    static QStringList Children(const QString& service, const QString& path)
    {
        const QString tree = QDBusConnection::sessionBus()
                                 .call(QDBusMessage::createMethodCall(service, path, "org.freedesktop.DBus.Introspectable", "Introspect"))
                                 .arguments().value(0).toString();
        QStringList children;
        for (auto nodes = QRegularExpression(QStringLiteral("<node name=\"(\\w+)\"")).globalMatch(tree); nodes.hasNext();)
            children << path + u'/' + nodes.next().captured(1);
        return children;
    }

public slots:
    void StreamAdded(uint node) { node_ = node; }

private:
    inline static const QString kRemote = QStringLiteral("org.gnome.Mutter.RemoteDesktop");
    inline static const QString kCast = QStringLiteral("org.gnome.Mutter.ScreenCast");

    static QDBusMessage Call(const QString& path, const QString& iface, const QString& method, const QVariantList& args)
    {
        const QString service = iface.startsWith(kRemote) ? kRemote : kCast;
        QDBusMessage m = QDBusMessage::createMethodCall(service, path, iface, method);
        m.setArguments(args);
        return QDBusConnection::sessionBus().call(m);
    }
    static QString Path(const QDBusMessage& reply)
    {
        return reply.arguments().size() == 1 ? reply.arguments()[0].value<QDBusObjectPath>().path() : QString();
    }

    bool Start(const std::string& runtimeDir, QString* error)
    {
        auto bus = QDBusConnection::sessionBus();
        remote_ = Path(Call("/org/gnome/Mutter/RemoteDesktop", kRemote, "CreateSession", {}));
        const QDBusMessage id = Call(remote_, "org.freedesktop.DBus.Properties", "Get", {kRemote + ".Session", "SessionId"});
        const QString sessionId = id.arguments().value(0).value<QDBusVariant>().variant().toString();
        const QString cast = Path(Call("/org/gnome/Mutter/ScreenCast", kCast, "CreateSession",
                                       {QVariantMap{{"remote-desktop-session-id", sessionId}}}));
        streamPath_ = Path(Call(cast, kCast + ".Session", "RecordMonitor", {QStringLiteral("Meta-0"), QVariantMap{{"cursor-mode", 0u}}}));
        bus.connect(kCast, streamPath_, kCast + ".Stream", "PipeWireStreamAdded", this, SLOT(StreamAdded(uint)));
        Call(remote_, kRemote + ".Session", "Start", {});
        if (streamPath_.isEmpty() || !WaitUntil([this] { return node_ != 0; }, 10000)) {
            *error = "mutter's screencast gave no stream";
            return false;
        }
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof(address.sun_path), "%s/pipewire-0", runtimeDir.c_str());
        if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
            *error = "no PipeWire socket";
            if (fd >= 0)
                close(fd);
            return false;
        }
        stream_ = platform::PipeWireStream::Open(fd, node_, 10000, error);
        return stream_ != nullptr;
    }

    QString remote_, streamPath_;
    uint node_ = 0;
    std::unique_ptr<platform::PipeWireStream> stream_;
};

}  // namespace testing_support
