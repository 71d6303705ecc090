#pragma once

#include "server/http/HttpShared.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>

// Accepts HTTPS connections up to the caps, by source and in all (beyond
// them a new connection is closed at once), and lets each wait, cheaply,
// for its first bytes. A failing accept (out of descriptors) is retried
// after a pause rather than spun on.

namespace http {

class HttpListener {
public:
    // Throws when the address cannot be bound.
    HttpListener(boost::asio::io_context& io, const boost::asio::ip::tcp::endpoint& endpoint, HttpShared& shared);
    void Start();
    void Stop();
    unsigned short Port() const;

private:
    void DoAccept();
    void OnAccept(boost::system::error_code ec, boost::asio::ip::tcp::socket socket);
    void Admit(boost::asio::ip::tcp::socket socket);

    static constexpr int kAcceptBatch = 64;

    boost::asio::io_context& io_;
    boost::asio::ip::tcp::acceptor acceptor_;
    boost::asio::steady_timer retry_;
    HttpShared& shared_;
};

}  // namespace http
