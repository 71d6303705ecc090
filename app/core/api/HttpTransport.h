#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

// One blocking HTTP(S) request over libcurl. A new client per request,
// nothing reused. The status code is never looked at: any reply body is the
// answer, and only a request that could not be completed is a failure, with
// a human-readable description.

namespace api {

struct TransportTimeouts {
    int resolveMs;
    int connectMs;
    int sendMs;     // the longest pause allowed while the body goes out
    int receiveMs;  // the longest pause allowed while waiting for the reply
};

inline constexpr TransportTimeouts ApiTimeouts{5000, 5000, 15000, 15000};
inline constexpr TransportTimeouts VersionTimeouts{3000, 3000, 8000, 8000};

struct HttpRequest {
    const char* method = "POST";  // "POST" or "GET"
    QString url;
    QByteArray body;               // sent unchanged (POST only)
    QByteArray contentType;        // "" sends none
    QByteArray userAgent;
    TransportTimeouts timeouts = ApiTimeouts;
    std::function<void()> beforeSend;  // runs once the request is set up
};

struct HttpOutcome {
    bool completed = false;
    QByteArray body;
    QString failure;  // set when not completed
};

HttpOutcome PerformHttp(const HttpRequest& request);

}  // namespace api
