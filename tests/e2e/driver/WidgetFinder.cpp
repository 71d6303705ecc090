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

QList<QWidget*> Named(const QString& path)
{
    const qsizetype slash = path.indexOf('/');
    const QString name = slash < 0 ? path : path.mid(slash + 1);
    QList<QWidget*> found;
    if (slash < 0) {
        for (QWidget* widget : QApplication::allWidgets())
            if (widget->objectName() == name)
                found.append(widget);
        return found;
    }
    const QString window = path.left(slash);
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->objectName() != window)
            continue;
        if (top->objectName() == name)
            found.append(top);
        found.append(top->findChildren<QWidget*>(name));
    }
    return found;
}

}  // namespace

QWidget* FindWidget(const QString& path, QString* error)
{
    QList<QWidget*> found = Named(path);
    if (found.size() > 1) {
        QList<QWidget*> visible;
        for (QWidget* widget : found)
            if (widget->isVisible())
                visible.append(widget);
        if (!visible.isEmpty())
            found = visible;
    }
    if (found.size() == 1)
        return found.front();
    *error = found.isEmpty() ? "no widget " + path : "ambiguous " + path + ": name its window";
    return nullptr;
}

QAction* FindAction(const QString& name, QString* error)
{
    for (QWidget* top : QApplication::topLevelWidgets())
        for (QAction* action : top->findChildren<QAction*>(name))
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
