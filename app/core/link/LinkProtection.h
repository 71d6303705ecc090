#pragma once

#include "core/link/LinkTls.h"
#include "core/link/PendingLinks.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>

class QTcpSocket;

namespace session { struct SessionRecord; }
namespace shell { class frmMain; }

namespace screenlink {

class LinkReceiver;

// What the Hello's key field carries: `stream_key` on a version-1 link; on
// version 2 a value derived from it, so the secret never travels at all.
QString HelloKey(const session::SessionRecord& s);
// A Hello line judged against this session's id and Hello key.
HelloVerdict CheckSessionHello(QByteArrayView line, const session::SessionRecord& s);

// The log and status line that says how the screen link just validated is protected.
void AnunciarProtecao(shell::frmMain& window);

// What stands between one link socket and the receiver. On a version-1 link,
// nothing: bytes pass exactly as they are. On version 2, TLS, begun when the
// route reaches the peer (at once on the direct route, once the relay paired
// the sides); until then only relay replies are read, a line at a time, and
// the bytes behind the pairing line are already TLS. A child of its socket,
// so it lives as long as the socket does. User-interface thread only.
class LinkProtection final : public QObject {
public:
    LinkProtection(shell::frmMain& window, QTcpSocket& socket);

    // The route reached the peer: a version-1 technician sends its Hello; a
    // version-2 link starts TLS. False: Error().
    bool Begin();
    // Bytes read from the socket, to the receiver. False: the link failed
    // (Error() says why) or the peer ended TLS (Error() empty).
    bool Receive(const QByteArray& bytes, LinkReceiver& receiver);
    bool Send(QByteArrayView message);
    // A newcomer's TLS, handshake done, carries on as this link's.
    void TakeOver(std::unique_ptr<LinkTls> tls);
    // Plaintext not yet encrypted (held until the TLS handshake is done).
    qint64 Held() const { return tls_ ? tls_->Held() : 0; }
    QString Error() const { return tls_ ? tls_->Error() : error_; }

private:
    bool Current() const;
    bool ReceiveRelayLines(const QByteArray& bytes, LinkReceiver& receiver);
    bool ReceiveTls(QByteArrayView bytes, LinkReceiver& receiver);

    shell::frmMain& w_;
    QTcpSocket& socket_;
    const bool versao2_;
    std::unique_ptr<LinkTls> tls_;
    QByteArray lines_;  // a version-2 relay reply not yet whole
    QString error_;
};

// A version-2 newcomer's bytes on the supported side, while it waits to be
// judged: TLS as the server, its handshake replies kept for the socket.
class TlsPipe final : public BytePipe {
public:
    explicit TlsPipe(const session::SessionRecord& s);

    bool FromWire(QByteArrayView wire, QByteArray& plain, QString& error) override;
    QByteArray TakeOutgoing() override { return std::exchange(outgoing_, {}); }
    std::unique_ptr<LinkTls> ReleaseTls() override { return std::move(tls_); }

private:
    QByteArray outgoing_;
    std::unique_ptr<LinkTls> tls_;
};

}  // namespace screenlink
