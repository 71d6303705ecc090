#pragma once

#include "server/http/HttpShared.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>

#include <chrono>
#include <memory>
#include <optional>

// An accepted HTTPS connection that has sent nothing yet. It holds only its
// socket, a timer and its place in the connection counts, a few hundred
// bytes, so silent connections cost next to nothing; the TLS stream and its
// buffers (about 100 KiB) are made once the client speaks. The handshake
// deadline runs from accept, so waiting here counts against it.

namespace http {

class PendingConnection : public std::enable_shared_from_this<PendingConnection> {
public:
    PendingConnection(boost::asio::ip::tcp::socket socket, net::SourceTicket ticket, HttpShared& shared);
    void Start();

private:
    void WaitForBytes();
    void OnReadable(const boost::system::error_code& ec);

    boost::asio::ip::tcp::socket socket_;
    boost::asio::steady_timer deadline_;
    std::optional<net::SourceTicket> ticket_;
    HttpShared& shared_;
};

}  // namespace http
