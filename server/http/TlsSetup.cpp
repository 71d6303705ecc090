#include "server/http/TlsSetup.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/sha.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <mutex>
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

struct TicketKey {
    unsigned char name[16];
    unsigned char aes[32];
    unsigned char hmac[32];
};

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(c | 0x20);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// One line of the key file; the key's name is derived from it, so every node
// names a key alike without a name in the file.
TicketKey ParseTicketKey(const std::string& line, const std::string& where)
{
    unsigned char raw[64];
    if (line.size() != 2 * sizeof raw)
        Fail(where + ": a key is 128 hex digits");
    for (std::size_t i = 0; i < sizeof raw; ++i) {
        const int high = HexDigit(line[2 * i]);
        const int low = HexDigit(line[2 * i + 1]);
        if (high < 0 || low < 0)
            Fail(where + ": a key is 128 hex digits");
        raw[i] = static_cast<unsigned char>(high << 4 | low);
    }
    TicketKey key;
    std::memcpy(key.aes, raw, 32);
    std::memcpy(key.hmac, raw + 32, 32);
    unsigned char digest[32];
    SHA256(raw, sizeof raw, digest);
    std::memcpy(key.name, digest, sizeof key.name);
    OPENSSL_cleanse(raw, sizeof raw);
    return key;
}

std::vector<TicketKey> ReadTicketKeys(const std::string& path)
{
    constexpr std::size_t kMostKeys = 16;
    std::ifstream file(path);
    if (!file)
        Fail("cannot read the ticket key file " + path);
    std::vector<TicketKey> keys;
    std::string line;
    for (int number = 1; std::getline(file, line); ++number) {
        line.erase(line.find_last_not_of(" \t\r") + 1);
        if (line.empty() || line[0] == '#')
            continue;
        if (keys.size() == kMostKeys)
            Fail(path + ": more than 16 keys");
        keys.push_back(ParseTicketKey(line, path + ":" + std::to_string(number)));
    }
    if (keys.empty())
        Fail(path + ": no key");
    return keys;
}

// The keys of one context, read again when the file changed. A file that
// turns bad later keeps the keys read before: tickets go on working.
class TicketKeys {
public:
    explicit TicketKeys(std::string path) : path_(std::move(path)), keys_(ReadTicketKeys(path_)), stamp_(Stamp()) {}

    // Sealing: the first key. Opening: the key named, and whether it is the first.
    bool Find(const unsigned char* name, bool sealing, TicketKey* key, bool* current)
    {
        const std::lock_guard<std::mutex> hold(mutex_);
        RefreshIfDue();
        for (std::size_t i = 0; i < keys_.size(); ++i) {
            if (sealing || std::memcmp(keys_[i].name, name, sizeof keys_[i].name) == 0) {
                *key = keys_[i];
                *current = i == 0;
                return true;
            }
        }
        return false;
    }

private:
    std::string Stamp() const
    {
        struct stat info {};
        if (stat(path_.c_str(), &info) != 0)
            return {};
        return std::to_string(info.st_mtim.tv_sec) + "." + std::to_string(info.st_mtim.tv_nsec) + "/"
            + std::to_string(info.st_size) + "/" + std::to_string(info.st_ino);
    }
    void RefreshIfDue()
    {
        const auto now = std::chrono::steady_clock::now();
        if (now - checked_ < std::chrono::minutes(1))
            return;
        checked_ = now;
        const std::string stamp = Stamp();
        if (stamp.empty() || stamp == stamp_)
            return;
        try {
            keys_ = ReadTicketKeys(path_);
            stamp_ = stamp;
        } catch (const std::exception&) {
        }
    }

    std::string path_;
    std::mutex mutex_;
    std::vector<TicketKey> keys_;
    std::string stamp_;
    std::chrono::steady_clock::time_point checked_ = std::chrono::steady_clock::now();
};

int TicketKeysIndex()
{
    static const int index = SSL_CTX_get_ex_new_index(
        0, nullptr, nullptr, nullptr, [](void*, void* keys, CRYPTO_EX_DATA*, int, long, void*) {
            delete static_cast<TicketKeys*>(keys);
        });
    return index;
}

// Returns 1 to use the key, 2 when an earlier key opened the ticket (a new
// one is then sealed with the first), 0 for a key not held (a full handshake).
int OnTicketKey(SSL* ssl, unsigned char* name, unsigned char* iv, EVP_CIPHER_CTX* cipher, EVP_MAC_CTX* mac,
                int sealing)
{
    auto* keys = static_cast<TicketKeys*>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), TicketKeysIndex()));
    TicketKey key;
    bool current = false;
    if (!keys || !keys->Find(name, sealing != 0, &key, &current))
        return 0;
    char digest[] = "SHA256";
    const OSSL_PARAM params[] = {OSSL_PARAM_construct_octet_string(OSSL_MAC_PARAM_KEY, key.hmac, sizeof key.hmac),
                                 OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                                 OSSL_PARAM_construct_end()};
    int ok = EVP_MAC_CTX_set_params(mac, params);
    if (sealing) {
        std::memcpy(name, key.name, sizeof key.name);
        ok = ok && RAND_bytes(iv, 16) == 1 && EVP_EncryptInit_ex(cipher, EVP_aes_256_cbc(), nullptr, key.aes, iv);
    } else {
        ok = ok && EVP_DecryptInit_ex(cipher, EVP_aes_256_cbc(), nullptr, key.aes, iv);
    }
    OPENSSL_cleanse(&key, sizeof key);
    if (!ok)
        return -1;
    return sealing || current ? 1 : 2;
}

void UseTicketKeyFile(SSL_CTX* ctx, const std::string& path)
{
    auto keys = std::make_unique<TicketKeys>(path);
    if (SSL_CTX_set_ex_data(ctx, TicketKeysIndex(), keys.get()) != 1)
        Fail("cannot keep the ticket keys");
    keys.release();
    SSL_CTX_set_tlsext_ticket_key_evp_cb(ctx, OnTicketKey);
}

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

void ConfigureServerTls(boost::asio::ssl::context& context, const CertificateFiles& files,
                        const std::string& ticketKeyFile)
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
    // One ticket is enough: the program keeps its connection and resumes
    // with the latest ticket when it has to open another.
    SSL_CTX_set_num_tickets(ctx, 1);
    if (!ticketKeyFile.empty())
        UseTicketKeyFile(ctx, ticketKeyFile);
    // A connection between requests holds no record buffers (about 34 KiB).
    SSL_CTX_set_mode(ctx, SSL_MODE_RELEASE_BUFFERS);
    context.use_certificate_chain_file(files.cert);
    context.use_private_key_file(files.key, boost::asio::ssl::context::pem);
}

std::string HandshakeCounts(boost::asio::ssl::context& context)
{
    SSL_CTX* ctx = context.native_handle();
    return std::to_string(SSL_CTX_sess_accept_good(ctx)) + " handshakes, " + std::to_string(SSL_CTX_sess_hits(ctx))
        + " resumed";
}

}  // namespace http
