#include "relay/RelayListener.h"

#include <algorithm>
#include <boost/asio/error.hpp>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <vector>

#include "relay/RelaySide.h"
#include "relay/RelayState.h"

namespace relay {

namespace asio = boost::asio;
using asio::ip::tcp;
using boost::system::error_code;

namespace {

// A pause after a failed accept (out of descriptors, say), so the loop does not spin.
constexpr std::chrono::milliseconds kAcceptRetry{100};

// A peer that vanished without a FIN (a dropped laptop) is found out within
// about two minutes even when its session is idle.
constexpr int kKeepAliveIdleSeconds = 60;
constexpr int kKeepAliveIntervalSeconds = 15;
constexpr int kKeepAliveProbes = 4;

void TuneSocket(tcp::socket& socket)
{
    error_code ignored;
    // Frames and single input commands travel here; none may wait for more.
    socket.set_option(tcp::no_delay(true), ignored);
    socket.set_option(asio::socket_base::keep_alive(true), ignored);
    socket.set_option(asio::detail::socket_option::integer<IPPROTO_TCP, TCP_KEEPIDLE>(kKeepAliveIdleSeconds),
                      ignored);
    socket.set_option(asio::detail::socket_option::integer<IPPROTO_TCP, TCP_KEEPINTVL>(kKeepAliveIntervalSeconds),
                      ignored);
    socket.set_option(asio::detail::socket_option::integer<IPPROTO_TCP, TCP_KEEPCNT>(kKeepAliveProbes), ignored);
    // Reads are "wait until readable, then read what is there".
    socket.non_blocking(true, ignored);
}

// Read whatever the peer already sent before closing, so the refusal is not
// lost to a reset; nothing is waited for.
void RefuseAtDoor(tcp::socket& socket, RelayState& state, Refusal refusal)
{
    error_code ignored;
    socket.non_blocking(true, ignored);
    for (int reads = 0; reads < 4 && socket.read_some(asio::buffer(state.discard), ignored) > 0; ++reads) {
    }
    const std::string line = RefusalLine(refusal);
    socket.write_some(asio::buffer(line), ignored);
    socket.shutdown(tcp::socket::shutdown_both, ignored);
    socket.close(ignored);
}

tcp::acceptor OpenAcceptor(asio::io_context& io, const tcp::endpoint& endpoint)
{
    tcp::acceptor acceptor(io, endpoint.protocol());
    acceptor.set_option(asio::socket_base::reuse_address(true));
    acceptor.bind(endpoint);
    acceptor.listen(asio::socket_base::max_listen_connections);
    return acceptor;
}

}  // namespace

RelayListener::RelayListener(asio::io_context& io, const tcp::endpoint& endpoint, SessionCheck& sessions,
                             const RelayLimits& limits, RelayLogSink log)
    : state_(std::make_shared<RelayState>(sessions, limits, std::move(log))),
      acceptor_(OpenAcceptor(io, endpoint)),
      retry_(io)
{
}

void RelayListener::Start()
{
    state_->log.Write("listening on port " + std::to_string(Port()));
    Accept();
}

void RelayListener::Stop()
{
    if (stopped_)
        return;
    stopped_ = true;
    state_->stopping = true;
    error_code ignored;
    acceptor_.close(ignored);
    retry_.cancel();
    const std::vector<RelaySide*> open(state_->live.begin(), state_->live.end());
    for (RelaySide* side : open)
        side->CloseNow();
    state_->log.Write("stopped, closed " + std::to_string(open.size()) + " connections");
}

unsigned short RelayListener::Port() const
{
    error_code ec;
    return acceptor_.local_endpoint(ec).port();
}

void RelayListener::Accept()
{
    acceptor_.async_accept([self = shared_from_this()](const error_code& ec, tcp::socket socket) {
        if (self->stopped_ || ec == asio::error::operation_aborted)
            return;
        if (ec) {
            self->state_->log.Write("accept failed: " + ec.message());
            return self->RetryLater();
        }
        self->Admit(std::move(socket));
        self->Accept();
    });
}

void RelayListener::RetryLater()
{
    retry_.expires_after(kAcceptRetry);
    retry_.async_wait([self = shared_from_this()](const error_code& ec) {
        if (!ec && !self->stopped_)
            self->Accept();
    });
}

void RelayListener::Admit(tcp::socket socket)
{
    error_code ec;
    const tcp::endpoint remote = socket.remote_endpoint(ec);
    if (ec)
        return;  // already gone
    std::optional<AddressTicket> ticket = state_->addresses.TryAcquire(remote.address());
    if (!ticket) {
        const Refusal refusal = state_->addresses.Full() ? Refusal::RelayFull : Refusal::TooManyConnections;
        if (state_->addresses.RefusalWorthLogging())
            state_->log.Write("refused peer=" + PeerText(remote) + " reason=" + std::string(RefusalLogName(refusal))
                              + " (refusal " + std::to_string(state_->addresses.Refusals()) + " at the door)");
        return RefuseAtDoor(socket, *state_, refusal);
    }
    TuneSocket(socket);
    const std::vector<asio::ip::address>& balancers = state_->limits.proxyPeers;
    const bool header = std::find(balancers.begin(), balancers.end(), remote.address()) != balancers.end();
    std::make_shared<RelaySide>(state_, std::move(socket), std::move(*ticket), PeerText(remote))->Start(header);
}

}  // namespace relay
