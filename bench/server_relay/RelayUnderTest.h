#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <ctime>
#include <future>
#include <pthread.h>
#include <memory>
#include <string_view>
#include <thread>

#include "relay/RelayServer.h"

namespace relaybench {

// Every session is accepted: the store's cost is not what is measured.
class AcceptEverySession final : public relay::SessionCheck {
public:
    bool IsAcceptedSession(const std::string&, const std::string&) override { return true; }
    std::optional<std::string> ProvableSessionKey(const std::string&) override { return std::nullopt; }
};

// The relay on a free loopback port with its io_context on its own thread, as
// in the server; its log is dropped.
class RelayUnderTest {
public:
    explicit RelayUnderTest(relay::RelayLimits limits = {})
        : server_(io_, {boost::asio::ip::make_address("127.0.0.1"), 0}, sessions_, limits,
                  [](std::string_view) {})
    {
        server_.Start();
        thread_ = std::thread([this] { io_.run(); });
    }
    ~RelayUnderTest()
    {
        std::promise<void> stopped;
        boost::asio::post(io_, [&] {
            server_.Stop();
            stopped.set_value();
        });
        stopped.get_future().wait();
        io_.stop();
        thread_.join();
    }

    unsigned short Port() const { return server_.Port(); }

    // CPU time the relay's thread has used so far: its cost per byte does not
    // depend on what else the machine is doing.
    double CpuSeconds()
    {
        clockid_t clock;
        timespec used{};
        if (pthread_getcpuclockid(thread_.native_handle(), &clock) != 0 || clock_gettime(clock, &used) != 0)
            return 0;
        return static_cast<double>(used.tv_sec) + static_cast<double>(used.tv_nsec) / 1e9;
    }

private:
    AcceptEverySession sessions_;
    boost::asio::io_context io_;
    relay::RelayServer server_;
    std::thread thread_;
};

}  // namespace relaybench
