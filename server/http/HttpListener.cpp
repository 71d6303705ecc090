#include "server/http/HttpListener.h"

#include "server/ServerLog.h"
#include "server/http/HttpSession.h"

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
    if (shared_.openConnections >= shared_.limits.maxConnections) {
        boost::system::error_code ignored;
        socket.close(ignored);
    } else {
        socket.set_option(boost::asio::ip::tcp::no_delay(true), ec);
        std::make_shared<HttpSession>(std::move(socket), shared_)->Run();
    }
    DoAccept();
}

}  // namespace http
