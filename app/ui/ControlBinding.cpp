#include "ui/ControlBinding.h"

#include "core/shell/Control.h"

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalBlocker>

namespace ui {
namespace {

void ApplyLook(const shell::Look& look, QWidget* widget)
{
    QFont font = widget->font();
    font.setPointSize(look.fontSize);
    font.setBold(look.bold);
    widget->setFont(font);
    QPalette palette = widget->parentWidget() ? widget->parentWidget()->palette() : widget->palette();
    if (look.foreColor.isValid()) {
        palette.setColor(QPalette::WindowText, look.foreColor);
        palette.setColor(QPalette::ButtonText, look.foreColor);
    }
    if (look.backColor.isValid()) {
        palette.setColor(QPalette::Button, look.backColor);
        palette.setColor(QPalette::ButtonText, Qt::white);
    }
    widget->setPalette(palette);
    widget->setAutoFillBackground(look.backColor.isValid());
}

void ApplyText(const shell::Control& control, QWidget* widget)
{
    if (widget->isWindow())
        widget->setWindowTitle(control.text());
    else if (auto* button = qobject_cast<QAbstractButton*>(widget))
        button->setText(control.text());
    else if (auto* label = qobject_cast<QLabel*>(widget))
        label->setText(control.text());
    else if (auto* box = qobject_cast<QGroupBox*>(widget))
        box->setTitle(control.text());
    else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        if (edit->text() != control.text())
            edit->setText(control.text());
    } else if (auto* bar = qobject_cast<QScrollBar*>(widget)) {
        bar->setRange(control.minimum(), control.maximum());
        // Not blocked: the model's own guard ignores the change it caused.
        bar->setValue(control.value());
    }
}

void Sync(const shell::Control& control, QWidget* widget)
{
    ApplyText(control, widget);
    widget->setEnabled(control.enabled());
    if (!widget->isWindow())
        widget->setVisible(control.visible());
    ApplyLook(control.look(), widget);
}

}  // namespace

void Bind(shell::Control& control, QWidget* widget)
{
    widget->setObjectName(control.name());
    Sync(control, widget);
    QObject::connect(&control, &shell::Control::changed, widget, [&control, widget] { Sync(control, widget); });
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
        QObject::connect(edit, &QLineEdit::textEdited, &control, [&control](const QString& text) { control.setText(text); });
}

void Bind(shell::Control& control, QAction* action)
{
    action->setObjectName(control.name());
    const auto sync = [&control, action] {
        action->setText(control.text());
        action->setEnabled(control.enabled());
        action->setVisible(control.visible());
    };
    sync();
    QObject::connect(&control, &shell::Control::changed, action, sync);
}

}  // namespace ui
