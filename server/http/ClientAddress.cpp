#include "server/http/ClientAddress.h"

#include "server/net/SourceAddress.h"

#include <algorithm>

namespace http {
namespace {

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

}  // namespace

std::string AddressText(const boost::asio::ip::address& address)
{
    return net::Unmapped(address).to_string();
}

std::string ClientAddress(const boost::asio::ip::address& peer, const std::string& peerText,
                          const std::vector<boost::asio::ip::address>& trustedProxies,
                          std::string_view forwardedFor)
{
    const bool trusted = std::find(trustedProxies.begin(), trustedProxies.end(), peer) != trustedProxies.end();
    if (trusted && !forwardedFor.empty()) {
        const std::size_t comma = forwardedFor.rfind(',');
        const std::string_view last = Trim(comma == std::string_view::npos ? forwardedFor : forwardedFor.substr(comma + 1));
        boost::system::error_code ec;
        const auto forwarded = boost::asio::ip::make_address(std::string(last), ec);
        if (!ec)
            return AddressText(forwarded);
    }
    return peerText;
}

}  // namespace http
