#pragma once

#include "server/http/HttpShared.h"
#include "server/net/ProxyHeaderReader.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>

#include <chrono>
#include <memory>
#include <optional>

// An accepted HTTPS connection that has sent nothing yet. It holds only its
// socket, a timer and its place in the connection counts, a few hundred
// bytes, so silent connections cost next to nothing; the TLS stream and its
// buffers (about 100 KiB) are made once the client speaks. The handshake
// deadline runs from accept, so waiting here counts against it. A connection
// from a balancer first gives its PROXY header, which names the client the
// connection then counts against and is served as.

namespace http {

class PendingConnection : public std::enable_shared_from_this<PendingConnection> {
public:
    PendingConnection(boost::asio::ip::tcp::socket socket, const boost::asio::ip::address& peer,
                      net::SourceTicket ticket, HttpShared& shared);
    void Start();

private:
    void WaitForBytes();
    void OnReadable(const boost::system::error_code& ec);
    void ReadHeader();
    void OnHeader(const net::ProxyHeaderScan& scan);
    void Close();

    boost::asio::ip::tcp::socket socket_;
    boost::asio::steady_timer deadline_;
    boost::asio::ip::address client_;  // the peer, or the client its PROXY header names
    std::optional<net::SourceTicket> ticket_;
    HttpShared& shared_;
    std::unique_ptr<net::ProxyHeaderReader> header_;  // only while a balancer's header is awaited
};

}  // namespace http
