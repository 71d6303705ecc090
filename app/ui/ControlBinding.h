#pragma once

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

}  // namespace ui
