#include "WidgetFinder.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QWidget>

namespace driver {
namespace {

// Widgets called by the name after the slash: anywhere, or in (or being) the
// top-level window named before it.
QList<QWidget*> Named(const QString& path)
{
    const qsizetype slash = path.indexOf('/');
    const QString name = path.mid(slash + 1);
    QList<QWidget*> found;
    if (slash < 0) {
        found = QApplication::allWidgets();
        found.removeIf([&name](const QWidget* widget) { return widget->objectName() != name; });
    }
    for (QWidget* top : slash < 0 ? QWidgetList() : QApplication::topLevelWidgets())
        if (top->objectName() == path.left(slash))
            found += top->objectName() == name ? QWidgetList{top} : top->findChildren<QWidget*>(name);
    return found;
}

}  // namespace

QWidget* FindWidget(const QString& path, QString* error)
{
    QList<QWidget*> found = Named(path);
    if (found.size() > 1) {
        const QList<QWidget*> all = found;
        found.removeIf([](QWidget* widget) { return !widget->isVisible(); });
        if (found.isEmpty())
            found = all;
    }
    if (found.size() == 1)
        return found.front();
    *error = found.isEmpty() ? "no widget " + path : "ambiguous " + path + ": name its window";
    return nullptr;
}

QAction* FindAction(const QString& name, QString* error)
{
    for (QWidget* top : QApplication::topLevelWidgets())
        if (QAction* action = top->findChild<QAction*>(name))
            return action;
    *error = "no action " + name;
    return nullptr;
}

QString WidgetText(const QWidget* widget)
{
    if (auto* box = qobject_cast<const QMessageBox*>(widget))
        return box->text();
    if (auto* edit = qobject_cast<const QLineEdit*>(widget))
        return edit->text();
    if (auto* label = qobject_cast<const QLabel*>(widget))
        return label->text();
    if (auto* button = qobject_cast<const QAbstractButton*>(widget))
        return button->text();
    if (auto* frame = qobject_cast<const QGroupBox*>(widget))
        return frame->title();
    if (auto* log = qobject_cast<const QPlainTextEdit*>(widget))
        return log->toPlainText();
    if (auto* slider = qobject_cast<const QAbstractSlider*>(widget))
        return QString::number(slider->value());
    return widget->windowTitle();
}

}  // namespace driver
