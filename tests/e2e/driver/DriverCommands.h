#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

namespace driver {

struct DriverContext {
    QPointer<QWidget> mainWindow;  // set once the program has shown it
};

// Runs one command line and answers it in one line: "ok" with the command's
// fields, or "err" with the reason. Actions a user takes (clicks, keys, menu
// items) run from the event loop just after the answer, because they may open
// a modal window whose nested loop must keep the driver answering.
QString RunCommand(const QString& line, const DriverContext& context);

}  // namespace driver
