#pragma once

#include <boost/asio/ip/address.hpp>

#include <string>
#include <string_view>
#include <vector>

// The client's address as the service records it: the connection's peer,
// unless the peer is a proxy named with --trusted-proxy, in which case the
// last (proxy-appended) entry of X-Forwarded-For, when it is an address.
// IPv4 clients of a dual-stack socket are written in dotted form.

namespace http {

// `peerText` is AddressText(peer), which a connection works out once.
std::string ClientAddress(const boost::asio::ip::address& peer, const std::string& peerText,
                          const std::vector<boost::asio::ip::address>& trustedProxies,
                          std::string_view forwardedFor);

std::string AddressText(const boost::asio::ip::address& address);

}  // namespace http
