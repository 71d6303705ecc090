#include "DriverServer.h"

#include <QLocalSocket>

namespace driver {
namespace {

constexpr qsizetype kMaxLine = 64 * 1024;

}  // namespace

DriverServer::DriverServer(const QString& socketPath, QObject* parent) : QObject(parent)
{
    QLocalServer::removeServer(socketPath);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, &DriverServer::Accept);
    server_.listen(socketPath);
}

void DriverServer::Accept()
{
    while (QLocalSocket* client = server_.nextPendingConnection()) {
        connect(client, &QLocalSocket::readyRead, this, [this, client] { ReadLines(client); });
        connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
    }
}

void DriverServer::ReadLines(QLocalSocket* client)
{
    while (client->canReadLine()) {
        const QString line = QString::fromUtf8(client->readLine(kMaxLine)).trimmed();
        if (line.isEmpty())
            continue;
        client->write(RunCommand(line, context_).toUtf8() + '\n');
        client->flush();
    }
    if (client->bytesAvailable() > kMaxLine) {
        client->write("err line too long\n");
        client->disconnectFromServer();
    }
}

}  // namespace driver
