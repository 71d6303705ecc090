#include "load/FloodTraffic.h"

#include "load/OneShotHttps.h"

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/redirect_error.hpp>
#include <boost/asio/ssl/stream.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/streambuf.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/write.hpp>

#include <algorithm>
#include <cerrno>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace load {

namespace asio = boost::asio;
using asio::ip::tcp;
using Clock = std::chrono::steady_clock;
using Tls = asio::ssl::stream<tcp::socket>;

namespace {

// The header of a request that never ends: at a byte a second, 8 KiB of it
// outlast the server's request time-out many times over.
constexpr char kSlowHeader[] = "POST /api/status_codigo.php HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: ";
constexpr char kRefusedRequest[] =
    "POST /api/cadastro.php HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 100000000\r\n\r\n";

asio::awaitable<void> Pause(std::chrono::milliseconds pause)
{
    asio::steady_timer timer(co_await asio::this_coro::executor, pause);
    boost::system::error_code ec;
    co_await timer.async_wait(asio::redirect_error(asio::use_awaitable, ec));
}

asio::awaitable<bool> Connect(tcp::socket& socket, const FloodPlan& plan)
{
    boost::system::error_code ec;
    BindSource(socket, plan.from, ec);
    if (!ec)
        co_await socket.async_connect({asio::ip::address_v4::loopback(), plan.port},
                                      asio::redirect_error(asio::use_awaitable, ec));
    co_return !ec;
}

// Whether the server ended the connection (its FIN, its close_notify, a reset), without waiting.
bool EndedByServer(tcp::socket& socket)
{
    char byte = 0;
    const ssize_t n = recv(socket.native_handle(), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return n >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
}

void Opened(FloodSlot& slot)
{
    ++slot.tally->opened;
    slot.since = Clock::now();
    slot.open = true;
}

// Past the door: from here on the server's bound on this connection runs.
void Admitted(FloodSlot& slot)
{
    ++slot.tally->admitted;
    slot.since = Clock::now();
}

void Ended(FloodSlot& slot)
{
    const double held = std::chrono::duration<double>(Clock::now() - slot.since).count();
    slot.tally->longestHeldSeconds = std::max(slot.tally->longestHeldSeconds, held);
    slot.open = false;
}

// Sends one byte per interval until the server ends the connection.
asio::awaitable<void> Trickle(Tls& stream, const std::string& bytes, std::chrono::milliseconds interval)
{
    boost::system::error_code ec;
    for (std::size_t i = 0; !ec; ++i) {
        co_await Pause(interval);
        if (EndedByServer(stream.next_layer()))
            break;
        co_await asio::async_write(stream, asio::buffer(&bytes[i % bytes.size()], 1),
                                   asio::redirect_error(asio::use_awaitable, ec));
    }
}

asio::awaitable<void> Silent(const FloodPlan& plan, FloodSlot& slot)
{
    for (;;) {
        tcp::socket socket(co_await asio::this_coro::executor);
        if (co_await Connect(socket, plan)) {
            Opened(slot);
            boost::system::error_code ec;
            co_await socket.async_wait(tcp::socket::wait_read, asio::redirect_error(asio::use_awaitable, ec));
            Ended(slot);
        }
        co_await Pause(plan.reconnect);
    }
}

asio::awaitable<void> Slow(const FloodPlan& plan, asio::ssl::context& tls, FloodSlot& slot)
{
    const std::string header = std::string(kSlowHeader) + std::string(8192, 'a');
    for (;;) {
        Tls stream(co_await asio::this_coro::executor, tls);
        if (co_await Connect(stream.next_layer(), plan)) {
            Opened(slot);
            boost::system::error_code ec;
            co_await stream.async_handshake(Tls::client, asio::redirect_error(asio::use_awaitable, ec));
            if (!ec) {
                Admitted(slot);
                co_await Trickle(stream, header, plan.slowByte);
            }
            Ended(slot);
        }
        co_await Pause(plan.reconnect);
    }
}

asio::awaitable<void> Refused(const FloodPlan& plan, asio::ssl::context& tls, FloodSlot& slot)
{
    for (;;) {
        Tls stream(co_await asio::this_coro::executor, tls);
        if (co_await Connect(stream.next_layer(), plan)) {
            Opened(slot);
            boost::system::error_code ec;
            auto token = asio::redirect_error(asio::use_awaitable, ec);
            co_await stream.async_handshake(Tls::client, token);
            if (!ec)
                co_await asio::async_write(stream, asio::buffer(std::string_view(kRefusedRequest)), token);
            asio::streambuf reply;
            if (!ec)
                co_await asio::async_read_until(stream, reply, "\r\n", token);
            if (!ec && std::string(asio::buffers_begin(reply.data()), asio::buffers_end(reply.data())).find(" 413 ")
                    != std::string::npos) {
                Admitted(slot);
                co_await Trickle(stream, "x", plan.trickleByte);
            }
            Ended(slot);
        }
        co_await Pause(plan.reconnect);
    }
}

}  // namespace

FloodTraffic::FloodTraffic(const FloodPlan& plan, asio::ssl::context& tls)
    : plan_(plan), io_(std::make_unique<asio::io_context>(1))
{
    // The slow kinds first, so they hold their places before the silent wave comes.
    slots_.reserve(plan_.slow + plan_.trickle + plan_.silent);
    auto slot = [this](FloodTally& tally) -> FloodSlot& { return slots_.emplace_back(FloodSlot{&tally, {}, false}); };
    for (std::size_t i = 0; i < plan_.slow; ++i)
        asio::co_spawn(*io_, Slow(plan_, tls, slot(result_.slow)), asio::detached);
    for (std::size_t i = 0; i < plan_.trickle; ++i)
        asio::co_spawn(*io_, Refused(plan_, tls, slot(result_.trickle)), asio::detached);
    for (std::size_t i = 0; i < plan_.silent; ++i)
        asio::co_spawn(*io_, Silent(plan_, slot(result_.silent)), asio::detached);
    thread_ = std::thread([this] {
        // The flood stands for another machine: its own work should not take
        // the two cores from the server and the devices measured beside it.
        setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 19);
        io_->run();
    });
}

FloodTraffic::~FloodTraffic() { Stop(); }

FloodResult FloodTraffic::Stop()
{
    if (thread_.joinable()) {
        io_->stop();
        thread_.join();
        for (FloodSlot& slot : slots_) {
            if (slot.open)
                Ended(slot);
        }
        io_.reset();  // its pending coroutines and their sockets with it
    }
    return result_;
}

}  // namespace load
