#pragma once

#include <QLabel>
#include <QPushButton>
#include <QWidget>

class QAction;

namespace shell { class Control; }

namespace ui {

// Mirrors a model control on a widget: object name, text (caption, label or
// box), enabled, visible and the looks the model sets. Text boxes also write
// the user's typing back to the model, so the model always holds what the
// user sees.
void Bind(shell::Control& control, QWidget* widget);
void Bind(shell::Control& control, QAction* action);

// A new widget owned by `parent`, bound to `control`.
template <typename Widget>
Widget* Make(shell::Control& control, QWidget* parent)
{
    auto* widget = new Widget(parent);
    Bind(control, widget);
    return widget;
}

// A bound button that runs `onClick`. Enter in a dialog's box never presses it.
template <typename Handler>
QPushButton* Button(shell::Control& control, QWidget* parent, Handler onClick)
{
    auto* button = Make<QPushButton>(control, parent);
    button->setAutoDefault(false);
    QObject::connect(button, &QPushButton::clicked, parent, onClick);
    return button;
}

// `field`, named by `label`: screen readers announce the field by the label's
// caption (its buddy) rather than by the frame around it.
template <typename Field>
Field* Labelled(QLabel* label, Field* field)
{
    label->setBuddy(field);
    return field;
}

}  // namespace ui
