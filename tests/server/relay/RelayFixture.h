#pragma once

#include <gtest/gtest.h>

#include <boost/asio/io_context.hpp>
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

// Stands in for the store, which is tested on its own; the relay's side of the
// seam is what these tests exercise. Called on the relay's thread.
class FakeSessionCheck final : public relay::SessionCheck {
public:
    void Accept(const std::string& sessaoId, const std::string& streamKey);
    void AcceptV2(const std::string& sessaoId, const std::string& streamKey);
    bool IsAcceptedSession(const std::string& sessaoId, const std::string& streamKey) override;
    std::optional<std::string> ProvableSessionKey(const std::string& sessaoId) override;
    int Calls() const;

private:
    mutable std::mutex mutex_;
    std::set<std::pair<std::string, std::string>> accepted_;
    std::map<std::string, std::string> provable_;
    int calls_ = 0;
};

// Short times, so waits for time-outs stay brief.
relay::RelayLimits ShortLimits();

// A relay on a free loopback port, its io_context on its own thread, its log kept.
class RelayFixture : public ::testing::Test {
protected:
    void TearDown() override;

    void StartRelay(relay::RelayLimits limits = ShortLimits());
    void StopRelay();
    unsigned short Port() const { return server_->Port(); }

    std::unique_ptr<RelayTestClient> Connect(const char* sourceAddress = nullptr, int bufferBytes = 0);
    // Connects, sends the Join line, and reads the first reply into `reply`.
    std::unique_ptr<RelayTestClient> Join(const std::string& sessaoId, const std::string& streamKey,
                                          const std::string& role, std::string* reply = nullptr);
    // A cliente and a tecnico of one accepted session, both past "OK|CONECTADO".
    std::pair<std::unique_ptr<RelayTestClient>, std::unique_ptr<RelayTestClient>> Pair(
        const std::string& sessaoId, const std::string& streamKey, int bufferBytes = 0);

    std::vector<std::string> LogLines() const;
    // Waits until a log line contains `text`.
    bool LogShows(const std::string& text, milliseconds patience = kPatience) const;

    FakeSessionCheck sessions_;

private:
    // The log outlives the io_context, whose handlers may hold the relay's state.
    mutable std::mutex logMutex_;
    std::vector<std::string> log_;
    boost::asio::io_context io_;
    std::unique_ptr<relay::RelayServer> server_;
    std::thread thread_;
    bool stopped_ = false;
};

}  // namespace relaytest
