#pragma once

#include <QTcpSocket>

namespace testing_support {

// A TCP port where nothing listens, held for the life of the object: a
// socket bound to it on every address that never listens, so connections
// are refused and no other program can take the port meanwhile.
class ClosedPort {
public:
    ClosedPort() { socket_.bind(QHostAddress::AnyIPv4, 0); }
    quint16 port() const { return socket_.localPort(); }

private:
    QTcpSocket socket_;
};

}  // namespace testing_support
