#pragma once

#include <gtest/gtest.h>

#include <boost/asio/io_context.hpp>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "RelayTestClient.h"
#include "relay/RelayServer.h"

namespace relaytest {

inline constexpr char kWaiting[] = "OK|AGUARDANDO outro computador\n";
inline constexpr char kPaired[] = "OK|CONECTADO\n";

// Stands in for the store, which is tested on its own; the relay's side of the
// seam is what these tests exercise. Called on the relay's thread.
class FakeSessionCheck final : public relay::SessionCheck {
public:
    void Accept(const std::string& sessaoId, const std::string& streamKey)
    {
        std::lock_guard lock(mutex_);
        accepted_.emplace(sessaoId, streamKey);
    }
    void AcceptV2(const std::string& sessaoId, const std::string& streamKey)
    {
        std::lock_guard lock(mutex_);
        provable_[sessaoId] = streamKey;
    }
    bool IsAcceptedSession(const std::string& sessaoId, const std::string& streamKey) override
    {
        std::lock_guard lock(mutex_);
        ++calls_;
        return accepted_.count({sessaoId, streamKey}) > 0;
    }
    std::optional<std::string> ProvableSessionKey(const std::string& sessaoId) override
    {
        std::lock_guard lock(mutex_);
        ++calls_;
        const auto it = provable_.find(sessaoId);
        return it == provable_.end() ? std::nullopt : std::optional(it->second);
    }
    int Calls() const
    {
        std::lock_guard lock(mutex_);
        return calls_;
    }

private:
    mutable std::mutex mutex_;
    std::set<std::pair<std::string, std::string>> accepted_;
    std::map<std::string, std::string> provable_;
    int calls_ = 0;
};

// Its waits for the Join line and for the other side `waits` long: short only
// where a test waits for them to pass, so that elsewhere a busy machine never
// meets them.
relay::RelayLimits TestLimits(milliseconds waits = std::chrono::seconds(30));

// A relay on a free loopback port, its io_context on its own thread, its log kept.
class RelayFixture : public ::testing::Test {
protected:
    void SetUp() override { StartRelay(TestLimits()); }
    void TearDown() override;

    void StartRelay(relay::RelayLimits limits);
    void StopRelay();

    std::unique_ptr<RelayTestClient> Connect(const char* sourceAddress = nullptr, int bufferBytes = 0);
    // Connects and sends the Join line; the first reply must be `reply`.
    std::unique_ptr<RelayTestClient> Join(const std::string& sessaoId, const std::string& streamKey,
                                          const std::string& role, const std::string& reply = kWaiting,
                                          int bufferBytes = 0);
    // A cliente and a tecnico of one accepted session, both past "OK|CONECTADO".
    std::pair<std::unique_ptr<RelayTestClient>, std::unique_ptr<RelayTestClient>> Pair(
        const std::string& sessaoId, const std::string& streamKey, int bufferBytes = 0);

    std::vector<std::string> LogLines() const;
    // Waits until a log line contains `text`.
    bool LogShows(const std::string& text) const;

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
