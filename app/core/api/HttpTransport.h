#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

// One blocking HTTP(S) request over libcurl. Connections the server keeps
// open and TLS sessions are reused across requests within the process. The status code is never looked at: any reply body is the
// answer, and only a request that could not be completed is a failure, with
// a human-readable description.

namespace api {

// Each phase has a limit of its own: a slow name lookup does not shorten
// the connection's time, nor the other way round.
struct TransportTimeouts {
    int resolveMs;
    int connectMs;  // the TCP connection and its TLS handshake
    int sendMs;     // the longest pause allowed while the body goes out
    int receiveMs;  // the longest pause allowed while waiting for the reply
};

inline constexpr TransportTimeouts ApiTimeouts{5000, 5000, 15000, 15000};
inline constexpr TransportTimeouts VersionTimeouts{3000, 3000, 8000, 8000};

// A host name's addresses, or why there are none.
struct ResolvedHost {
    QStringList addresses;
    QString failure;  // set when there are no addresses
};
// A blocking look-up of a name, without a limit of its own.
using NameLookup = std::function<ResolvedHost(const QString& host)>;
ResolvedHost LookUpWithSystem(const QString& host);
// `lookup` on a thread of its own, waited for at most `timeoutMs`; one that
// outlives the wait finishes on its own and is dropped.
ResolvedHost ResolveWithin(const NameLookup& lookup, const QString& host, int timeoutMs);

struct HttpRequest {
    const char* method = "POST";  // "POST" or "GET"
    QString url;
    QByteArray body;               // sent unchanged (POST only)
    QByteArray contentType;        // "" sends none
    QByteArray userAgent;
    TransportTimeouts timeouts = ApiTimeouts;
    std::function<void()> beforeSend;  // runs once the request is set up
    NameLookup lookup = LookUpWithSystem;
};

struct HttpOutcome {
    bool completed = false;
    QByteArray body;
    QString failure;  // set when not completed
};

HttpOutcome PerformHttp(const HttpRequest& request);

}  // namespace api
