#pragma once

#include <boost/asio/ip/tcp.hpp>

#include <cstddef>
#include <optional>
#include <string_view>

// The header a load balancer in TCP mode puts before a connection's own bytes
// to name the client it carries (versions 1, a text line, and 2, binary).
// Read before anything else on a connection from such a peer; what follows it
// is the client's stream, untouched.

namespace net {

// A version-1 line is at most 107 bytes; a version-2 header is 16 bytes and an
// address block, whose length we cap: addresses and a few TLVs fit easily.
inline constexpr std::size_t kMaxProxyHeaderBytes = 16 + 520;

struct ProxyHeaderScan {
    enum class Status { NeedMore, Done, Bad };
    Status status = Status::NeedMore;
    std::size_t length = 0;  // Done: the header's bytes
    // Done: the client; none for the balancer's own connections (health
    // checks) and unknown families, whose client is the peer itself.
    std::optional<boost::asio::ip::tcp::endpoint> client;
    const char* reason = "";  // Bad: why, for the log
};

// Looks at the first bytes received, all of them each time, so a caller
// keeps them until Done or Bad. NeedMore means every byte given can still be
// part of a header; at kMaxProxyHeaderBytes it is never the answer.
ProxyHeaderScan ScanProxyHeader(std::string_view received);

}  // namespace net
