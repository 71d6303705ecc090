#include "server/net/ProxyHeaderReader.h"

#include <boost/asio/error.hpp>

#include <cerrno>
#include <sys/socket.h>

namespace net {
namespace {

// recv without waiting; the bytes received, or 0 with `ec` set.
std::size_t Receive(int fd, char* into, std::size_t room, int flags, boost::system::error_code& ec)
{
    const ssize_t n = recv(fd, into, room, flags | MSG_DONTWAIT);
    if (n < 0)
        ec.assign(errno, boost::system::system_category());
    else if (n == 0)
        ec = boost::asio::error::eof;
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

}  // namespace

ProxyHeaderScan ProxyHeaderReader::ReadFrom(boost::asio::ip::tcp::socket& socket, boost::system::error_code& ec)
{
    const int fd = socket.native_handle();
    ec.clear();
    for (;;) {
        const std::size_t peeked = Receive(fd, bytes_.data() + size_, bytes_.size() - size_, MSG_PEEK, ec);
        if (ec)
            return {};
        const ProxyHeaderScan scan = ScanProxyHeader({bytes_.data(), size_ + peeked});
        const std::size_t take = scan.status == ProxyHeaderScan::Status::Done ? scan.length - size_
                               : scan.status == ProxyHeaderScan::Status::NeedMore ? peeked
                                                                                  : 0;
        if (take > 0 && Receive(fd, bytes_.data() + size_, take, 0, ec) != take) {
            if (!ec)  // fewer than were peeked: someone else reads this socket
                ec = boost::asio::error::fault;
            return {};
        }
        size_ += take;
        if (scan.status != ProxyHeaderScan::Status::NeedMore)
            return scan;
    }
}

const char* ProxyHeaderReader::Failure(const ProxyHeaderScan& scan) const
{
    if (scan.status == ProxyHeaderScan::Status::Bad)
        return scan.reason;
    return size_ > 0 ? "the connection ended first" : nullptr;
}

}  // namespace net
