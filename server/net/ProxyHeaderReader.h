#pragma once

#include "server/net/ProxyHeader.h"

#include <boost/asio/ip/tcp.hpp>

#include <array>
#include <cstddef>

// Takes a PROXY header off a socket without taking a byte past it: what
// follows (a TLS ClientHello, a Join line) stays in the socket for whoever
// reads next. Bytes are peeked and consumed only once they are known to be
// the header's, so a wait for more never finds old bytes ready. Never blocks.

namespace net {

class ProxyHeaderReader {
public:
    // NeedMore with `ec` set: would_block to wait until readable, another
    // error (eof included) when the connection ended first.
    ProxyHeaderScan ReadFrom(boost::asio::ip::tcp::socket& socket, boost::system::error_code& ec);
    // Why a read that is neither Done nor waiting failed, for the log; null
    // for a peer that connected only to hang up (a balancer's check).
    const char* Failure(const ProxyHeaderScan& scan) const;

private:
    std::array<char, kMaxProxyHeaderBytes> bytes_;
    std::size_t size_ = 0;
};

}  // namespace net
