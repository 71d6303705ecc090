// marquelin_driven: the real program with a test driver inside. The driver
// opens its socket (MARQUELIN_DRIVER_SOCKET) as soon as the application
// object exists, before the start-up sequence, so the first-start sign-up
// window and the second-copy message can be driven too. Test tool only.
#include "program/Program.h"
#include "ui/RemotePreview.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTest>
#include <QTimer>

#include <cstdio>

// After Qt: Xlib defines None, Bool, Status.
#include <X11/Xlib.h>
#undef KeyPress
#undef KeyRelease

namespace {

using Args = QStringList;

// What a user reads on the widget: a box's, label's, button's or message's
// text, a log's lines, a slider's value, else a window's title.
QString WidgetText(const QWidget* widget)
{
    for (const char* property : {"text", "plainText", "value"})
        if (const QVariant value = widget->property(property); value.isValid())
            return value.toString();
    return widget->windowTitle();
}

struct Command {
    const char* name;
    qsizetype least, most;  // arguments
    QJsonArray (*run)(const Args&);
};

QJsonArray Ok(const QStringList& fields = {}) { return QJsonArray::fromStringList(QStringList{"ok"} + fields); }
QJsonArray Err(const QString& why) { return {"err", why}; }

// Runs a user's action on `target` once the answer has gone out.
template <typename Target, typename Action>
QJsonArray Later(Target* target, Action action)
{
    QTimer::singleShot(0, target, [target, action] { action(target); });
    return Ok();
}

// Runs `body` on a widget named by its window's object name and its own, as
// "window" or "window/name" (e.g. "frmCadastro/txtEmail"), or on the active
// modal window as "modal"; or answers why there is none.
template <typename Body>
QJsonArray WithWidget(const QString& path, Body body)
{
    if (path == QLatin1String("modal")) {
        QWidget* modal = QApplication::activeModalWidget();
        return modal ? body(modal) : Err("no modal window");
    }
    const QString window = path.section('/', 0, 0), name = path.section('/', 1);
    QWidgetList found;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->objectName() == window)
            found += name.isEmpty() ? QWidgetList{top} : top->findChildren<QWidget*>(name);
    // A name that several widgets of the window carry counts only its visible ones.
    if (found.size() > 1)
        found.removeIf([](QWidget* widget) { return !widget->isVisible(); });
    if (found.size() != 1)
        return Err((found.isEmpty() ? "no widget " : "ambiguous ") + path);
    return body(found.front());
}

QJsonArray Text(const Args& a)
{
    return WithWidget(a[0], [](QWidget* w) {
        const QString name = w->objectName().isEmpty() ? w->metaObject()->className() : w->objectName();
        return Ok({w->isEnabled() ? "1" : "0", w->isVisible() ? "1" : "0", WidgetText(w), name});
    });
}

QJsonArray Type(const Args& a)
{
    return WithWidget(a[0], [&a](QWidget* w) {
        QTest::mouseClick(w, Qt::LeftButton);
        QTest::keyClick(w, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(w, a[1]);
        return Ok();
    });
}

// At the centre, or at x y in widget pixels.
QJsonArray Click(const Args& a)
{
    const QPoint at = a.size() == 3 ? QPoint(a[1].toInt(), a[2].toInt()) : QPoint();
    return WithWidget(a[0], [&a, at](QWidget* w) {
        if (!w->isVisible() || !w->isEnabled())
            return Err(a[0] + " is hidden or disabled");
        return Later(w, [at](QWidget* target) { QTest::mouseClick(target, Qt::LeftButton, {}, at); });
    });
}

// The viewer reads keys as the X platform delivers them, by keycode: each
// key goes with the keycode this display gives its symbol (e.g. "A", "Tab").
void ClickKey(QWidget* target, int key, KeySym keysym)
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    const unsigned keycode = x11 ? XKeysymToKeycode(x11->display(), keysym) : 0;
    for (const QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
        QKeyEvent event(type, key, {}, keycode, 0, 0);
        QApplication::sendEvent(target, &event);
    }
}

QJsonArray Key(const Args& a)
{
    const QKeySequence sequence = QKeySequence::fromString(a[1], QKeySequence::PortableText);
    const KeySym keysym = XStringToKeysym(a[1].toLatin1().constData());
    if (sequence.isEmpty() || keysym == NoSymbol)
        return Err("key: unknown key " + a[1]);
    const int key = sequence[0].key();
    return WithWidget(a[0], [key, keysym](QWidget* w) {
        return Later(w, [key, keysym](QWidget* target) { ClickKey(target, key, keysym); });
    });
}

// A menu item (or any action) by object name.
QJsonArray Trigger(const Args& a)
{
    for (QWidget* top : QApplication::topLevelWidgets())
        if (QAction* action = top->findChild<QAction*>(a[0]))
            return action->isEnabled() ? Later(action, [](QAction* item) { item->trigger(); })
                                       : Err(a[0] + " is disabled");
    return Err("no action " + a[0]);
}

QJsonArray ModalClick(const Args& a)
{
    QWidget* modal = QApplication::activeModalWidget();
    for (QAbstractButton* button : modal ? modal->findChildren<QAbstractButton*>() : QList<QAbstractButton*>())
        if (button->isVisible() && QString(button->text()).remove('&') == a[0])
            return Later(static_cast<QWidget*>(button), [](QWidget* w) { QTest::mouseClick(w, Qt::LeftButton); });
    return Err("no button " + a[0] + " in a modal window");
}

// The picture and the geometry taken at one moment, so they agree.
QJsonArray Grab(const Args& a)
{
    return WithWidget(a[0], [&a](QWidget* w) {
        if (!w->grab().save(a[1], "PNG"))
            return Err("grab: cannot write " + a[1]);
        auto* preview = qobject_cast<ui::RemotePreview*>(w);
        if (!preview || preview->picture().isNull())
            return Ok();
        const QRect r = preview->pictureRect();
        return Ok({QString::number(r.x()), QString::number(r.y()), QString::number(r.width()),
                   QString::number(r.height())});
    });
}

constexpr Command kCommands[] = {
    {"text", 1, 1, Text},                // <widget>: ok <enabled 0|1> <visible 0|1> <text> <name or class>
    {"type", 2, 2, Type},                // <widget> <text>: click into a box, select all, type the text
    {"click", 1, 3, Click},              // <widget> [<x> <y>]: left click
    {"key", 2, 2, Key},                  // <widget> <key>: press and release, e.g. A
    {"trigger", 1, 1, Trigger},          // <action>: choose a menu item
    {"modal-click", 1, 1, ModalClick},   // <caption>: click that button of the active modal window
    {"grab", 2, 2, Grab},                // <widget> <png>: save it; ok, then <x> <y> <w> <h> of a remote picture
};

// Runs one command, ["name", arguments...], and answers ["ok", fields...] or
// ["err", reason]. Actions a user takes (clicks, keys, menu items) run from
// the event loop just after the answer, because they may open a modal window
// whose nested loop must keep the driver answering.
QJsonArray RunCommand(const QJsonArray& request)
{
    QStringList words;
    for (const QJsonValue& word : request)
        words << word.toString();
    const QString name = words.value(0);
    for (const Command& command : kCommands) {
        if (name != QLatin1String(command.name))
            continue;
        const Args args = words.mid(1);
        if (args.size() < command.least || args.size() > command.most)
            return Err(name + ": wrong number of arguments");
        return command.run(args);
    }
    return Err("unknown command " + name);
}

constexpr qint64 kMaxLine = 64 * 1024;

// One command per line, one answer line for each. The server lives on the
// program's event loop, so modal windows' nested loops keep it answering.
void ReadLines(QLocalSocket* client)
{
    while (client->canReadLine()) {
        const QJsonArray request = QJsonDocument::fromJson(client->readLine(kMaxLine)).array();
        client->write(QJsonDocument(RunCommand(request)).toJson(QJsonDocument::Compact) + '\n');
    }
    if (client->bytesAvailable() > kMaxLine)
        client->disconnectFromServer();
}

void StartDriver()
{
    const QString path = qEnvironmentVariable("MARQUELIN_DRIVER_SOCKET");
    auto* server = new QLocalServer(QCoreApplication::instance());
    QObject::connect(server, &QLocalServer::newConnection, server, [server] {
        while (QLocalSocket* client = server->nextPendingConnection()) {
            QObject::connect(client, &QLocalSocket::readyRead, client, [client] { ReadLines(client); });
            QObject::connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        }
    });
    QLocalServer::removeServer(path);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (path.isEmpty() || !server->listen(path))
        std::fprintf(stderr, "marquelin_driven: cannot listen on \"%s\" (MARQUELIN_DRIVER_SOCKET): %s\n",
                     qPrintable(path), qPrintable(server->errorString()));
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(StartDriver)

int main(int argc, char** argv) { return program::RunProgram(argc, argv); }
