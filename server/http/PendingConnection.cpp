#include "server/http/PendingConnection.h"

#include "server/http/HttpSession.h"

#include <cerrno>
#include <sys/socket.h>

namespace http {

PendingConnection::PendingConnection(boost::asio::ip::tcp::socket socket, net::SourceTicket ticket,
                                     HttpShared& shared)
    : socket_(std::move(socket)), deadline_(socket_.get_executor()), ticket_(std::move(ticket)), shared_(shared)
{
}

void PendingConnection::Start()
{
    deadline_.expires_after(shared_.limits.handshakeTimeout);
    deadline_.async_wait([self = shared_from_this()](const boost::system::error_code& ec) {
        boost::system::error_code ignored;
        if (!ec)
            self->socket_.close(ignored);  // ends the wait for bytes, and with it this object
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
    char first = 0;
    const ssize_t peeked = recv(socket_.native_handle(), &first, 1, MSG_PEEK | MSG_DONTWAIT);
    if (peeked < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        return WaitForBytes();
    deadline_.cancel();
    // A client that connected only to hang up is not worth a TLS stream.
    if (peeked <= 0)
        return;
    std::make_shared<HttpSession>(std::move(socket_), std::move(*ticket_), shared_, deadline_.expiry())->Run();
}

}  // namespace http
