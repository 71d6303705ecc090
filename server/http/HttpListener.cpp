#include "server/http/HttpListener.h"

#include "server/ServerLog.h"
#include "server/http/PendingConnection.h"

#include <memory>

namespace http {

HttpListener::HttpListener(boost::asio::io_context& io, const boost::asio::ip::tcp::endpoint& endpoint,
                           HttpShared& shared)
    : io_(io), acceptor_(io), retry_(io), shared_(shared)
{
    acceptor_.open(endpoint.protocol());
    acceptor_.set_option(boost::asio::socket_base::reuse_address(true));
    acceptor_.bind(endpoint);
    acceptor_.listen(boost::asio::socket_base::max_listen_connections);
    acceptor_.non_blocking(true);
}

void HttpListener::Start() { DoAccept(); }

void HttpListener::Stop()
{
    boost::system::error_code ec;
    acceptor_.close(ec);
    retry_.cancel();
}

unsigned short HttpListener::Port() const { return acceptor_.local_endpoint().port(); }

void HttpListener::DoAccept()
{
    acceptor_.async_accept(io_, [this](boost::system::error_code ec, boost::asio::ip::tcp::socket socket) {
        OnAccept(ec, std::move(socket));
    });
}

void HttpListener::OnAccept(boost::system::error_code ec, boost::asio::ip::tcp::socket socket)
{
    if (ec == boost::asio::error::operation_aborted || !acceptor_.is_open())
        return;
    if (ec) {
        ServerLog("http: accept failed: %s", ec.message().c_str());
        retry_.expires_after(std::chrono::milliseconds(100));
        retry_.async_wait([this](boost::system::error_code waited) {
            if (!waited)
                DoAccept();
        });
        return;
    }
    Admit(std::move(socket));
    // A flood fills the kernel's queue of connections waiting to be accepted,
    // and a full queue drops everyone's new connections alike: what is queued
    // already is taken in one go, without a trip through the event loop each.
    for (int more = 0; more < kAcceptBatch; ++more) {
        boost::asio::ip::tcp::socket next(io_);
        acceptor_.accept(next, ec);
        if (ec)
            break;  // nothing more queued, or a failure the next asynchronous accept reports
        Admit(std::move(next));
    }
    DoAccept();
}

void HttpListener::Admit(boost::asio::ip::tcp::socket socket)
{
    boost::system::error_code ec;
    const boost::asio::ip::address peer = socket.remote_endpoint(ec).address();
    if (ec)
        return;  // already gone
    std::optional<net::SourceTicket> ticket = shared_.connections.TryAcquire(peer);
    if (!ticket) {
        shared_.LogRefusal(peer);
        socket.close(ec);
        return;
    }
    shared_.memory.Opened(shared_.connections.Total());
    socket.set_option(boost::asio::ip::tcp::no_delay(true), ec);
    std::make_shared<PendingConnection>(std::move(socket), peer, std::move(*ticket), shared_)->Start();
}

}  // namespace http
