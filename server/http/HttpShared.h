#pragma once

#include "server/api/Service.h"
#include "server/http/MemoryAfterFlood.h"
#include "server/net/SourceLimiter.h"

#include <boost/asio/ip/address.hpp>
#include <boost/asio/ssl/context.hpp>

#include <chrono>
#include <cstddef>
#include <vector>

// What every HTTPS connection shares: the service, the TLS context, the
// limits, the proxies whose forwarding header is believed (or, with
// proxyProtocol, whose connections begin with a PROXY header), and the count of
// open connections, by source and in all, that the listener caps. One
// thread: no locks.

namespace http {

struct HttpLimits {
    std::size_t bodyBytes = 16 * 1024;
    std::size_t headerBytes = 8 * 1024;
    // From accept to the end of the TLS handshake, the wait for the first byte included.
    std::chrono::seconds handshakeTimeout{10};
    std::chrono::seconds requestTimeout{15};  // also the keep-alive idle time
    // After a refused request: reading what the client still sends, in all.
    std::chrono::seconds drainTimeout{2};
    std::size_t maxConnections = 10000;
    unsigned maxConnectionsPerSource = 256;
};

struct HttpShared {
    HttpShared(api::Service& service, boost::asio::ssl::context& tls,
               std::vector<boost::asio::ip::address> trustedProxies, const HttpLimits& limits,
               bool proxyProtocol = false);
    HttpShared(const HttpShared&) = delete;
    HttpShared& operator=(const HttpShared&) = delete;

    api::Service& service;
    boost::asio::ssl::context& tls;
    std::vector<boost::asio::ip::address> trustedProxies;
    bool proxyProtocol;
    HttpLimits limits;
    MemoryAfterFlood memory;
    net::SourceLimiter connections;

    bool SendsProxyHeader(const boost::asio::ip::address& peer) const;
    // A connection over the caps, which the listener or the PROXY header just
    // put to `client`: worth a line now and then, not each time.
    void LogRefusal(const boost::asio::ip::address& client) const;
};

}  // namespace http
