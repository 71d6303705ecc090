#pragma once

#include <utility>  // asio/awaitable.hpp of Boost 1.74 uses std::exchange without it

#include <boost/asio/awaitable.hpp>
#include <boost/asio/ip/address_v4.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>

#include <chrono>
#include <string>

namespace load {

struct HttpsAnswer {
    int status = 0;       // 0 when no reply came
    std::string body;
    std::string failure;  // what went wrong: connect, handshake, time-out, a broken reply
    double ms = 0;        // from the connect (or the send, on a kept connection) to the whole reply
};

// One request on a connection of its own, as the program's transport makes
// it: connect from `from`, a full TLS handshake (nothing resumed), the
// request, the reply, close_notify, close. Runs on the caller's executor.
boost::asio::awaitable<HttpsAnswer> RequestOnce(boost::asio::ssl::context& tls, boost::asio::ip::address_v4 from,
                                                unsigned short port, const std::string& request,
                                                std::chrono::milliseconds deadline);

// Opens `socket` bound to `from` without a port, so the port is picked with
// the whole four-tuple known and thousands of connections do not run out.
void BindSource(boost::asio::ip::tcp::socket& socket, boost::asio::ip::address_v4 from,
                boost::system::error_code& ec);

// The request texts: a form POST to /api/<endpoint> with the program's
// headers, and a plain GET.
std::string FormPost(const std::string& endpoint, const std::string& body);
std::string PlainGet(const std::string& path);

// A client context that accepts the servers' self-signed certificates.
boost::asio::ssl::context ClientTls();

}  // namespace load
