#pragma once

#include "DriverCommands.h"

#include <QLocalServer>

class QLocalSocket;

namespace driver {

// The driver's socket: a local server that reads command lines and writes
// one answer line for each. It lives on the program's event loop, so modal
// windows' nested loops keep it answering.
class DriverServer : public QObject {
    Q_OBJECT
public:
    DriverServer(const QString& socketPath, QObject* parent);

    bool listening() const { return server_.isListening(); }
    QString errorString() const { return server_.errorString(); }
    void SetMainWindow(QWidget* window) { context_.mainWindow = window; }

private:
    void Accept();
    void ReadLines(QLocalSocket* client);

    QLocalServer server_;
    DriverContext context_;
};

}  // namespace driver
