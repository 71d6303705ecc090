// marquelin_driven: the real program with a test driver inside. The driver
// opens its socket (MARQUELIN_DRIVER_SOCKET) as soon as the application
// object exists, before the start-up sequence, so the first-start sign-up
// window and the second-copy message can be driven too. Test tool only.
#include "DriverCommands.h"
#include "program/Program.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QLocalServer>
#include <QLocalSocket>

#include <cstdio>

namespace {

constexpr qint64 kMaxLine = 64 * 1024;

// One command per line, one answer line for each. The server lives on the
// program's event loop, so modal windows' nested loops keep it answering.
void ReadLines(QLocalSocket* client)
{
    while (client->canReadLine()) {
        const QJsonArray request = QJsonDocument::fromJson(client->readLine(kMaxLine)).array();
        client->write(QJsonDocument(driver::RunCommand(request)).toJson(QJsonDocument::Compact) + '\n');
    }
    if (client->bytesAvailable() > kMaxLine)
        client->disconnectFromServer();
}

void StartDriver()
{
    const QString path = qEnvironmentVariable("MARQUELIN_DRIVER_SOCKET");
    auto* server = new QLocalServer(QCoreApplication::instance());
    QObject::connect(server, &QLocalServer::newConnection, server, [server] {
        while (QLocalSocket* client = server->nextPendingConnection()) {
            QObject::connect(client, &QLocalSocket::readyRead, client, [client] { ReadLines(client); });
            QObject::connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        }
    });
    QLocalServer::removeServer(path);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (path.isEmpty() || !server->listen(path))
        std::fprintf(stderr, "marquelin_driven: cannot listen on \"%s\" (MARQUELIN_DRIVER_SOCKET): %s\n",
                     qPrintable(path), qPrintable(server->errorString()));
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(StartDriver)

int main(int argc, char** argv) { return program::RunProgram(argc, argv); }
