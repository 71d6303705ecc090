#pragma once

#include "server/http/HttpShared.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include <chrono>
#include <memory>
#include <optional>

// One HTTPS connection once its client has spoken: TLS handshake, then
// requests one after another on the same connection (keep-alive) until the
// client closes, asks to close, stays idle past the time-out or sends
// something we refuse. A fresh parser per request bounds the header and the
// body; an oversized body is answered 413, a transfer coding other than plain
// chunked 501, and the connection closed. Between requests the connection
// keeps no request, reply or read buffer. Kept alive by the pending
// operation's handler; its ticket keeps its place in the connection counts.

namespace http {

class HttpSession : public std::enable_shared_from_this<HttpSession> {
public:
    // `client` is the peer, or the client a balancer's PROXY header named.
    HttpSession(boost::asio::ip::tcp::socket&& socket, const boost::asio::ip::address& client,
                net::SourceTicket ticket, HttpShared& shared,
                std::chrono::steady_clock::time_point handshakeDeadline);
    void Run();

private:
    void OnHandshake(boost::beast::error_code ec);
    void DoRead();
    void OnRead(boost::beast::error_code ec, std::size_t bytes);
    void Answer(api::HttpReply reply, bool keepAlive);
    void OnWrite(bool keepAlive, boost::beast::error_code ec, std::size_t bytes);
    void DoClose();
    // Refuses the request just read: answers, then drains and closes.
    void RefuseAndClose(api::HttpReply refusal);
    // Reads and drops what the client still sends, within a bound, then closes.
    void DrainThenClose();
    void LogRequest(std::string_view method, std::string_view target, const api::HttpReply& reply) const;

    HttpShared& shared_;
    net::SourceTicket ticket_;
    std::chrono::steady_clock::time_point handshakeDeadline_;
    boost::beast::ssl_stream<boost::beast::tcp_stream> stream_;
    boost::beast::flat_buffer buffer_;
    std::optional<boost::beast::http::request_parser<boost::beast::http::string_body>> parser_;
    boost::beast::http::response<boost::beast::http::string_body> response_;
    boost::asio::ip::address peer_;
    std::string peerText_;  // for every request's log line and client address
    std::chrono::steady_clock::time_point started_;
    static constexpr std::size_t kMaxDrainBytes = 1024 * 1024;
    static constexpr std::size_t kDrainChunk = 4096;
    std::unique_ptr<char[]> drain_;  // only for a refused request, so an idle connection holds none
    std::size_t drained_ = 0;
    std::chrono::steady_clock::time_point drainDeadline_;  // set once: a trickle cannot push it back
    bool drainAfterAnswer_ = false;
};

}  // namespace http
