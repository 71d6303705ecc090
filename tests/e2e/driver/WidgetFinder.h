#pragma once

#include <QString>

class QAction;
class QWidget;

namespace driver {

// Finds a widget by object name, as "name" or "window/name" (window: the
// object name of a top-level window, e.g. "frmCadastro/txtEmail"). A name
// that several widgets carry counts only its visible ones; when that still
// leaves more than one, the caller must name the window.
QWidget* FindWidget(const QString& path, QString* error);

// A menu item (or any action) by object name.
QAction* FindAction(const QString& name, QString* error);

// What a user reads on the widget: a box's or label's text, a button's
// caption, a frame's title, a message box's text, else a window's title.
QString WidgetText(const QWidget* widget);

}  // namespace driver
