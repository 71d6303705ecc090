#pragma once

#include "server/api/Throttle.h"
#include "server/mail/Mailer.h"
#include "server/store/Store.h"

#include <functional>
#include <string>
#include <string_view>

// The web service without its transport: maps one request (method, target,
// body, the client's address) to one response and does nothing else, so the
// HTTPS session, the tests and the fuzz target all drive the same code.
// Never throws; a store failure becomes a refusal with "falha_interna".

namespace api {

struct ServiceConfig {
    int latestBuild = MARQUELIN_SERVER_DEFAULT_BUILD;  // the program's own build
    int minBuild = MARQUELIN_SERVER_DEFAULT_BUILD;
    store::Millis codeTtlMs = 10 * 60 * 1000;
    store::Millis activationTtlMs = 30 * 60 * 1000;
    int activationTries = 10;              // wrong tries that end an activation code
    int activationTriesPerSource = 3;      // of those, the most one source may make
    store::Millis mailIntervalMs = 30 * 1000;  // between two mails to one address
    ThrottlePolicy throttle;
};

struct HttpRequestView {
    std::string_view method;
    std::string_view target;  // path and query
    std::string_view body;
    std::string clientAddress;
};

struct HttpReply {
    int status = 200;
    const char* contentType = "application/json; charset=utf-8";
    std::string body;
    std::string_view erro;  // for the log line: the refusal reason, if any
};

class Service {
public:
    using Clock = std::function<store::Millis()>;

    Service(store::Store& store, mail::Mailer& mailer, ServiceConfig config, Clock clock);
    HttpReply Handle(const HttpRequestView& request);

private:
    HttpReply HandleApi(std::string_view endpoint, const HttpRequestView& request);

    store::Store& store_;
    mail::Mailer& mailer_;
    ServiceConfig config_;
    Clock clock_;
    Throttle throttle_;
};

store::Millis SystemMillis();

}  // namespace api
