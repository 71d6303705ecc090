#include "DriverCommands.h"

#include "LineText.h"
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

#include <optional>

// After Qt: Xlib defines None, Bool, Status.
#include <X11/Xlib.h>
#include <X11/keysym.h>
#undef KeyPress
#undef KeyRelease

namespace driver {
namespace {

using Args = QStringList;
using Handler = QString (*)(const Args&, const DriverContext&);

struct Command {
    const char* name;
    int arguments;  // the last one takes the rest of the line
    const char* usage;
    Handler run;
};

QString Ok(const QStringList& fields = {}) { return fields.isEmpty() ? "ok" : "ok " + fields.join('\t'); }
QString Err(const QString& why) { return "err " + EscapeLine(why); }
QString Flag(bool value) { return value ? "1" : "0"; }

// Runs a user's action on `widget` once the answer has gone out.
template <typename Target, typename Action>
QString Later(Target* target, Action action)
{
    QTimer::singleShot(0, target, [target, action] { action(target); });
    return Ok();
}

// Runs `body` on the widget named `path`, or answers why there is none.
template <typename Body>
QString WithWidget(const QString& path, Body body)
{
    QString error;
    QWidget* widget = FindWidget(path, &error);
    return widget ? body(widget) : Err(error);
}

QString Ready(const Args&, const DriverContext& context)
{
    return context.mainWindow ? Ok() : Err("main window not shown yet");
}

QString Text(const Args& a, const DriverContext&)
{
    return WithWidget(a[0], [](QWidget* w) {
        return Ok({Flag(w->isEnabled()), Flag(w->isVisible()), EscapeLine(WidgetText(w))});
    });
}

QString Type(const Args& a, const DriverContext&)
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

QString Click(const Args& a, const DriverContext&)
{
    return WithWidget(a[0], [&a](QWidget* w) {
        if (!w->isVisible() || !w->isEnabled())
            return Err(a[0] + " is hidden or disabled");
        return Later(w, [](QWidget* target) { QTest::mouseClick(target, Qt::LeftButton); });
    });
}

QString ClickAt(const Args& a, const DriverContext&)
{
    bool okX = false, okY = false;
    const QPoint at(a[1].toInt(&okX), a[2].toInt(&okY));
    if (!okX || !okY)
        return Err("click-at: x and y must be numbers");
    return WithWidget(a[0], [at](QWidget* w) {
        return Later(w, [at](QWidget* target) { QTest::mouseClick(target, Qt::LeftButton, {}, at); });
    });
}

// The viewer reads keys as the X platform delivers them, by keycode and X
// state: each key goes with the keycode this display gives its symbol.
void SendKeyEvent(QWidget* target, QEvent::Type type, int key, Qt::KeyboardModifiers modifiers, KeySym keysym)
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    const unsigned keycode = x11 ? XKeysymToKeycode(x11->display(), keysym) : 0;
    QKeyEvent event(type, key, modifiers, keycode, 0, modifiers.testFlag(Qt::ControlModifier) ? ControlMask : 0);
    QApplication::sendEvent(target, &event);
}

void ClickKey(QWidget* target, QKeyCombination key)
{
    QString name = QKeySequence(key.key()).toString(QKeySequence::PortableText);
    if (name == "Esc")
        name = "Escape";
    const KeySym keysym = XStringToKeysym(name.toLatin1().constData());
    const bool ctrl = key.keyboardModifiers().testFlag(Qt::ControlModifier);
    if (ctrl)
        SendKeyEvent(target, QEvent::KeyPress, Qt::Key_Control, {}, XK_Control_L);
    SendKeyEvent(target, QEvent::KeyPress, key.key(), key.keyboardModifiers(), keysym);
    SendKeyEvent(target, QEvent::KeyRelease, key.key(), key.keyboardModifiers(), keysym);
    if (ctrl)
        SendKeyEvent(target, QEvent::KeyRelease, Qt::Key_Control, Qt::ControlModifier, XK_Control_L);
}

QString Key(const Args& a, const DriverContext&)
{
    const QKeySequence sequence = QKeySequence::fromString(a[1], QKeySequence::PortableText);
    if (sequence.isEmpty())
        return Err("key: unknown key " + a[1]);
    const QKeyCombination key = sequence[0];
    return WithWidget(a[0], [key](QWidget* w) {
        return Later(w, [key](QWidget* target) { ClickKey(target, key); });
    });
}

QString Trigger(const Args& a, const DriverContext&)
{
    QString error;
    QAction* action = FindAction(a[0], &error);
    if (!action)
        return Err(error);
    if (!action->isEnabled())
        return Err(a[0] + " is disabled");
    return Later(action, [](QAction* item) { item->trigger(); });
}

QString Modal(const Args&, const DriverContext&)
{
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal)
        return Ok();
    const QString name = modal->objectName().isEmpty() ? modal->metaObject()->className() : modal->objectName();
    return Ok({EscapeLine(name), EscapeLine(modal->windowTitle()), EscapeLine(WidgetText(modal))});
}

QString ModalClick(const Args& a, const DriverContext&)
{
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal)
        return Err("no modal window");
    for (QAbstractButton* button : modal->findChildren<QAbstractButton*>())
        if (button->isVisible() && QString(button->text()).remove('&') == a[0])
            return Later(static_cast<QWidget*>(button), [](QWidget* w) { QTest::mouseClick(w, Qt::LeftButton); });
    return Err("no button " + a[0] + " in the modal window");
}

QString Geometry(const Args& a, const DriverContext&)
{
    return WithWidget(a[0], [](QWidget* w) {
        QStringList fields{QString::number(w->width()), QString::number(w->height())};
        if (auto* preview = qobject_cast<ui::RemotePreview*>(w); preview && !preview->picture().isNull()) {
            const QRect r = preview->pictureRect();
            fields << QString::number(r.x()) << QString::number(r.y()) << QString::number(r.width())
                   << QString::number(r.height());
        }
        return Ok(fields);
    });
}

QString Grab(const Args& a, const DriverContext&)
{
    return WithWidget(a[0], [&a](QWidget* w) {
        const QImage image = w->grab().toImage();
        if (!image.save(a[1], "PNG"))
            return Err("grab: cannot write " + a[1]);
        return Ok({QString::number(image.width()), QString::number(image.height())});
    });
}

constexpr Command kCommands[] = {
    {"ready", 0, "ready: ok once the main window is shown", Ready},
    {"text", 1, "text <widget>: ok <enabled 0|1> <visible 0|1> <text>, tab-separated", Text},
    {"type", 2, "type <widget> <text>: click into a box, select all, type the text", Type},
    {"click", 1, "click <widget>: left click at its centre", Click},
    {"click-at", 3, "click-at <widget> <x> <y>: left click at that point, widget pixels", ClickAt},
    {"key", 2, "key <widget> <key>: press and release, e.g. A, Tab, Ctrl+Esc", Key},
    {"trigger", 1, "trigger <action>: choose a menu item", Trigger},
    {"modal", 0, "modal: ok <name> <title> <text> of the active modal window, tab-separated; ok alone when none", Modal},
    {"modal-click", 1, "modal-click <caption>: click that button of the active modal window", ModalClick},
    {"geometry", 1, "geometry <widget>: ok <w> <h>, then <x> <y> <w> <h> of a drawn remote picture, tab-separated", Geometry},
    {"grab", 2, "grab <widget> <png path>: save what the widget shows; ok <w> <h>, tab-separated", Grab},
};

// Splits the words after the command name; the last argument keeps its spaces.
std::optional<Args> SplitArguments(const QString& rest, int count)
{
    Args args;
    QString remaining = rest;
    for (int i = 0; i + 1 < count; ++i) {
        const qsizetype space = remaining.indexOf(' ');
        if (space < 0)
            return std::nullopt;
        args.append(remaining.left(space));
        remaining = remaining.mid(space + 1);
    }
    if (count > 0)
        args.append(UnescapeLine(remaining));
    return args;
}

}  // namespace

QString RunCommand(const QString& line, const DriverContext& context)
{
    const qsizetype space = line.indexOf(' ');
    const QString name = space < 0 ? line : line.left(space);
    const QString rest = space < 0 ? QString() : line.mid(space + 1);
    for (const Command& command : kCommands) {
        if (name != QLatin1String(command.name))
            continue;
        const std::optional<Args> args = SplitArguments(rest, command.arguments);
        if (!args)
            return Err(QString("usage: ") + command.usage);
        return command.run(*args, context);
    }
    return Err("unknown command " + name);
}

}  // namespace driver
