#include "RelayFixture.h"

#include <boost/asio/post.hpp>
#include <boost/asio/use_future.hpp>

namespace relaytest {

relay::RelayLimits TestLimits(milliseconds waits)
{
    relay::RelayLimits limits;
    limits.joinDeadline = waits;
    limits.unpairedTimeout = waits;
    limits.closeLinger = milliseconds(300);
    return limits;
}

void RelayFixture::StartRelay(relay::RelayLimits limits)
{
    const boost::asio::ip::tcp::endpoint loopback(boost::asio::ip::make_address("127.0.0.1"), 0);
    server_ = std::make_unique<relay::RelayServer>(io_, loopback, sessions_, limits, [this](std::string_view line) {
        std::lock_guard lock(logMutex_);
        log_.emplace_back(line);
        logged_.notify_all();
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
    boost::asio::post(io_, boost::asio::use_future([this] { server_->Stop(); })).wait();
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
    return std::make_unique<RelayTestClient>(server_->Port(), sourceAddress, bufferBytes);
}

std::unique_ptr<RelayTestClient> RelayFixture::Join(const std::string& sessaoId, const std::string& streamKey,
                                                    const std::string& role, const std::string& reply, int bufferBytes)
{
    auto client = Connect(nullptr, bufferBytes);
    client->Send(JoinLine(sessaoId, streamKey, role));
    EXPECT_EQ(client->ReadLine(), reply) << sessaoId << " " << role;
    return client;
}

std::pair<std::unique_ptr<RelayTestClient>, std::unique_ptr<RelayTestClient>> RelayFixture::Pair(
    const std::string& sessaoId, const std::string& streamKey, int bufferBytes)
{
    sessions_.Accept(sessaoId, streamKey);
    auto cliente = Join(sessaoId, streamKey, "cliente", kWaiting, bufferBytes);
    auto tecnico = Join(sessaoId, streamKey, "tecnico", kPaired, bufferBytes);
    EXPECT_EQ(cliente->ReadLine(), kPaired);
    return {std::move(cliente), std::move(tecnico)};
}

std::vector<std::string> RelayFixture::LogLines() const
{
    std::lock_guard lock(logMutex_);
    return log_;
}

bool RelayFixture::LogShows(const std::string& text) const
{
    std::unique_lock lock(logMutex_);
    return logged_.wait_for(lock, kPatience, [&] {
        for (const std::string& line : log_)
            if (line.find(text) != std::string::npos)
                return true;
        return false;
    });
}

}  // namespace relaytest
