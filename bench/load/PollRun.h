#pragma once

#include <utility>  // asio/awaitable.hpp of Boost 1.74 uses std::exchange without it

#include "load/DeviceConnection.h"
#include "load/LatencySamples.h"

#include <boost/asio/awaitable.hpp>
#include <boost/asio/ip/address_v4.hpp>
#include <boost/asio/ssl/context.hpp>

#include <cstddef>
#include <deque>
#include <map>
#include <string>
#include <vector>

namespace load {

// One device's poll: where it speaks from, the request it sends every
// period, and the status its reply must carry ("" takes any).
struct Poller {
    boost::asio::ip::address_v4 from;
    std::string request;
    std::string expectedStatus;
};

struct PollResult {
    std::size_t polls = 0;
    std::size_t errors = 0;      // no reply, not HTTP 200, ok not true, another status than expected
    std::size_t lateTicks = 0;   // a poll that began after its next one was due
    LatencySamples latency;      // of the polls that were answered
    std::map<std::string, std::size_t> statuses;
    std::vector<std::string> firstErrors;  // the first few, for the report
    std::string sampleReply;               // one "aguardando" reply, for the static reference
    double seconds = 0;
};

// Adds a later run's figures to `into`.
void Merge(PollResult& into, const PollResult& more);

// One connection per poller, in `style`, to the service at `port`.
using Connections = std::deque<DeviceConnection>;
Connections ConnectionsFor(boost::asio::ssl::context& tls, unsigned short port, const std::vector<Poller>& pollers,
                           ConnectionStyle style);

// Every poller polls every period for `seconds` on its connection
// (connections[i] for pollers[i]), the first polls spread evenly over the
// first period. Connections outlive a run, so a later run finds them open
// or holding their session.
boost::asio::awaitable<void> RunPolls(Connections& connections, const std::vector<Poller>& pollers, double seconds,
                                      PollResult& result);

// The same, each poll on a new connection with a full handshake.
boost::asio::awaitable<void> RunPolls(boost::asio::ssl::context& tls, unsigned short port,
                                      const std::vector<Poller>& pollers, double seconds, PollResult& result);

}  // namespace load
