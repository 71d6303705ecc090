#include "server/net/SourceAddress.h"

namespace net {

namespace ip = boost::asio::ip;

ip::address Unmapped(const ip::address& address)
{
    if (address.is_v6() && address.to_v6().is_v4_mapped())
        return ip::make_address_v4(ip::v4_mapped, address.to_v6());
    return address;
}

ip::address SourceOf(const ip::address& address)
{
    const ip::address plain = Unmapped(address);
    if (!plain.is_v6())
        return plain;
    ip::address_v6::bytes_type bytes = plain.to_v6().to_bytes();
    for (std::size_t i = 8; i < bytes.size(); ++i)
        bytes[i] = 0;
    return ip::address_v6(bytes);
}

std::string SourceText(std::string_view address)
{
    boost::system::error_code ec;
    const ip::address parsed = ip::make_address(std::string(address), ec);
    if (ec)
        return std::string(address);
    const ip::address source = SourceOf(parsed);
    return source.is_v6() ? source.to_string() + "/64" : source.to_string();
}

}  // namespace net
