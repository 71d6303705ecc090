#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <memory>

#include "relay/RelayServer.h"

namespace relay {

struct RelayState;

// Accepts connections, turns away addresses over their cap at the door, and
// starts a RelaySide for every other one. Single-threaded.
class RelayListener : public std::enable_shared_from_this<RelayListener> {
public:
    RelayListener(boost::asio::io_context& io, const boost::asio::ip::tcp::endpoint& endpoint,
                  SessionCheck& sessions, const RelayLimits& limits, RelayLogSink log);

    void Start();
    void Stop();
    unsigned short Port() const;

private:
    void Accept();
    void Admit(boost::asio::ip::tcp::socket socket);
    void RetryLater();

    std::shared_ptr<RelayState> state_;
    boost::asio::ip::tcp::acceptor acceptor_;
    boost::asio::steady_timer retry_;
    bool stopped_ = false;
};

}  // namespace relay
