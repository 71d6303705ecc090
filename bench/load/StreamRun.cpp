#include "load/StreamRun.h"

#include "load/LoopbackAddress.h"
#include "load/ParallelSteps.h"
#include "server_relay/BenchSockets.h"

#include <boost/asio/read_until.hpp>
#include <boost/asio/redirect_error.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/write.hpp>

#include <netinet/in.h>
#include <stdexcept>

namespace load {

namespace asio = boost::asio;
using asio::ip::tcp;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::size_t kErrorsKept = 5;
constexpr auto kDrainLimit = std::chrono::seconds(15);
constexpr std::size_t kReadChunk = 64 * 1024;
constexpr std::size_t kLineLimit = 4096;  // relay replies, Hello, Accept and commands are far shorter

Clock::duration Every(double perSecond)
{
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / perSecond));
}

asio::awaitable<std::string> ReadLine(tcp::socket& socket, std::string& buffer)
{
    const std::size_t n =
        co_await asio::async_read_until(socket, asio::dynamic_buffer(buffer, kLineLimit), '\n', asio::use_awaitable);
    std::string line = buffer.substr(0, n);
    buffer.erase(0, n);
    co_return line;
}

asio::awaitable<void> ConnectFrom(tcp::socket& socket, std::size_t device, unsigned short port)
{
    socket.open(tcp::v4());
    const int on = 1;
    setsockopt(socket.native_handle(), IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, &on, sizeof on);
    socket.bind({DeviceAddress(device), 0});
    co_await socket.async_connect({asio::ip::address_v4::loopback(), port}, asio::use_awaitable);
    socket.set_option(tcp::no_delay(true));
}

asio::awaitable<void> Join(tcp::socket& socket, std::string& buffer, const SessionLink& link, const char* role,
                           const char* awaited)
{
    const std::string line = "JOIN|" + link.sessaoId + "|" + link.streamKey + "|" + role + "|marquelin-relay-v1\n";
    co_await asio::async_write(socket, asio::buffer(line), asio::use_awaitable);
    const std::string reply = co_await ReadLine(socket, buffer);
    if (reply.find(awaited) == std::string::npos)
        throw std::runtime_error(std::string("relay answered the ") + role + " of " + link.sessaoId + ": " + reply);
}

// What one session's four loops share; the run's totals are summed from it.
struct SessionTally {
    std::uint64_t framesSent = 0, framesReceived = 0, commandsSent = 0, commandsReceived = 0;
    std::uint64_t bytesToTecnico = 0, bytesToCliente = 0;
    bool framesDone = false, commandsDone = false;
};

class StreamingRun {
public:
    StreamingRun(SessionLinks& links, const StreamPlan& plan, StreamResult& result)
        : links_(links), plan_(plan), result_(result), tallies_(links.size())
    {
        start_ = Clock::now() + std::chrono::milliseconds(100);
        end_ = start_ + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(plan.seconds));
    }

    // Four loops per session and one that ends the run.
    std::size_t Tasks() const { return links_.size() * 4 + 1; }
    asio::awaitable<void> Task(std::size_t t)
    {
        if (t == links_.size() * 4)
            co_return co_await EndRun();
        const std::size_t s = t / 4;
        switch (t % 4) {
        case 0: co_return co_await SendFrames(s);
        case 1: co_return co_await CheckFrames(s);
        case 2: co_return co_await SendCommands(s);
        default: co_return co_await CheckCommands(s);
        }
    }
    void Sum();

private:
    void Error(const std::string& what)
    {
        ++result_.errors;
        if (result_.firstErrors.size() < kErrorsKept)
            result_.firstErrors.push_back(what);
    }
    void LostLink(std::size_t s, const char* side, const boost::system::system_error& e)
    {
        if (!closing_)
            Error("session " + links_[s]->sessaoId + ", " + side + ": " + e.what());
    }
    Clock::time_point FirstTick(std::size_t s, Clock::duration period) const
    {
        return start_ + period * static_cast<long>(s) / static_cast<long>(links_.size());
    }
    bool Complete() const
    {
        for (const SessionTally& t : tallies_)
            if (!t.framesDone || !t.commandsDone || t.framesReceived != t.framesSent
                || t.commandsReceived != t.commandsSent)
                return false;
        return true;
    }

    asio::awaitable<void> SendFrames(std::size_t s);
    asio::awaitable<void> CheckFrames(std::size_t s);
    asio::awaitable<void> SendCommands(std::size_t s);
    asio::awaitable<void> CheckCommands(std::size_t s);
    asio::awaitable<void> EndRun();

    SessionLinks& links_;
    const StreamPlan& plan_;
    StreamResult& result_;
    std::vector<SessionTally> tallies_;
    Clock::time_point start_, end_;
    bool closing_ = false;
};

asio::awaitable<void> StreamingRun::SendFrames(std::size_t s)
{
    SessionLink& link = *links_[s];
    SessionTally& tally = tallies_[s];
    const Clock::duration period = Every(plan_.framesPerSecond);
    asio::steady_timer tick(co_await asio::this_coro::executor);
    std::string frame;
    try {
        for (Clock::time_point next = FirstTick(s, period); next < end_; next += period) {
            tick.expires_at(next);
            co_await tick.async_wait(asio::use_awaitable);
            if (Clock::now() > next + period)
                ++result_.lateFrames;
            frame.clear();
            AppendFrame(frame, link.id, tally.framesSent, NowNs(), plan_.sizes);
            co_await asio::async_write(link.cliente, asio::buffer(frame), asio::use_awaitable);
            ++tally.framesSent;
            tally.bytesToTecnico += frame.size();
        }
    } catch (const boost::system::system_error& e) {
        LostLink(s, "cliente sending", e);
    }
    tally.framesDone = true;
}

asio::awaitable<void> StreamingRun::CheckFrames(std::size_t s)
{
    SessionLink& link = *links_[s];
    SessionTally& tally = tallies_[s];
    FrameChecker checker(link.id, plan_.sizes);
    checker.onFrame = [this, &tally](double ms) {
        ++tally.framesReceived;
        result_.frameLatency.Add(ms);
    };
    bool ok = checker.Feed(link.tecnicoBuffer.data(), link.tecnicoBuffer.size());
    std::vector<char> chunk(kReadChunk);
    try {
        while (ok) {
            const std::size_t n = co_await link.tecnico.async_read_some(asio::buffer(chunk), asio::use_awaitable);
            ok = checker.Feed(chunk.data(), n);
        }
        Error("session " + link.sessaoId + ", tecnico: " + checker.Error());
    } catch (const boost::system::system_error& e) {
        LostLink(s, "tecnico reading", e);
    }
}

asio::awaitable<void> StreamingRun::SendCommands(std::size_t s)
{
    SessionLink& link = *links_[s];
    SessionTally& tally = tallies_[s];
    const Clock::duration period = Every(plan_.commandsPerSecond);
    asio::steady_timer tick(co_await asio::this_coro::executor);
    try {
        for (Clock::time_point next = FirstTick(s, period); next < end_; next += period) {
            tick.expires_at(next);
            co_await tick.async_wait(asio::use_awaitable);
            const std::string line = CommandLine(tally.commandsSent);
            co_await asio::async_write(link.tecnico, asio::buffer(line), asio::use_awaitable);
            ++tally.commandsSent;
            tally.bytesToCliente += line.size();
        }
    } catch (const boost::system::system_error& e) {
        LostLink(s, "tecnico sending", e);
    }
    tally.commandsDone = true;
}

asio::awaitable<void> StreamingRun::CheckCommands(std::size_t s)
{
    SessionLink& link = *links_[s];
    SessionTally& tally = tallies_[s];
    try {
        for (;;) {
            const std::string line = co_await ReadLine(link.cliente, link.clienteBuffer);
            if (line != CommandLine(tally.commandsReceived)) {
                Error("session " + link.sessaoId + ", cliente: command " + std::to_string(tally.commandsReceived)
                      + " arrived as " + line.substr(0, 40));
                co_return;
            }
            ++tally.commandsReceived;
        }
    } catch (const boost::system::system_error& e) {
        LostLink(s, "cliente reading", e);
    }
}

// After the last send, waits for every byte to arrive (or the drain limit),
// then closes both ends of every link, which ends the reading loops.
asio::awaitable<void> StreamingRun::EndRun()
{
    asio::steady_timer tick(co_await asio::this_coro::executor);
    tick.expires_at(end_);
    co_await tick.async_wait(asio::use_awaitable);
    const auto limit = Clock::now() + kDrainLimit;
    while (!Complete() && Clock::now() < limit) {
        tick.expires_after(std::chrono::milliseconds(20));
        co_await tick.async_wait(asio::use_awaitable);
    }
    result_.seconds = std::chrono::duration<double>(Clock::now() - start_).count();
    if (!Complete())
        Error("not every frame and command arrived within " + std::to_string(kDrainLimit.count()) + " s of the end");
    closing_ = true;
    boost::system::error_code ec;
    for (auto& link : links_) {
        link->cliente.close(ec);
        link->tecnico.close(ec);
    }
}

void StreamingRun::Sum()
{
    result_.sessions = links_.size();
    for (const SessionTally& t : tallies_) {
        result_.framesSent += t.framesSent;
        result_.framesReceived += t.framesReceived;
        result_.commandsSent += t.commandsSent;
        result_.commandsReceived += t.commandsReceived;
        result_.bytesToTecnico += t.bytesToTecnico;
        result_.bytesToCliente += t.bytesToCliente;
    }
}

}  // namespace

asio::awaitable<void> JoinRelay(SessionLink& link, unsigned short relayPort)
{
    co_await ConnectFrom(link.cliente, link.id * 2, relayPort);
    co_await Join(link.cliente, link.clienteBuffer, link, "cliente", "AGUARDANDO");
    co_await ConnectFrom(link.tecnico, link.id * 2 + 1, relayPort);
    co_await Join(link.tecnico, link.tecnicoBuffer, link, "tecnico", "CONECTADO");
    const std::string paired = co_await ReadLine(link.cliente, link.clienteBuffer);
    if (paired.find("CONECTADO") == std::string::npos)
        throw std::runtime_error("relay did not pair the cliente of " + link.sessaoId + ": " + paired);
}

void ConnectDirect(SessionLink& link)
{
    int cliente = -1, tecnico = -1;
    relaybench::DirectPair(cliente, tecnico);
    link.cliente.assign(tcp::v4(), cliente);
    link.tecnico.assign(tcp::v4(), tecnico);
}

asio::awaitable<void> ShakeHands(SessionLink& link)
{
    const std::string hello = "HELLO:" + link.sessaoId + ":" + link.streamKey + "\n";
    co_await asio::async_write(link.tecnico, asio::buffer(hello), asio::use_awaitable);
    if (co_await ReadLine(link.cliente, link.clienteBuffer) != hello)
        throw std::runtime_error("the cliente of " + link.sessaoId + " got another Hello");
    static const std::string accept = "OK\n";
    co_await asio::async_write(link.cliente, asio::buffer(accept), asio::use_awaitable);
    if (co_await ReadLine(link.tecnico, link.tecnicoBuffer) != "OK\n")
        throw std::runtime_error("the tecnico of " + link.sessaoId + " got no Accept");
}

asio::awaitable<void> RunStreams(SessionLinks& links, const StreamPlan& plan, StreamResult& result)
{
    StreamingRun run(links, plan, result);
    co_await ForEach(run.Tasks(), run.Tasks(), [&run](std::size_t t) { return run.Task(t); });
    run.Sum();
}

}  // namespace load
