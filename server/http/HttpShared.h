#pragma once

#include "server/api/Service.h"

#include <boost/asio/ip/address.hpp>
#include <boost/asio/ssl/context.hpp>

#include <chrono>
#include <cstddef>
#include <vector>

// What every HTTPS connection shares: the service, the TLS context, the
// limits, the proxies whose forwarding header is believed, and the count of
// open connections that the listener caps. One thread: no locks.

namespace http {

struct HttpLimits {
    std::size_t bodyBytes = 16 * 1024;
    std::size_t headerBytes = 8 * 1024;
    std::chrono::seconds handshakeTimeout{10};
    std::chrono::seconds requestTimeout{15};  // also the keep-alive idle time
    std::size_t maxConnections = 10000;
};

struct HttpShared {
    api::Service& service;
    boost::asio::ssl::context& tls;
    std::vector<boost::asio::ip::address> trustedProxies;
    HttpLimits limits;
    std::size_t openConnections = 0;
};

}  // namespace http
