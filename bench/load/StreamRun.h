#pragma once

#include <utility>  // asio/awaitable.hpp of Boost 1.74 uses std::exchange without it

#include "load/LatencySamples.h"
#include "load/StreamTraffic.h"

#include <boost/asio/awaitable.hpp>
#include <boost/asio/ip/tcp.hpp>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace load {

struct StreamPlan {
    double seconds = 60;
    double framesPerSecond = 4;     // the cliente's frames
    double commandsPerSecond = 10;  // the tecnico's mouse moves
    FrameSizes sizes;
};

struct StreamResult {
    std::size_t sessions = 0;
    std::uint64_t bytesToTecnico = 0, bytesToCliente = 0;
    std::uint64_t framesSent = 0, framesReceived = 0;
    std::uint64_t commandsSent = 0, commandsReceived = 0;
    std::size_t errors = 0;
    std::size_t lateFrames = 0;  // frames whose sending began after the next was due
    LatencySamples frameLatency;
    std::vector<std::string> firstErrors;
    double seconds = 0;
};

// Both ends of one session's link, already connected (through the relay, or
// directly), with whatever either end read past its last line.
struct SessionLink {
    std::uint64_t id = 0;
    std::string sessaoId, streamKey;
    boost::asio::ip::tcp::socket cliente, tecnico;
    std::string clienteBuffer, tecnicoBuffer;
    explicit SessionLink(const boost::asio::any_io_executor& executor) : cliente(executor), tecnico(executor) {}
};
using SessionLinks = std::vector<std::unique_ptr<SessionLink>>;

// Joins both ends of `link` to the relay (cliente first, as the one that
// waits) and reads until both are paired; throws std::runtime_error with the
// relay's answer otherwise.
boost::asio::awaitable<void> JoinRelay(SessionLink& link, unsigned short relayPort);
// Both ends over one loopback connection of their own, no relay between.
void ConnectDirect(SessionLink& link);
// The link's handshake: the tecnico's Hello, the cliente's Accept.
boost::asio::awaitable<void> ShakeHands(SessionLink& link);

// Streams on every link for plan.seconds, waits for the last bytes to
// arrive, then closes both ends of every link.
boost::asio::awaitable<void> RunStreams(SessionLinks& links, const StreamPlan& plan, StreamResult& result);

}  // namespace load
