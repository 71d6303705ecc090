#pragma once

#include "load/OneShotHttps.h"

#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/ssl/ssl_stream.hpp>

#include <optional>
#include <openssl/ssl.h>

namespace load {

// How a device's requests reach the service: each on a connection of its
// own with a full TLS handshake; each on a connection of its own resuming
// the TLS session of the one before (the server's ticket); or all on one
// connection kept open, as the program does between its polls.
enum class ConnectionStyle { FullHandshake, Resumed, KeptAlive };

// One device's connection to the service in one of those styles. A request
// that fails closes the connection; the next one opens another. Runs on the
// caller's executor, one request at a time.
class DeviceConnection {
public:
    DeviceConnection(boost::asio::ssl::context& tls, boost::asio::ip::address_v4 from, unsigned short port,
                     ConnectionStyle style);
    ~DeviceConnection();
    DeviceConnection(const DeviceConnection&) = delete;
    DeviceConnection& operator=(const DeviceConnection&) = delete;

    // `deadline` bounds the whole exchange, connect and handshake included.
    boost::asio::awaitable<HttpsAnswer> Request(const std::string& request, std::chrono::milliseconds deadline);

private:
    using Stream = boost::beast::ssl_stream<boost::beast::tcp_stream>;
    boost::asio::awaitable<std::string> Open();
    boost::asio::awaitable<HttpsAnswer> Exchange(const std::string& request);
    boost::asio::awaitable<void> Close();

    boost::asio::ssl::context& tls_;
    boost::asio::ip::address_v4 from_;
    unsigned short port_;
    ConnectionStyle style_;
    std::optional<Stream> stream_;
    SSL_SESSION* session_ = nullptr;  // the last one, when resuming
};

}  // namespace load
