#pragma once

#include "RelayTestClient.h"
#include "relay/RelayServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/use_future.hpp>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

namespace relaytest {

inline constexpr char kWaiting[] = "OK|AGUARDANDO outro computador\n";
inline constexpr char kPaired[] = "OK|CONECTADO\n";

using Client = std::unique_ptr<RelayTestClient>;

// Stands in for the store, which is tested on its own; the relay's side of the
// seam is what these tests exercise. Called on the relay's thread.
class FakeSessionCheck final : public relay::SessionCheck {
public:
    // A session accepted for link version `versao`, with one of its keys.
    void Accept(const std::string& sessaoId, const std::string& streamKey, int versao = 1)
    {
        std::lock_guard lock(mutex_);
        accepted_.emplace(versao, sessaoId, streamKey);
    }
    bool IsAcceptedSession(const std::string& sessaoId, const std::string& streamKey) override
    {
        std::lock_guard lock(mutex_);
        ++calls;
        return accepted_.count({1, sessaoId, streamKey}) > 0;
    }
    std::optional<std::string> ProvableSessionKey(const std::string& sessaoId) override
    {
        std::lock_guard lock(mutex_);
        ++calls;
        const auto it = accepted_.lower_bound({2, sessaoId, ""});
        if (it == accepted_.end() || std::get<0>(*it) != 2 || std::get<1>(*it) != sessaoId)
            return std::nullopt;
        return std::get<2>(*it);
    }
    std::atomic<int> calls{0};  // how often the relay asked

private:
    mutable std::mutex mutex_;
    std::set<std::tuple<int, std::string, std::string>> accepted_;
};

// A relay on a free loopback port, its io_context on its own thread, its log
// kept. Session s1 is accepted with key k.
class RelayFixture : public ::testing::Test {
protected:
    void SetUp() override { StartRelay(TestLimits()); }
    void TearDown() override
    {
        StopRelay();
        io_.stop();
        if (thread_.joinable())
            thread_.join();
        server_.reset();
    }

    // Its waits for the Join line and for the other side `waits` long: short
    // only where a test waits for them to pass, so that elsewhere a busy
    // machine never meets them.
    static relay::RelayLimits TestLimits(milliseconds waits = std::chrono::seconds(30))
    {
        relay::RelayLimits limits;
        limits.joinDeadline = limits.unpairedTimeout = waits;
        limits.closeLinger = milliseconds(300);
        return limits;
    }

    void StartRelay(relay::RelayLimits limits)
    {
        sessions_.Accept("s1", "k");
        const boost::asio::ip::tcp::endpoint loopback(boost::asio::ip::make_address("127.0.0.1"), 0);
        server_ = std::make_unique<relay::RelayServer>(io_, loopback, sessions_, limits, [this](std::string_view line) {
            std::lock_guard lock(logMutex_);
            log_.emplace_back(line);
            logged_.notify_all();
        });
        server_->Start();
        thread_ = std::thread([this] { io_.run(); });
    }

    void StopRelay()
    {
        // Once stopped, the io_context may run out of work and its thread end.
        if (!thread_.joinable() || std::exchange(stopped_, true))
            return;
        boost::asio::post(io_, boost::asio::use_future([this] { server_->Stop(); })).wait();
    }

    Client Connect(int bufferBytes = 0) { return std::make_unique<RelayTestClient>(server_->Port(), nullptr, bufferBytes); }

    // Connects and sends the Join line; the first reply must be `reply`.
    Client Join(const std::string& sessaoId, const std::string& streamKey, const std::string& role,
                const std::string& reply = kWaiting, int bufferBytes = 0)
    {
        Client client = Connect(bufferBytes);
        client->Send(JoinLine(sessaoId, streamKey, role));
        EXPECT_EQ(client->ReadLine(), reply) << sessaoId << " " << role;
        return client;
    }

    // A cliente and a tecnico of one accepted session, both past "OK|CONECTADO".
    std::pair<Client, Client> Pair(const std::string& sessaoId, const std::string& streamKey, int bufferBytes = 0)
    {
        sessions_.Accept(sessaoId, streamKey);
        Client cliente = Join(sessaoId, streamKey, "cliente", kWaiting, bufferBytes);
        Client tecnico = Join(sessaoId, streamKey, "tecnico", kPaired, bufferBytes);
        EXPECT_EQ(cliente->ReadLine(), kPaired);
        return {std::move(cliente), std::move(tecnico)};
    }

    std::vector<std::string> LogLines() const
    {
        std::lock_guard lock(logMutex_);
        return log_;
    }

    // Waits until a log line contains `text`.
    bool LogShows(const std::string& text) const
    {
        std::unique_lock lock(logMutex_);
        return logged_.wait_for(lock, kPatience, [&] {
            return std::any_of(log_.begin(), log_.end(),
                               [&](const std::string& line) { return line.find(text) != std::string::npos; });
        });
    }

    FakeSessionCheck sessions_;

private:
    // The log outlives the io_context, whose handlers may hold the relay's state.
    mutable std::mutex logMutex_;
    mutable std::condition_variable logged_;
    std::vector<std::string> log_;
    boost::asio::io_context io_;
    std::unique_ptr<relay::RelayServer> server_;
    std::thread thread_;
    bool stopped_ = false;
};

}  // namespace relaytest
