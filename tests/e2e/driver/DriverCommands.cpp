#include "DriverCommands.h"

#include "WidgetFinder.h"
#include "ui/RemotePreview.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QTest>
#include <QTimer>

// After Qt: Xlib defines None, Bool, Status.
#include <X11/Xlib.h>
#undef KeyPress
#undef KeyRelease

namespace driver {
namespace {

using Args = QStringList;

struct Command {
    const char* name;
    qsizetype least, most;  // arguments
    QJsonArray (*run)(const Args&);
};

QJsonArray Ok(const QStringList& fields = {}) { return QJsonArray::fromStringList(QStringList{"ok"} + fields); }
QJsonArray Err(const QString& why) { return {"err", why}; }
QString Flag(bool value) { return value ? "1" : "0"; }

// Runs a user's action on `target` once the answer has gone out.
template <typename Target, typename Action>
QJsonArray Later(Target* target, Action action)
{
    QTimer::singleShot(0, target, [target, action] { action(target); });
    return Ok();
}

// Runs `body` on the widget named `path`, or answers why there is none.
template <typename Body>
QJsonArray WithWidget(const QString& path, Body body)
{
    QString error;
    QWidget* widget = FindWidget(path, &error);
    return widget ? body(widget) : Err(error);
}

QJsonArray Text(const Args& a)
{
    return WithWidget(a[0], [](QWidget* w) { return Ok({Flag(w->isEnabled()), Flag(w->isVisible()), WidgetText(w)}); });
}

QJsonArray Type(const Args& a)
{
    return WithWidget(a[0], [&a](QWidget* w) {
        QTest::mouseClick(w, Qt::LeftButton);
        QTest::keyClick(w, Qt::Key_A, Qt::ControlModifier);
        if (a[1].isEmpty())
            QTest::keyClick(w, Qt::Key_Delete);
        else
            QTest::keyClicks(w, a[1]);
        return Ok();
    });
}

// At the centre, or at x y in widget pixels.
QJsonArray Click(const Args& a)
{
    bool okX = true, okY = true;
    const QPoint at = a.size() == 3 ? QPoint(a[1].toInt(&okX), a[2].toInt(&okY)) : QPoint();
    if (!okX || !okY || a.size() == 2)
        return Err("click: x and y must be numbers");
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

QJsonArray Trigger(const Args& a)
{
    QString error;
    QAction* action = FindAction(a[0], &error);
    if (!action || !action->isEnabled())
        return Err(action ? a[0] + " is disabled" : error);
    return Later(action, [](QAction* item) { item->trigger(); });
}

QJsonArray Modal(const Args&)
{
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal)
        return Ok();
    const QString name = modal->objectName().isEmpty() ? modal->metaObject()->className() : modal->objectName();
    return Ok({name, modal->windowTitle(), WidgetText(modal)});
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
        QStringList fields{QString::number(w->width()), QString::number(w->height())};
        if (auto* preview = qobject_cast<ui::RemotePreview*>(w); preview && !preview->picture().isNull()) {
            const QRect r = preview->pictureRect();
            fields << QString::number(r.x()) << QString::number(r.y()) << QString::number(r.width())
                   << QString::number(r.height());
        }
        return Ok(fields);
    });
}

constexpr Command kCommands[] = {
    {"text", 1, 1, Text},                // <widget>: ok <enabled 0|1> <visible 0|1> <text>
    {"type", 2, 2, Type},                // <widget> <text>: click into a box, select all, type the text
    {"click", 1, 3, Click},              // <widget> [<x> <y>]: left click
    {"key", 2, 2, Key},                  // <widget> <key>: press and release, e.g. A
    {"trigger", 1, 1, Trigger},          // <action>: choose a menu item
    {"modal", 0, 0, Modal},              // ok <name> <title> <text> of the active modal window; ok alone when none
    {"modal-click", 1, 1, ModalClick},   // <caption>: click that button of the active modal window
    {"grab", 2, 2, Grab},                // <widget> <png>: save it; ok <w> <h>, then <x> <y> <w> <h> of a remote picture
};

}  // namespace

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

}  // namespace driver
