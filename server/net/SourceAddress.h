#pragma once

#include <boost/asio/ip/address.hpp>

#include <string>
#include <string_view>

// Where a connection or a request comes from, as the per-source limits count
// it: an IPv4 address, or the /64 an IPv6 address lies in (a household or an
// office is given a whole /64, so its lower half costs nothing to change).
// An IPv4 client of a dual-stack socket is its IPv4 address.

namespace net {

// An IPv4 client of a dual-stack socket as the IPv4 address it is.
boost::asio::ip::address Unmapped(const boost::asio::ip::address& address);

boost::asio::ip::address SourceOf(const boost::asio::ip::address& address);

// The same from an address's text ("2001:db8:1:2::/64" for an IPv6 one); a
// text that is no address is its own source.
std::string SourceText(std::string_view address);

}  // namespace net
