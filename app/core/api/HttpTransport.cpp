#include "core/api/HttpTransport.h"

#include "core/api/Deployment.h"

#include <QHostAddress>
#include <QUrl>
#include <curl/curl.h>
#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>

namespace api {
namespace {

using Clock = std::chrono::steady_clock;

void InitCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// Kept-alive connections and TLS sessions outlive each request's handle, so
// a status poll every 2 s neither connects nor handshakes in full. Each
// request still has a handle of its own: a request started from the events
// pumped before another one's transfer takes a second connection.
class ProcessShare {
public:
    ProcessShare() : share_(curl_share_init())
    {
        curl_share_setopt(share_, CURLSHOPT_LOCKFUNC, Lock);
        curl_share_setopt(share_, CURLSHOPT_UNLOCKFUNC, Unlock);
        curl_share_setopt(share_, CURLSHOPT_USERDATA, this);
        curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
        curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    }
    ~ProcessShare() { curl_share_cleanup(share_); }
    CURLSH* Handle() const { return share_; }

private:
    static void Lock(CURL*, curl_lock_data data, curl_lock_access, void* self)
    {
        static_cast<ProcessShare*>(self)->locks_[data].lock();
    }
    static void Unlock(CURL*, curl_lock_data data, void* self)
    {
        static_cast<ProcessShare*>(self)->locks_[data].unlock();
    }

    CURLSH* share_;
    std::mutex locks_[CURL_LOCK_DATA_LAST];
};

// Below the server's keep-alive idle time (15 s by default), so the server
// does not close a connection just as a request goes out on it.
constexpr long kMaxIdleConnectionSeconds = 10;

void UseProcessShare(CURL* curl)
{
    static ProcessShare share;
    curl_easy_setopt(curl, CURLOPT_SHARE, share.Handle());
    curl_easy_setopt(curl, CURLOPT_MAXAGE_CONN, kMaxIdleConnectionSeconds);
}

// A body handed to libcurl piece by piece. libcurl sends a request again on
// a fresh connection when a kept-alive one died before any byte of the
// reply; it rewinds only a body that went out, which the server may have
// acted on, so the rewind is refused and the request fails instead.
struct BodySource {
    const QByteArray* body = nullptr;
    qsizetype offset = 0;
};

size_t OnReadBody(char* buffer, size_t size, size_t count, void* data)
{
    auto* source = static_cast<BodySource*>(data);
    const size_t n = std::min(size * count, static_cast<size_t>(source->body->size() - source->offset));
    std::memcpy(buffer, source->body->constData() + source->offset, n);
    source->offset += static_cast<qsizetype>(n);
    return n;
}

int OnSeekBody(void* data, curl_off_t offset, int origin)
{
    const auto* source = static_cast<BodySource*>(data);
    return offset == 0 && origin == SEEK_SET && source->offset == 0 ? CURL_SEEKFUNC_OK : CURL_SEEKFUNC_FAIL;
}

// Enforces the send and receive time-outs as the longest pause without
// progress once the connection (and its TLS handshake) is up; libcurl only
// offers a total limit and a coarse low-speed rule.
struct IdleWatch {
    CURL* curl = nullptr;
    TransportTimeouts timeouts{};
    Clock::time_point lastProgress = Clock::now();
    curl_off_t sent = -1;
    curl_off_t received = -1;
    const char* expired = nullptr;  // "sending" or "receiving" once a limit passed
};

int OnProgress(void* data, curl_off_t, curl_off_t received, curl_off_t toSend, curl_off_t sent)
{
    auto* watch = static_cast<IdleWatch*>(data);
    curl_off_t transferStarted = 0;
    curl_easy_getinfo(watch->curl, CURLINFO_PRETRANSFER_TIME_T, &transferStarted);
    const auto now = Clock::now();
    if (transferStarted == 0 || sent != watch->sent || received != watch->received) {
        watch->sent = sent;
        watch->received = received;
        watch->lastProgress = now;
        return 0;
    }
    const bool sending = sent < toSend;
    const int limitMs = sending ? watch->timeouts.sendMs : watch->timeouts.receiveMs;
    if (now - watch->lastProgress > std::chrono::milliseconds(limitMs)) {
        watch->expired = sending ? "sending" : "receiving";
        return 1;
    }
    return 0;
}

size_t OnBody(char* data, size_t size, size_t count, void* target)
{
    static_cast<QByteArray*>(target)->append(data, static_cast<qsizetype>(size * count));
    return size * count;
}

void ConfigureTls(CURL* curl)
{
    curl_easy_setopt(curl, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
    const QByteArray extraCa = ExtraCaFile().toLocal8Bit();
    if (!extraCa.isEmpty()) {
        // The extra certificate is added to, not substituted for, the system's
        // trusted authorities: OpenSSL reads both the file and the folder.
        curl_easy_setopt(curl, CURLOPT_CAINFO, extraCa.constData());
        curl_easy_setopt(curl, CURLOPT_CAPATH, "/etc/ssl/certs");
    }
}

QString Describe(CURLcode code, const char* errorBuffer, const IdleWatch& watch, const TransportTimeouts& t)
{
    if (watch.expired) {
        const int limit = watch.expired[0] == 's' ? t.sendMs : t.receiveMs;
        return QStringLiteral("Timeout while %1: no data for %2 ms")
            .arg(QLatin1String(watch.expired))
            .arg(limit);
    }
    if (code == CURLE_SEND_FAIL_REWIND)
        return QStringLiteral("The connection closed before the reply; the request is not sent twice");
    return QString::fromUtf8(errorBuffer[0] ? errorBuffer : curl_easy_strerror(code));
}

// A proxy from the environment resolves the target itself; the lookup is
// then libcurl's, within the connection's time.
bool ProxyConfigured()
{
    for (const char* name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        if (const char* value = std::getenv(name); value && *value)
            return true;
    return false;
}

// The host's addresses for libcurl's own cache ("host:port:a,b"), so its
// connection time starts after the lookup; nothing to add for an address
// literal or behind a proxy. False with `failure` when the lookup failed.
bool PreResolve(const HttpRequest& request, curl_slist** entries, QString* failure)
{
    const QUrl url(request.url);
    const QString host = url.host();
    if (host.isEmpty() || !QHostAddress(host).isNull() || ProxyConfigured())
        return true;
    const ResolvedHost found = ResolveWithin(request.lookup, host, request.timeouts.resolveMs);
    if (found.addresses.isEmpty()) {
        *failure = found.failure;
        return false;
    }
    QStringList bracketed;
    for (const QString& address : found.addresses)
        bracketed << (address.contains(':') ? '[' + address + ']' : address);
    const int port = url.port(url.scheme() == QLatin1String("https") ? 443 : 80);
    const QByteArray entry = QStringLiteral("%1:%2:%3").arg(host).arg(port).arg(bracketed.join(',')).toUtf8();
    *entries = curl_slist_append(*entries, entry.constData());
    return true;
}

}  // namespace

ResolvedHost LookUpWithSystem(const QString& host)
{
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    ResolvedHost found;
    if (const int rc = getaddrinfo(host.toUtf8().constData(), nullptr, &hints, &list); rc != 0) {
        found.failure = QStringLiteral("Could not resolve host: %1 (%2)").arg(host, QString::fromUtf8(gai_strerror(rc)));
        return found;
    }
    for (const addrinfo* a = list; a; a = a->ai_next) {
        const QString address = QHostAddress(a->ai_addr).toString();
        if (!address.isEmpty() && !found.addresses.contains(address))
            found.addresses << address;
    }
    freeaddrinfo(list);
    return found;
}

ResolvedHost ResolveWithin(const NameLookup& lookup, const QString& host, int timeoutMs)
{
    struct Pending {
        std::mutex mutex;
        std::condition_variable finished;
        bool done = false;
        ResolvedHost result;
    };
    auto pending = std::make_shared<Pending>();
    std::thread([pending, lookup, host] {
        ResolvedHost result = lookup(host);
        const std::lock_guard<std::mutex> hold(pending->mutex);
        pending->result = std::move(result);
        pending->done = true;
        pending->finished.notify_all();
    }).detach();
    std::unique_lock<std::mutex> hold(pending->mutex);
    if (!pending->finished.wait_for(hold, std::chrono::milliseconds(timeoutMs), [&] { return pending->done; }))
        return {{}, QStringLiteral("Timeout while resolving %1: no answer for %2 ms").arg(host).arg(timeoutMs)};
    if (pending->result.addresses.isEmpty() && pending->result.failure.isEmpty())
        pending->result.failure = QStringLiteral("Could not resolve host: %1").arg(host);
    return pending->result;
}

HttpOutcome PerformHttp(const HttpRequest& request)
{
    InitCurlOnce();
    HttpOutcome outcome;
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl) {
        outcome.failure = QStringLiteral("Could not create the HTTP client");
        return outcome;
    }
    CURL* c = curl.get();
    const TransportTimeouts& t = request.timeouts;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    const QByteArray url = request.url.toUtf8();
    IdleWatch watch;
    BodySource body{&request.body};
    watch.curl = c;
    watch.timeouts = t;

    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_URL, url.constData());
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(t.connectMs));
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(t.connectMs + t.sendMs + t.receiveMs));
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &watch);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &outcome.body);
    curl_easy_setopt(c, CURLOPT_USERAGENT, request.userAgent.constData());
    ConfigureTls(c);
    UseProcessShare(c);

    curl_slist* rawHeaders = nullptr;
    const QByteArray contentType = "Content-Type: " + request.contentType;
    if (!request.contentType.isEmpty())
        rawHeaders = curl_slist_append(rawHeaders, contentType.constData());
    // Only the headers we mean: no "Expect: 100-continue" pause, no Accept.
    rawHeaders = curl_slist_append(rawHeaders, "Expect:");
    rawHeaders = curl_slist_append(rawHeaders, "Accept:");
    std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headers(rawHeaders, curl_slist_free_all);
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());

    if (qstrcmp(request.method, "POST") == 0) {
        curl_easy_setopt(c, CURLOPT_POST, 1L);
        curl_easy_setopt(c, CURLOPT_READFUNCTION, OnReadBody);
        curl_easy_setopt(c, CURLOPT_READDATA, &body);
        curl_easy_setopt(c, CURLOPT_SEEKFUNCTION, OnSeekBody);
        curl_easy_setopt(c, CURLOPT_SEEKDATA, &body);
        curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
    } else {
        curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
    }

    if (request.beforeSend)
        request.beforeSend();
    // The name is looked up first, within its own limit; the connection's
    // limit then starts from the address.
    curl_slist* rawResolved = nullptr;
    const bool resolved = PreResolve(request, &rawResolved, &outcome.failure);
    std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> resolvedHosts(rawResolved, curl_slist_free_all);
    if (!resolved)
        return outcome;
    curl_easy_setopt(c, CURLOPT_RESOLVE, resolvedHosts.get());
    const CURLcode code = curl_easy_perform(c);
    if (code != CURLE_OK) {
        outcome.failure = Describe(code, errorBuffer, watch, t);
        outcome.body.clear();
        return outcome;
    }
    outcome.completed = true;
    return outcome;
}

}  // namespace api
