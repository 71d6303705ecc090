#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ssl/context.hpp>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A closed-loop HTTPS load on one thread: one connection per request text,
// each sending its request again as soon as the reply is in. The same client
// measures both servers of a comparison. By default a connection stays open
// (keep-alive); with NewConnectionPerRequest every request gets a new TCP
// connection and a full TLS handshake and is closed after its reply, as the
// program does (a fresh transfer handle per request, no session resumption).
class HttpsLoad {
public:
    HttpsLoad(unsigned short port, std::vector<std::string> requests);
    ~HttpsLoad();
    bool Connect();                      // connects and shakes hands on every connection
    void Run(std::size_t replies);       // until that many replies arrived
    std::size_t Failures() const { return failures_; }  // replies without `okText`, broken connections
    void ExpectInReply(std::string text) { okText_ = std::move(text); }
    // Before Connect().
    void NewConnectionPerRequest(bool on) { newConnectionPerRequest_ = on; }
    // Each new connection resumes the TLS session of the one before it, as
    // the program does once the server issues tickets.
    void ResumeSessions(bool on) { resumeSessions_ = on; }
    // At most this many requests on their way; the connections then take turns.
    void MaxInFlight(std::size_t n) { maxInFlight_ = n; }

    struct Connection;

private:
    friend struct Connection;
    void SendNext();  // the next idle connection in turn, while fewer than the maximum are on their way
    boost::asio::io_context io_;
    boost::asio::ssl::context tls_;
    unsigned short port_;
    std::vector<std::string> requests_;
    std::vector<std::shared_ptr<Connection>> connections_;
    std::size_t wanted_ = 0;
    std::size_t done_ = 0;
    std::size_t inFlight_ = 0;  // requests on their way count toward the wanted number
    std::size_t failures_ = 0;
    std::string okText_;
    bool newConnectionPerRequest_ = false;
    bool resumeSessions_ = false;
    std::size_t maxInFlight_ = SIZE_MAX;
    std::size_t next_ = 0;
};
