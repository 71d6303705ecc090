#pragma once

#include <QTcpServer>
#include <QTcpSocket>

namespace testing_support {

// A sniffer on the path: forwards each loopback connection it accepts to
// `target` and records every byte that passes, both ways.
class TcpForwarder {
public:
    explicit TcpForwarder(quint16 target) : target_(target)
    {
        server_.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server_, &QTcpServer::newConnection, [this] { Accept(); });
    }
    quint16 Port() const { return server_.serverPort(); }

    QByteArray recorded;    // both ways, interleaved
    QByteArray fromClient;  // what the connecting side sent

private:
    void Accept()
    {
        while (QTcpSocket* in = server_.nextPendingConnection()) {
            auto* out = new QTcpSocket(in);
            Pipe(*in, *out, &fromClient);
            Pipe(*out, *in, nullptr);
            out->connectToHost(QHostAddress::LocalHost, target_);
        }
    }
    void Pipe(QTcpSocket& from, QTcpSocket& to, QByteArray* direction)
    {
        QObject::connect(&from, &QTcpSocket::readyRead, [this, &from, &to, direction] {
            const QByteArray bytes = from.readAll();
            recorded += bytes;
            if (direction)
                *direction += bytes;
            to.write(bytes);
        });
        QObject::connect(&from, &QTcpSocket::disconnected, &to, &QTcpSocket::disconnectFromHost);
    }

    quint16 target_;
    QTcpServer server_;
};

}  // namespace testing_support
