#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>
#include <string>

typedef struct ssl_st SSL;

namespace screenlink {

// The TLS 1.3 layer of a version-2 screen link, on memory buffers so it never
// touches a socket: ciphertext read from the link goes in and plaintext comes
// out; plaintext messages go in and ciphertext waits in Outgoing() for the
// caller to hand to the socket. TLS_AES_128_GCM_SHA256 only, authenticated by
// the session's pre-shared key with an (EC)DHE exchange (no certificates, no
// tickets, no key exchange without DHE). Records are read straight from the
// caller's buffer and handed straight to the output, so no whole frame is
// copied on the way. One per connection; any thread, one at a time.
class LinkTls {
public:
    // The supported side is the server, the technician the client.
    enum class Side { Server, Client };

    // Where ciphertext goes, in order, as soon as it is made.
    using Output = std::function<void(QByteArrayView)>;

    LinkTls(Side side, std::string psk, Output output);
    ~LinkTls();
    LinkTls(const LinkTls&) = delete;
    LinkTls& operator=(const LinkTls&) = delete;

    // The client's first handshake flight goes to the output. False: Error().
    bool Start();
    // Ciphertext from the peer; the plaintext it carried is appended to
    // `plain`. False: the link cannot go on (Error() says why, in a line fit
    // for the log), or the peer closed it (Error() empty).
    bool Receive(QByteArrayView cipher, QByteArray* plain);
    // One whole plaintext message, held until the handshake is done.
    bool Send(QByteArrayView plain);

    // Ciphertext goes to `output` from now on (a connection changing hands).
    void SetOutput(Output output) { output_ = std::move(output); }

    bool Ready() const { return ready_; }
    // Plaintext held until the handshake is done.
    qsizetype Held() const { return held_.size(); }
    const QString& Error() const { return error_; }

private:
    friend struct LinkTlsBio;

    bool Handshake();
    bool Read(QByteArray* plain);
    bool Fail(const char* what, int result);

    std::string psk_;
    Output output_;
    QByteArrayView input_;  // ciphertext not yet read by TLS, during Receive()
    SSL* ssl_ = nullptr;
    QByteArray held_;
    QString error_;
    bool ready_ = false;
};

}  // namespace screenlink
