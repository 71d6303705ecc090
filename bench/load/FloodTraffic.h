#pragma once

#include <utility>  // asio/awaitable.hpp of Boost 1.74 uses std::exchange without it

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/address_v4.hpp>
#include <boost/asio/ssl/context.hpp>

#include <chrono>
#include <cstddef>
#include <memory>
#include <thread>
#include <vector>

namespace load {

// What one misbehaving host sends the web service, all from one address:
// connections that never speak, requests whose header comes one byte a second
// (slowloris), and a byte every 1.5 s after a refused request. A connection
// the server ends is opened again after a pause, as a flooder does.
struct FloodPlan {
    boost::asio::ip::address_v4 from;
    unsigned short port = 0;
    std::size_t silent = 10000, slow = 200, trickle = 50;
    std::chrono::milliseconds slowByte{1000}, trickleByte{1500}, reconnect{1000};
};

// One kind of connection over the whole flood.
struct FloodTally {
    std::size_t opened = 0;      // connections the kernel completed
    std::size_t admitted = 0;    // slowloris: TLS done; trickle: its 413 read
    // From where the server's bound starts (silent: the connect; slowloris:
    // the TLS handshake done; trickle: the 413) to the end, within one
    // byte's interval.
    double longestHeldSeconds = 0;
};

struct FloodResult {
    FloodTally silent, slow, trickle;
};

// One connection of the flood at a time, as the flood's thread sees it.
struct FloodSlot {
    FloodTally* tally = nullptr;
    std::chrono::steady_clock::time_point since;  // see FloodTally::longestHeldSeconds
    bool open = false;
};

// The flood runs on a thread of its own from construction until Stop();
// `tls` must last until then.
class FloodTraffic {
public:
    FloodTraffic(const FloodPlan& plan, boost::asio::ssl::context& tls);
    ~FloodTraffic();
    FloodTraffic(const FloodTraffic&) = delete;
    FloodTraffic& operator=(const FloodTraffic&) = delete;

    // Closes every connection of the flood; what it did.
    FloodResult Stop();

private:
    const FloodPlan plan_;
    std::unique_ptr<boost::asio::io_context> io_;
    FloodResult result_;  // the flood's thread only, until Stop()
    std::vector<FloodSlot> slots_;
    std::thread thread_;
};

}  // namespace load
