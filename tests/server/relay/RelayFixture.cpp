#include "RelayFixture.h"

#include <boost/asio/post.hpp>
#include <future>

namespace relaytest {

void FakeSessionCheck::Accept(const std::string& sessaoId, const std::string& streamKey)
{
    std::lock_guard lock(mutex_);
    accepted_.emplace(sessaoId, streamKey);
}

void FakeSessionCheck::AcceptV2(const std::string& sessaoId, const std::string& streamKey)
{
    std::lock_guard lock(mutex_);
    provable_[sessaoId] = streamKey;
}

std::optional<std::string> FakeSessionCheck::ProvableSessionKey(const std::string& sessaoId)
{
    std::lock_guard lock(mutex_);
    ++calls_;
    const auto it = provable_.find(sessaoId);
    return it == provable_.end() ? std::nullopt : std::optional(it->second);
}

bool FakeSessionCheck::IsAcceptedSession(const std::string& sessaoId, const std::string& streamKey)
{
    std::lock_guard lock(mutex_);
    ++calls_;
    return accepted_.count({sessaoId, streamKey}) > 0;
}

int FakeSessionCheck::Calls() const
{
    std::lock_guard lock(mutex_);
    return calls_;
}

relay::RelayLimits ShortLimits()
{
    relay::RelayLimits limits;
    limits.joinDeadline = milliseconds(400);
    limits.unpairedTimeout = milliseconds(600);
    limits.closeLinger = milliseconds(300);
    return limits;
}

void RelayFixture::StartRelay(relay::RelayLimits limits)
{
    const boost::asio::ip::tcp::endpoint loopback(boost::asio::ip::make_address("127.0.0.1"), 0);
    server_ = std::make_unique<relay::RelayServer>(io_, loopback, sessions_, limits, [this](std::string_view line) {
        std::lock_guard lock(logMutex_);
        log_.emplace_back(line);
    });
    server_->Start();
    thread_ = std::thread([this] { io_.run(); });
}

void RelayFixture::StopRelay()
{
    // Once stopped, the io_context may run out of work and its thread end.
    if (!thread_.joinable() || stopped_)
        return;
    stopped_ = true;
    std::promise<void> stopped;
    boost::asio::post(io_, [&] {
        server_->Stop();
        stopped.set_value();
    });
    stopped.get_future().wait();
}

void RelayFixture::TearDown()
{
    StopRelay();
    io_.stop();
    if (thread_.joinable())
        thread_.join();
    server_.reset();
}

std::unique_ptr<RelayTestClient> RelayFixture::Connect(const char* sourceAddress, int bufferBytes)
{
    return std::make_unique<RelayTestClient>(Port(), sourceAddress, bufferBytes);
}

std::unique_ptr<RelayTestClient> RelayFixture::Join(const std::string& sessaoId, const std::string& streamKey,
                                                    const std::string& role, std::string* reply)
{
    auto client = Connect();
    client->Send(JoinLine(sessaoId, streamKey, role));
    const std::string line = client->ReadLine();
    if (reply)
        *reply = line;
    return client;
}

std::pair<std::unique_ptr<RelayTestClient>, std::unique_ptr<RelayTestClient>> RelayFixture::Pair(
    const std::string& sessaoId, const std::string& streamKey, int bufferBytes)
{
    sessions_.Accept(sessaoId, streamKey);
    auto cliente = Connect(nullptr, bufferBytes);
    cliente->Send(JoinLine(sessaoId, streamKey, "cliente"));
    EXPECT_EQ(cliente->ReadLine(), "OK|AGUARDANDO outro computador\n");
    auto tecnico = Connect(nullptr, bufferBytes);
    tecnico->Send(JoinLine(sessaoId, streamKey, "tecnico"));
    EXPECT_EQ(tecnico->ReadLine(), "OK|CONECTADO\n");
    EXPECT_EQ(cliente->ReadLine(), "OK|CONECTADO\n");
    return {std::move(cliente), std::move(tecnico)};
}

std::vector<std::string> RelayFixture::LogLines() const
{
    std::lock_guard lock(logMutex_);
    return log_;
}

bool RelayFixture::LogShows(const std::string& text, milliseconds patience) const
{
    const auto deadline = std::chrono::steady_clock::now() + patience;
    do {
        for (const std::string& line : LogLines())
            if (line.find(text) != std::string::npos)
                return true;
        std::this_thread::sleep_for(milliseconds(10));
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

}  // namespace relaytest
