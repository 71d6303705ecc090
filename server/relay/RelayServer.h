#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "relay/SessionCheck.h"

namespace relay {

// What one peer may hold, and for how long. The defaults suit a public
// deployment; tests shorten the times.
struct RelayLimits {
    // From accept to the end of the Join line.
    std::chrono::milliseconds joinDeadline{10000};
    // A joined side waits this long for the other one.
    std::chrono::milliseconds unpairedTimeout{60000};
    // Longest Join line, LF included.
    std::size_t maxJoinLine{512};
    // Bytes a side may send after its Join line before it is paired; they are
    // forwarded once it is (an eager Hello is a few dozen).
    std::size_t maxEarlyBytes{4096};
    // Connections from one source (an IPv4 address, an IPv6 /64), in every
    // state: an office behind one NAT may relay hundreds of sessions at once.
    unsigned maxConnectionsPerAddress{512};
    // Connections of all sources together. Each may hold a pipe (two more
    // descriptors) while bytes flow, so the server sizes this to the
    // descriptors it gives the relay.
    std::size_t maxConnections{10000};
    // One buffer per direction of a paired session, held only while bytes
    // flow: a kernel pipe that bytes are spliced through (no copy in the
    // relay), or, with splicing off or no pipe to be had, relay memory they
    // are copied through. Small, so that a slow reader's backlog is not kept
    // here: frames must reach a slow technician fresh, not queued behind
    // older ones.
    std::size_t pipeBytes{16 * 1024};
    std::size_t bufferBytes{16 * 1024};
    bool splice{true};
    // Free buffers (or pipes) kept for reuse; the rest are given back.
    std::size_t spareBuffers{64};
    // After the end of a pair or a refusal: how long a socket may drain before it is closed.
    std::chrono::milliseconds closeLinger{2000};
    // Balancers whose connections begin with a PROXY header: the client it
    // names is the one counted, logged and served.
    std::vector<boost::asio::ip::address> proxyPeers;
};

// Receives one log line without its LF. The default writes it to stderr.
using RelayLogSink = std::function<void(std::string_view line)>;

class RelayListener;

// The TCP relay: reads one Join line per connection, pairs the cliente and the
// tecnico of an accepted session, then forwards bytes both ways. Runs on the
// thread that runs the io_context; call Start and Stop from that thread (or
// while it is not running). The SessionCheck is asked only until Stop().
class RelayServer {
public:
    // Binds and listens at once, so Port() is known before Start().
    RelayServer(boost::asio::io_context& io, const boost::asio::ip::tcp::endpoint& endpoint,
                SessionCheck& sessions, RelayLimits limits = {}, RelayLogSink log = {});
    ~RelayServer();

    RelayServer(const RelayServer&) = delete;
    RelayServer& operator=(const RelayServer&) = delete;

    void Start();
    // Stops accepting and closes every connection.
    void Stop();
    unsigned short Port() const;

private:
    // Shared with pending handlers, which may run after this object is gone.
    std::shared_ptr<RelayListener> listener_;
};

}  // namespace relay
