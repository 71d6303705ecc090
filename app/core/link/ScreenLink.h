#pragma once

#include "core/link/PendingLinks.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <memory>

namespace shell { class frmMain; }

namespace screenlink {

class LinkProtection;
class LinkReceiver;

// The two sockets of the screen link and their events: `wskListen`, the
// supported side's listening socket on the direct route, and `wskRemote`,
// the one link socket (accepted, outgoing, or to the relay). Accepted
// connections wait apart until their Hello is valid and only then replace
// the link in hand. A version-2 link runs inside TLS (LinkProtection, one
// per link socket). Closing a socket here never raises an event afterwards,
// so a deliberate close is never mistaken for a lost link. User-interface
// thread only.
class ScreenLink : public QObject, private NewcomerJudge {
    Q_OBJECT
public:
    explicit ScreenLink(shell::frmMain& window);
    ~ScreenLink() override;

    // Socket facts the session logic asks about.
    bool RemoteIsClosed() const;
    bool RemoteIsConnected() const;
    bool RemoteIsConnectedOrConnecting() const;
    bool ListenIsClosed() const { return !wskListen_.isListening(); }
    int PendingCount() const { return pending_.Count(); }
    QString ListenLocalAddress() const;
    QTcpSocket* Remote() const { return wskRemote_.get(); }
    // Bytes handed to the link that have not yet gone to the system (on a
    // version-2 link, ciphertext plus plaintext held until TLS is ready).
    qint64 QueuedBytes() const;

    void CloseRemote();
    void CloseListen();
    void ConnectTo(const QString& host, int port);
    // Hands one whole message to the link in a single write.
    void Send(const QByteArray& message);
    // A command line (`CMD:...`, LF at the end): as it is on a text link, as
    // a Command message once the link carries updates.
    void SendCommand(const QByteArray& line);
    // The link cannot go on (a broken stream): logged, closed and handled as
    // the peer closing it.
    void Abandonar(const QString& reason);
    // The route reached the peer (connected, or paired by the relay): the
    // technician's Hello, or TLS on a version-2 link.
    void BeginLink();
    void ClearBuffer();

    // The supported side starts listening on the port of `txtTelaPorta` (0:
    // any free port, written back to the box); returns the failure's
    // description, "" on success.
    QString IniciarEscuta();
    // The technician connects to `txtTelaIp` at the port of `txtTelaPorta`.
    void Conectar();

    LinkReceiver& receiver() { return *receiver_; }
    // `TratarRespostaRelay` and `ValidarHello` live with the receiver.

private:
    void Adopt(QTcpSocket* socket);
    void OnLinkUp();
    // The system's send buffer sized to the path the link has measured.
    void FitToPath();
    void OnConnectionRequest();
    void OnConnected();
    void OnData();
    void OnBytesWritten();
    void OnClosed();
    void OnError(QAbstractSocket::SocketError error);

    HelloVerdict JudgeHello(const QByteArray& line) override;
    std::unique_ptr<BytePipe> MakePipe() override;
    void Promote(ProvenLink link) override;
    void Log(const QString& text) override;

    shell::frmMain& w_;
    QTcpServer wskListen_;
    std::unique_ptr<QTcpSocket> wskRemote_;
    LinkProtection* protection_ = nullptr;  // a child of wskRemote_
    std::unique_ptr<LinkReceiver> receiver_;
    PendingLinks pending_{static_cast<NewcomerJudge&>(*this)};
};

}  // namespace screenlink
