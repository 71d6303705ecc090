#include "server/http/PendingConnection.h"

#include "server/ServerLog.h"
#include "server/http/ClientAddress.h"
#include "server/http/HttpSession.h"

#include <cerrno>
#include <sys/socket.h>

namespace http {

PendingConnection::PendingConnection(boost::asio::ip::tcp::socket socket, const boost::asio::ip::address& peer,
                                     net::SourceTicket ticket, HttpShared& shared)
    : socket_(std::move(socket)),
      deadline_(socket_.get_executor()),
      client_(peer),
      ticket_(std::move(ticket)),
      shared_(shared)
{
}

void PendingConnection::Start()
{
    if (shared_.SendsProxyHeader(client_))
        header_ = std::make_unique<net::ProxyHeaderReader>();
    deadline_.expires_after(shared_.limits.handshakeTimeout);
    deadline_.async_wait([self = shared_from_this()](const boost::system::error_code& ec) {
        if (ec)
            return;
        if (self->header_)
            ServerLog("http: no PROXY header from %s within %llds, closed", AddressText(self->client_).c_str(),
                      static_cast<long long>(self->shared_.limits.handshakeTimeout.count()));
        self->Close();  // ends the wait for bytes, and with it this object
    });
    WaitForBytes();
}

void PendingConnection::WaitForBytes()
{
    socket_.async_wait(boost::asio::socket_base::wait_read,
                       [self = shared_from_this()](const boost::system::error_code& ec) { self->OnReadable(ec); });
}

void PendingConnection::OnReadable(const boost::system::error_code& ec)
{
    if (ec || !socket_.is_open())
        return;
    if (header_)
        return ReadHeader();
    char first = 0;
    const ssize_t peeked = recv(socket_.native_handle(), &first, 1, MSG_PEEK | MSG_DONTWAIT);
    if (peeked < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        return WaitForBytes();
    deadline_.cancel();
    // A client that connected only to hang up is not worth a TLS stream.
    if (peeked <= 0)
        return;
    std::make_shared<HttpSession>(std::move(socket_), client_, std::move(*ticket_), shared_, deadline_.expiry())
        ->Run();
}

void PendingConnection::ReadHeader()
{
    boost::system::error_code ec;
    const net::ProxyHeaderScan scan = header_->ReadFrom(socket_, ec);
    if (ec == boost::asio::error::would_block)
        return WaitForBytes();
    if (scan.status == net::ProxyHeaderScan::Status::Done)
        return OnHeader(scan);
    if (const char* failure = header_->Failure(scan))
        ServerLog("http: bad PROXY header from %s (%s), closed", AddressText(client_).c_str(), failure);
    Close();
}

void PendingConnection::OnHeader(const net::ProxyHeaderScan& scan)
{
    header_.reset();
    if (scan.client && !ticket_->MoveTo(scan.client->address())) {
        shared_.LogRefusal(scan.client->address());
        return Close();
    }
    if (scan.client)
        client_ = scan.client->address();
    WaitForBytes();
}

void PendingConnection::Close()
{
    boost::system::error_code ignored;
    deadline_.cancel();
    socket_.close(ignored);
}

}  // namespace http
