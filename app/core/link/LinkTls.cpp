#include "core/link/LinkTls.h"

#include "core/link/LinkKeys.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace screenlink {

namespace {

constexpr unsigned char kCipher[] = {0x13, 0x01};  // TLS_AES_128_GCM_SHA256
constexpr const char* kCipherName = "TLS_AES_128_GCM_SHA256";

const std::string& PskOf(SSL* ssl) { return *static_cast<const std::string*>(SSL_get_app_data(ssl)); }

// The external pre-shared key as OpenSSL takes it: a session of the one cipher.
SSL_SESSION* PskSession(SSL* ssl)
{
    const std::string& psk = PskOf(ssl);
    const SSL_CIPHER* cipher = SSL_CIPHER_find(ssl, kCipher);
    SSL_SESSION* session = SSL_SESSION_new();
    if (!cipher || !session
        || !SSL_SESSION_set1_master_key(session, reinterpret_cast<const unsigned char*>(psk.data()), psk.size())
        || !SSL_SESSION_set_cipher(session, cipher) || !SSL_SESSION_set_protocol_version(session, TLS1_3_VERSION)) {
        SSL_SESSION_free(session);
        return nullptr;
    }
    return session;
}

int UsePsk(SSL* ssl, const EVP_MD* md, const unsigned char** id, size_t* idLength, SSL_SESSION** session)
{
    *session = PskSession(ssl);
    if (!*session)
        return 0;
    // After a retry request the key must suit the hash already chosen.
    if (md && md != SSL_CIPHER_get_handshake_digest(SSL_SESSION_get0_cipher(*session))) {
        SSL_SESSION_free(*session);
        *session = nullptr;
        return 1;
    }
    *id = reinterpret_cast<const unsigned char*>(linkkeys::kPskIdentity.data());
    *idLength = linkkeys::kPskIdentity.size();
    return 1;
}

int FindPsk(SSL* ssl, const unsigned char* id, size_t idLength, SSL_SESSION** session)
{
    // An unknown identity finds no key, and without certificates the handshake fails.
    const std::string_view identity(reinterpret_cast<const char*>(id), idLength);
    *session = identity == linkkeys::kPskIdentity ? PskSession(ssl) : nullptr;
    return 1;
}

SSL_CTX* NewContext(LinkTls::Side side)
{
    const bool server = side == LinkTls::Side::Server;
    SSL_CTX* ctx = SSL_CTX_new(server ? TLS_server_method() : TLS_client_method());
    if (!ctx || !SSL_CTX_set_min_proto_version(ctx, TLS1_3_VERSION)
        || !SSL_CTX_set_max_proto_version(ctx, TLS1_3_VERSION) || !SSL_CTX_set_ciphersuites(ctx, kCipherName)
        || !SSL_CTX_set_num_tickets(ctx, 0)) {
        SSL_CTX_free(ctx);
        return nullptr;
    }
    SSL_CTX_set_options(ctx, SSL_OP_NO_TICKET);
    // Forward secrecy: a key exchange on the pre-shared key alone is refused.
    SSL_CTX_clear_options(ctx, SSL_OP_ALLOW_NO_DHE_KEX);
    SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_OFF);
    if (server)
        SSL_CTX_set_psk_find_session_callback(ctx, FindPsk);
    else
        SSL_CTX_set_psk_use_session_callback(ctx, UsePsk);
    return ctx;
}

SSL_CTX* Context(LinkTls::Side side)
{
    using Owned = std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)>;
    static const Owned server(NewContext(LinkTls::Side::Server), SSL_CTX_free);
    static const Owned client(NewContext(LinkTls::Side::Client), SSL_CTX_free);
    return side == LinkTls::Side::Server ? server.get() : client.get();
}

QString LastSslError()
{
    char text[256] = "";
    if (const unsigned long code = ERR_get_error())
        ERR_error_string_n(code, text, sizeof text);
    ERR_clear_error();
    return QString::fromLatin1(text);
}

}  // namespace

// The BIO between TLS and the caller's buffers: reads from `input_`, writes to `output_`.
struct LinkTlsBio {
    static LinkTls& Of(BIO* bio) { return *static_cast<LinkTls*>(BIO_get_data(bio)); }

    static int Read(BIO* bio, char* out, size_t length, size_t* done)
    {
        BIO_clear_retry_flags(bio);
        QByteArrayView& input = Of(bio).input_;
        *done = std::min(length, static_cast<size_t>(input.size()));
        if (*done == 0) {
            BIO_set_retry_read(bio);
            return 0;
        }
        std::memcpy(out, input.data(), *done);
        input = input.sliced(static_cast<qsizetype>(*done));
        return 1;
    }

    static int Write(BIO* bio, const char* bytes, size_t length, size_t* done)
    {
        BIO_clear_retry_flags(bio);
        Of(bio).output_(QByteArrayView(bytes, static_cast<qsizetype>(length)));
        *done = length;
        return 1;
    }

    // TLS flushes after each flight; nothing else is asked of this BIO.
    static long Control(BIO*, int command, long, void*) { return command == BIO_CTRL_FLUSH ? 1 : 0; }

    static int Create(BIO* bio)
    {
        BIO_set_init(bio, 1);
        return 1;
    }

    static const BIO_METHOD* Method()
    {
        static const std::unique_ptr<BIO_METHOD, decltype(&BIO_meth_free)> method(
            [] {
                BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "marquelin link");
                if (m && (!BIO_meth_set_read_ex(m, Read) || !BIO_meth_set_write_ex(m, Write)
                          || !BIO_meth_set_ctrl(m, Control) || !BIO_meth_set_create(m, Create))) {
                    BIO_meth_free(m);
                    m = nullptr;
                }
                return m;
            }(),
            BIO_meth_free);
        return method.get();
    }
};

LinkTls::LinkTls(Side side, std::string psk, Output output) : psk_(std::move(psk)), output_(std::move(output))
{
    SSL_CTX* ctx = Context(side);
    const BIO_METHOD* method = LinkTlsBio::Method();
    BIO* bio = method ? BIO_new(method) : nullptr;
    ssl_ = ctx && bio ? SSL_new(ctx) : nullptr;
    if (!ssl_) {
        BIO_free(bio);
        error_ = "TLS indisponivel: " + LastSslError();
        return;
    }
    BIO_set_data(bio, this);
    SSL_set_bio(ssl_, bio, bio);  // takes a reference for each direction
    SSL_set_app_data(ssl_, &psk_);
    if (side == Side::Server)
        SSL_set_accept_state(ssl_);
    else
        SSL_set_connect_state(ssl_);
}

LinkTls::~LinkTls() { SSL_free(ssl_); }

bool LinkTls::Start() { return ssl_ && Handshake(); }

bool LinkTls::Receive(QByteArrayView cipher, QByteArray* plain)
{
    if (!ssl_)
        return false;
    input_ = cipher;
    const bool ok = (ready_ || Handshake()) && Read(plain);
    input_ = {};
    return ok;
}

bool LinkTls::Read(QByteArray* plain)
{
    // Plaintext is never longer than the ciphertext that carried it.
    plain->reserve(plain->size() + input_.size());
    while (ready_) {
        const qsizetype at = plain->size();
        plain->resize(std::max(plain->capacity(), at + 16 * 1024));
        size_t read = 0;
        ERR_clear_error();
        const int result = SSL_read_ex(ssl_, plain->data() + at, static_cast<size_t>(plain->size() - at), &read);
        plain->resize(at + static_cast<qsizetype>(read));
        if (result == 1)
            continue;
        const int reason = SSL_get_error(ssl_, result);
        if (reason == SSL_ERROR_WANT_READ)
            return true;
        if (reason != SSL_ERROR_ZERO_RETURN)
            return Fail("leitura", result);
        error_.clear();  // the peer closed the link
        return false;
    }
    return true;
}

bool LinkTls::Send(QByteArrayView plain)
{
    if (!ready_) {
        held_ += plain;
        return true;
    }
    size_t written = 0;
    ERR_clear_error();
    const int result = plain.isEmpty() ? 1 : SSL_write_ex(ssl_, plain.data(), static_cast<size_t>(plain.size()), &written);
    return result == 1 || Fail("envio", result);
}

bool LinkTls::Handshake()
{
    ERR_clear_error();
    const int result = SSL_do_handshake(ssl_);
    if (result != 1)
        return SSL_get_error(ssl_, result) == SSL_ERROR_WANT_READ || Fail("negociacao", result);
    ready_ = true;
    QByteArray held;
    held.swap(held_);
    return Send(held);
}

bool LinkTls::Fail(const char* what, int result)
{
    const int reason = SSL_get_error(ssl_, result);
    const QString detail = LastSslError();
    error_ = QStringLiteral("protecao TLS falhou na %1 (%2)")
                 .arg(QLatin1StringView(what), detail.isEmpty() ? QString::number(reason) : detail);
    return false;
}

}  // namespace screenlink
