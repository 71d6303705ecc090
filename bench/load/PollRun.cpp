#include "load/PollRun.h"

#include "load/ParallelSteps.h"
#include "load/ServiceClient.h"

#include <boost/asio/steady_timer.hpp>
#include <boost/asio/use_awaitable.hpp>

namespace load {

namespace asio = boost::asio;
using Clock = std::chrono::steady_clock;

namespace {

constexpr auto kPeriod = std::chrono::milliseconds(2000);  // the program's status timer
constexpr std::chrono::milliseconds kDeadline{40000};     // the program's request limits, end to end
constexpr std::size_t kErrorsKept = 5;

void CountError(PollResult& result, const std::string& what)
{
    ++result.errors;
    if (result.firstErrors.size() < kErrorsKept)
        result.firstErrors.push_back(what);
}

void Tally(PollResult& result, const Poller& poller, const HttpsAnswer& answer)
{
    ++result.polls;
    if (!answer.failure.empty())
        return CountError(result, answer.failure);
    result.latency.Add(answer.ms);
    if (answer.status != 200)
        return CountError(result, "HTTP " + std::to_string(answer.status) + ": " + answer.body);
    if (!ReplyOk(answer.body))
        return CountError(result, "ok is not true: " + answer.body);
    const std::string status = ReplyValue(answer.body, "status");
    ++result.statuses[status];
    if (!poller.expectedStatus.empty() && status != poller.expectedStatus)
        return CountError(result, "status " + status + " where " + poller.expectedStatus + " was due");
    if (status == "aguardando" && result.sampleReply.empty())
        result.sampleReply = answer.body;
}

asio::awaitable<void> PollEvery(DeviceConnection& connection, const Poller& poller, Clock::time_point first,
                                Clock::time_point end, PollResult& result)
{
    asio::steady_timer tick(co_await asio::this_coro::executor);
    for (Clock::time_point next = first; next < end; next += kPeriod) {
        tick.expires_at(next);
        co_await tick.async_wait(asio::use_awaitable);
        Tally(result, poller, co_await connection.Request(poller.request, kDeadline));
        if (Clock::now() > next + kPeriod)
            ++result.lateTicks;
    }
}

}  // namespace

void Merge(PollResult& into, const PollResult& more)
{
    into.polls += more.polls;
    into.errors += more.errors;
    into.lateTicks += more.lateTicks;
    into.latency.Add(more.latency);
    for (const auto& [status, n] : more.statuses)
        into.statuses[status] += n;
    for (const std::string& error : more.firstErrors)
        if (into.firstErrors.size() < kErrorsKept)
            into.firstErrors.push_back(error);
    if (into.sampleReply.empty())
        into.sampleReply = more.sampleReply;
    into.seconds += more.seconds;
}

Connections ConnectionsFor(asio::ssl::context& tls, unsigned short port, const std::vector<Poller>& pollers,
                           ConnectionStyle style)
{
    Connections connections;
    for (const Poller& poller : pollers)
        connections.emplace_back(tls, poller.from, port, style);
    return connections;
}

asio::awaitable<void> RunPolls(Connections& connections, const std::vector<Poller>& pollers, double seconds,
                               PollResult& result)
{
    const auto start = Clock::now() + std::chrono::milliseconds(100);
    const auto end = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    const std::size_t n = pollers.size();
    co_await ForEach(n, n, [&](std::size_t i) -> asio::awaitable<void> {
        const auto first = start + kPeriod * static_cast<long>(i) / static_cast<long>(n);
        co_await PollEvery(connections[i], pollers[i], first, end, result);
    });
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
}

asio::awaitable<void> RunPolls(asio::ssl::context& tls, unsigned short port, const std::vector<Poller>& pollers,
                               double seconds, PollResult& result)
{
    Connections connections = ConnectionsFor(tls, port, pollers, ConnectionStyle::FullHandshake);
    co_await RunPolls(connections, pollers, seconds, result);
}

}  // namespace load
