#pragma once

#include "server/api/Service.h"
#include "server/http/HttpShared.h"

#include "relay/RelayServer.h"

#include <optional>
#include <string>
#include <vector>

// marquelin-server's command line. Every option is listed once, with its
// help text, in the table of Options.cpp.

struct ServerOptions {
    std::string dataDir;
    std::string database;  // a PostgreSQL URL; empty: SQLite in the data folder
    std::string listen = "127.0.0.1";
    int httpsPort = 8443;
    int relayPort = 50556;
    std::string tlsCert;
    std::string tlsKey;
    std::string ticketKeys;  // empty: OpenSSL's own key for this process
    std::vector<std::string> hosts;
    std::vector<std::string> trustedProxies;
    bool proxyProtocol = false;  // trusted proxies send a PROXY header first
    std::string smtpUrl;
    std::string mailFrom;
    api::ServiceConfig service;
    http::HttpLimits http;
    relay::RelayLimits relay;
    // Descriptors kept for the store, the log, mail, the listeners and the
    // relay's spare pipes; the rest is shared out between the two caps.
    std::size_t reservedDescriptors = 256;
};

struct ParsedOptions {
    std::optional<ServerOptions> options;  // empty with an error or after --help
    std::string message;                   // the error, or the help text
};

ParsedOptions ParseServerOptions(int argc, char** argv);
