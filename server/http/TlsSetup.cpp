#include "server/http/TlsSetup.h"

#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace http {
namespace {

template <typename T, void (*Free)(T*)>
struct Deleter {
    void operator()(T* p) const { Free(p); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using CertPtr = std::unique_ptr<X509, Deleter<X509, X509_free>>;

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error("tls: " + what); }

bool IsIp(const std::string& host)
{
    unsigned char buffer[16];
    return inet_pton(AF_INET, host.c_str(), buffer) == 1 || inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

std::string AltNames(const std::vector<std::string>& hosts)
{
    std::vector<std::string> all = hosts;
    for (const char* fixed : {"localhost", "127.0.0.1", "::1"})
        all.emplace_back(fixed);
    std::string names;
    std::vector<std::string> seen;
    for (const std::string& host : all) {
        if (host.empty() || std::find(seen.begin(), seen.end(), host) != seen.end())
            continue;
        seen.push_back(host);
        if (!names.empty())
            names += ',';
        names += IsIp(host) ? "IP:" : "DNS:";
        names += host;
    }
    return names;
}

void AddExtension(X509* cert, int nid, const std::string& value)
{
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str());
    if (!ext || X509_add_ext(cert, ext, -1) != 1)
        Fail("cannot add certificate extension " + value);
    X509_EXTENSION_free(ext);
}

CertPtr MakeCertificate(EVP_PKEY* key, const std::vector<std::string>& hosts)
{
    CertPtr cert(X509_new());
    if (!cert)
        Fail("out of memory");
    X509_set_version(cert.get(), 2);
    unsigned char serial[16];
    RAND_bytes(serial, sizeof serial);
    serial[0] &= 0x7F;
    BIGNUM* bn = BN_bin2bn(serial, sizeof serial, nullptr);
    BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(cert.get()));
    BN_free(bn);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 3650L * 24 * 3600);
    X509_set_pubkey(cert.get(), key);
    X509_NAME* name = X509_get_subject_name(cert.get());
    const std::string common = hosts.empty() ? "localhost" : hosts.front();
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>("Marquelin"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(common.c_str()), -1,
                               -1, 0);
    X509_set_issuer_name(cert.get(), name);
    // Its own authority, so clients can trust it by naming this one file.
    AddExtension(cert.get(), NID_basic_constraints, "critical,CA:TRUE");
    AddExtension(cert.get(), NID_subject_key_identifier, "hash");
    AddExtension(cert.get(), NID_subject_alt_name, AltNames(hosts));
    if (X509_sign(cert.get(), key, EVP_sha256()) == 0)
        Fail("cannot sign the certificate");
    return cert;
}

// Writes through a temporary file and a rename, so a crash never leaves half a file.
template <typename WriteFn>
void WriteFileAtomically(const std::string& path, mode_t mode, WriteFn write)
{
    const std::string temporary = path + ".tmp";
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, mode);
    if (fd < 0)
        Fail("cannot write " + temporary);
    FILE* file = fdopen(fd, "w");
    const bool ok = file && write(file) && fflush(file) == 0 && fsync(fd) == 0;
    file ? fclose(file) : close(fd);
    if (!ok || std::rename(temporary.c_str(), path.c_str()) != 0) {
        unlink(temporary.c_str());
        Fail("cannot write " + path);
    }
}

bool Exists(const std::string& path) { return access(path.c_str(), R_OK) == 0; }

}  // namespace

CertificateFiles EnsureSelfSignedCertificate(const std::string& dataDir, const std::vector<std::string>& hosts)
{
    CertificateFiles files{dataDir + "/tls-cert.pem", dataDir + "/tls-key.pem"};
    if (Exists(files.cert) && Exists(files.key))
        return files;
    KeyPtr key(EVP_EC_gen("P-256"));
    if (!key)
        Fail("cannot make a key");
    CertPtr cert = MakeCertificate(key.get(), hosts);
    WriteFileAtomically(files.key, 0600, [&](FILE* f) {
        return PEM_write_PrivateKey(f, key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1;
    });
    WriteFileAtomically(files.cert, 0644, [&](FILE* f) { return PEM_write_X509(f, cert.get()) == 1; });
    return files;
}

void ConfigureServerTls(boost::asio::ssl::context& context, const CertificateFiles& files)
{
    SSL_CTX* ctx = context.native_handle();
    if (SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION) != 1)
        Fail("cannot require TLS 1.2");
    context.set_options(boost::asio::ssl::context::default_workarounds | boost::asio::ssl::context::no_compression
                        | boost::asio::ssl::context::single_dh_use);
    SSL_CTX_set_options(ctx, SSL_OP_CIPHER_SERVER_PREFERENCE | SSL_OP_NO_RENEGOTIATION);
    SSL_CTX_set_cipher_list(ctx, "ECDHE+AESGCM:ECDHE+CHACHA20:!aNULL:!eNULL:!MD5:!RC4:!3DES");
    static const unsigned char sessionContext[] = "marquelin-server";
    SSL_CTX_set_session_id_context(ctx, sessionContext, sizeof sessionContext - 1);
    SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_SERVER);
    // The program opens a new connection with a fresh transfer for every
    // request and never resumes a session, so the two TLS 1.3 tickets sent
    // by default would be work thrown away on every handshake.
    SSL_CTX_set_num_tickets(ctx, 0);
    // A connection between requests holds no record buffers (about 34 KiB).
    SSL_CTX_set_mode(ctx, SSL_MODE_RELEASE_BUFFERS);
    context.use_certificate_chain_file(files.cert);
    context.use_private_key_file(files.key, boost::asio::ssl::context::pem);
}

}  // namespace http
