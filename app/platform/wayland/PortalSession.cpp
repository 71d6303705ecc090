#include "platform/wayland/PortalSession.h"

#include "core/imaging/FileBytes.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>
#include <QDebug>
#include <QEventLoop>
#include <QTimer>
#include <fcntl.h>

namespace platform {
namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kRemoteDesktop = QStringLiteral("org.freedesktop.portal.RemoteDesktop");
const QString kScreenCast = QStringLiteral("org.freedesktop.portal.ScreenCast");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");
const QString kSession = QStringLiteral("org.freedesktop.portal.Session");

constexpr uint kKeyboard = 1, kPointer = 2;
constexpr uint kMonitor = 1;
constexpr uint kCursorMetadata = 4;
constexpr uint kPersistUntilRevoked = 2;
constexpr qsizetype kMaxToken = 4096;

// The answer of one request, which the portal sends as a signal.
class Answer final : public QObject {
    Q_OBJECT

public:
    bool received = false;
    uint code = 2;
    QVariantMap results;
    QEventLoop loop;

public slots:
    void Response(uint answer, const QVariantMap& values)
    {
        received = true;
        code = answer;
        results = values;
        loop.quit();
    }
};

bool ReadPair(const QVariant& value, int* a, int* b)
{
    if (value.userType() != qMetaTypeId<QDBusArgument>())
        return false;
    const auto arg = value.value<QDBusArgument>();
    if (arg.currentSignature() != QLatin1String("(ii)"))
        return false;
    arg.beginStructure();
    arg >> *a >> *b;
    arg.endStructure();
    return true;
}

// The first monitor of the answer's a(ua{sv}).
bool ReadStream(const QVariant& value, PortalStream* stream, QString* error)
{
    if (value.userType() != qMetaTypeId<QDBusArgument>()
        || value.value<QDBusArgument>().currentSignature() != QLatin1String("a(ua{sv})")) {
        *error = QStringLiteral("the desktop portal gave no screen stream");
        return false;
    }
    const auto arg = value.value<QDBusArgument>();
    bool found = false;
    arg.beginArray();
    while (!arg.atEnd()) {
        uint node = 0;
        QVariantMap properties;
        arg.beginStructure();
        arg >> node >> properties;
        arg.endStructure();
        PortalStream s{node};
        if (found || !ReadPair(properties.value(QStringLiteral("size")), &s.width, &s.height))
            continue;
        ReadPair(properties.value(QStringLiteral("position")), &s.left, &s.top);
        *stream = s;
        found = true;
    }
    arg.endArray();
    if (!found || stream->width <= 0 || stream->height <= 0 || stream->width > 32768 || stream->height > 32768) {
        *error = QStringLiteral("the desktop portal gave no usable screen stream");
        return false;
    }
    return true;
}

QString RefusalText(uint code)
{
    return code == 1 ? QStringLiteral("the user refused to share the screen")
                     : QStringLiteral("the desktop refused to share the screen");
}

}  // namespace

std::unique_ptr<PortalSession> PortalSession::Open(const Deadlines& deadlines, const QString& tokenFile, QString* error)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        *error = QStringLiteral("no session bus for the desktop portal: %1").arg(bus.lastError().message());
        return nullptr;
    }
    std::unique_ptr<PortalSession> session(new PortalSession(bus, deadlines));
    if (!session->Start(tokenFile, error))
        return nullptr;
    return session;
}

PortalSession::PortalSession(QDBusConnection bus, const Deadlines& deadlines) : bus_(bus), deadlines_(deadlines) {}

PortalSession::~PortalSession()
{
    if (session_.isEmpty())
        return;
    bus_.disconnect(kService, session_, kSession, QStringLiteral("Closed"), this, SLOT(OnClosed()));
    if (alive_)
        bus_.call(QDBusMessage::createMethodCall(kService, session_, kSession, QStringLiteral("Close")),
                  QDBus::Block, deadlines_.callMs);
}

bool PortalSession::Request(const QString& interface, const QString& method, QVariantList arguments, int ms,
                            QVariantMap* results, QString* error)
{
    // The request's path follows from the token, so the answer is listened
    // for before the call can produce it.
    static unsigned tokens = 0;  // unique in the process, as the portal wants
    const QString token = QStringLiteral("marquelin%1").arg(++tokens);
    const QString sender = bus_.baseService().mid(1).replace(u'.', u'_');
    const QString path = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
    QVariantMap options = arguments.takeLast().toMap();
    options.insert(QStringLiteral("handle_token"), token);
    arguments.append(options);

    Answer answer;
    bus_.connect(kService, path, kRequest, QStringLiteral("Response"), &answer, SLOT(Response(uint, QVariantMap)));
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, interface, method);
    call.setArguments(arguments);
    const QDBusMessage reply = bus_.call(call, QDBus::Block, deadlines_.callMs);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        bus_.disconnect(kService, path, kRequest, QStringLiteral("Response"), &answer, SLOT(Response(uint, QVariantMap)));
        *error = reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown")
                     ? QStringLiteral("no desktop portal on the session bus (%1)").arg(reply.errorMessage())
                     : QStringLiteral("the desktop portal refused %1: %2").arg(method, reply.errorMessage());
        return false;
    }
    if (!answer.received) {
        QTimer::singleShot(ms, &answer.loop, &QEventLoop::quit);
        answer.loop.exec();
    }
    bus_.disconnect(kService, path, kRequest, QStringLiteral("Response"), &answer, SLOT(Response(uint, QVariantMap)));
    if (!answer.received) {
        *error = QStringLiteral("the desktop portal did not answer %1 within %2 s").arg(method).arg(ms / 1000.0);
        return false;
    }
    if (answer.code != 0) {
        *error = RefusalText(answer.code);
        return false;
    }
    *results = answer.results;
    return true;
}

uint PortalSession::Version(const QString& interface) const
{
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                       QStringLiteral("Get"));
    call.setArguments({interface, QStringLiteral("version")});
    const QDBusMessage reply = bus_.call(call, QDBus::Block, deadlines_.callMs);
    return reply.arguments().value(0).value<QDBusVariant>().variant().toUInt();
}

bool PortalSession::Start(const QString& tokenFile, QString* error)
{
    QVariantMap results;
    static unsigned sessions = 0;
    const QVariantMap create{{QStringLiteral("session_handle_token"), QStringLiteral("marquelin%1").arg(++sessions)}};
    if (!Request(kRemoteDesktop, QStringLiteral("CreateSession"), {create}, deadlines_.callMs, &results, error))
        return false;
    session_ = results.value(QStringLiteral("session_handle")).toString();
    if (!session_.startsWith(kPath + u'/')) {
        *error = QStringLiteral("the desktop portal gave no session");
        session_.clear();
        return false;
    }
    alive_ = true;
    bus_.connect(kService, session_, kSession, QStringLiteral("Closed"), this, SLOT(OnClosed()));
    const QDBusObjectPath session(session_);
    QVariantMap devices{{QStringLiteral("types"), kKeyboard | kPointer}};
    // Version 1 refuses these options; from version 2 the desktop may keep
    // the user's answer until the user revokes it.
    const bool persist = !tokenFile.isEmpty() && Version(kRemoteDesktop) >= 2;
    QByteArray token;
    if (persist) {
        devices.insert(QStringLiteral("persist_mode"), kPersistUntilRevoked);
        if (imaging::ReadWholeFile(tokenFile, &token, nullptr) && token.size() <= kMaxToken)
            devices.insert(QStringLiteral("restore_token"), QString::fromUtf8(token));
    }
    const QVariantMap sources{{QStringLiteral("types"), kMonitor},
                              {QStringLiteral("multiple"), false},
                              {QStringLiteral("cursor_mode"), kCursorMetadata}};
    if (!Request(kRemoteDesktop, QStringLiteral("SelectDevices"), {QVariant::fromValue(session), devices},
                 deadlines_.callMs, &results, error)
        || !Request(kScreenCast, QStringLiteral("SelectSources"), {QVariant::fromValue(session), sources},
                    deadlines_.callMs, &results, error)
        || !Request(kRemoteDesktop, QStringLiteral("Start"), {QVariant::fromValue(session), QString(), QVariantMap()},
                    deadlines_.consentMs, &results, error))
        return false;
    // Each token serves once: the answer brings the next, or none.
    token = results.value(QStringLiteral("restore_token")).toString().toUtf8();
    QString why;
    if (persist && !(token.isEmpty() ? imaging::RemoveFile(tokenFile, &why) : imaging::ReplaceFile(tokenFile, token, &why)))
        qWarning().noquote() << "Marquelin: the desktop's sharing token is not kept:" << why;
    if ((results.value(QStringLiteral("devices")).toUInt() & (kKeyboard | kPointer)) != (kKeyboard | kPointer)) {
        *error = QStringLiteral("the desktop did not allow the keyboard and the pointer");
        return false;
    }
    return ReadStream(results.value(QStringLiteral("streams")), &stream_, error);
}

int PortalSession::OpenPipeWire(QString* error)
{
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kScreenCast, QStringLiteral("OpenPipeWireRemote"));
    call.setArguments({QVariant::fromValue(QDBusObjectPath(session_)), QVariantMap()});
    const QDBusMessage reply = bus_.call(call, QDBus::Block, deadlines_.callMs);
    const QVariantList values = reply.arguments();
    if (reply.type() != QDBusMessage::ReplyMessage || values.size() != 1
        || values[0].userType() != qMetaTypeId<QDBusUnixFileDescriptor>()) {
        *error = QStringLiteral("the desktop portal gave no PipeWire connection: %1").arg(reply.errorMessage());
        return -1;
    }
    const int fd = fcntl(values[0].value<QDBusUnixFileDescriptor>().fileDescriptor(), F_DUPFD_CLOEXEC, 3);
    if (fd < 0)
        *error = QStringLiteral("no descriptor left for the PipeWire connection");
    return fd;
}

void PortalSession::Notify(const QString& method, const QVariantList& arguments)
{
    if (!alive_)
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kRemoteDesktop, method);
    QVariantList all{QVariant::fromValue(QDBusObjectPath(session_)), QVariantMap()};
    all.append(arguments);
    call.setArguments(all);
    queued_.push_back(call);
    if (queued_.size() == 1)
        SendNext();
}

// The portal may handle calls that arrive together on several threads, so
// an event goes only once the one before it was answered: keys stay in order.
void PortalSession::SendNext()
{
    auto* sent = new QDBusPendingCallWatcher(bus_.asyncCall(queued_.front(), deadlines_.callMs), this);
    connect(sent, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* answered) {
        answered->deleteLater();
        queued_.pop_front();
        if (!queued_.empty() && alive_)
            SendNext();
        else
            queued_.clear();
    });
}

void PortalSession::PointerMotion(double x, double y)
{
    Notify(QStringLiteral("NotifyPointerMotionAbsolute"), {stream_.node, x, y});
}

void PortalSession::PointerButton(int evdevButton, bool down)
{
    Notify(QStringLiteral("NotifyPointerButton"), {evdevButton, uint(down ? 1 : 0)});
}

void PortalSession::KeyboardKeycode(int evdevKeycode, bool down)
{
    Notify(QStringLiteral("NotifyKeyboardKeycode"), {evdevKeycode, uint(down ? 1 : 0)});
}

void PortalSession::OnClosed()
{
    alive_ = false;
    emit closed();
}

}  // namespace platform

#include "PortalSession.moc"
