#include "server/net/ProxyHeader.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>

namespace net {
namespace {

namespace ip = boost::asio::ip;
using Status = ProxyHeaderScan::Status;

constexpr std::string_view kV1Signature = "PROXY ";
constexpr std::size_t kMaxV1Bytes = 107;
constexpr std::string_view kV2Signature("\r\n\r\n\0\r\nQUIT\n", 12);
constexpr std::size_t kV2FixedBytes = 16;

ProxyHeaderScan Bad(const char* reason)
{
    ProxyHeaderScan scan;
    scan.status = Status::Bad;
    scan.reason = reason;
    return scan;
}

ProxyHeaderScan Done(std::size_t length, std::optional<ip::tcp::endpoint> client = std::nullopt)
{
    ProxyHeaderScan scan;
    scan.status = Status::Done;
    scan.length = length;
    scan.client = client;
    return scan;
}

// The bytes received agree with the signature as far as both go.
bool StartsAs(std::string_view received, std::string_view signature)
{
    const std::size_t n = std::min(received.size(), signature.size());
    return received.substr(0, n) == signature.substr(0, n);
}

std::optional<ip::address> ParseAddress(std::string_view text, bool v6)
{
    char terminated[INET6_ADDRSTRLEN] = {};
    if (text.size() >= sizeof terminated)
        return std::nullopt;
    std::memcpy(terminated, text.data(), text.size());
    if (v6) {
        ip::address_v6::bytes_type bytes;
        return inet_pton(AF_INET6, terminated, bytes.data()) == 1 ? std::optional<ip::address>(ip::address_v6(bytes))
                                                                   : std::nullopt;
    }
    ip::address_v4::bytes_type bytes;
    return inet_pton(AF_INET, terminated, bytes.data()) == 1 ? std::optional<ip::address>(ip::address_v4(bytes))
                                                              : std::nullopt;
}

std::optional<unsigned short> ParsePort(std::string_view text)
{
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || text.size() > 5 || ec != std::errc() || end != text.data() + text.size() || value > 65535)
        return std::nullopt;
    return static_cast<unsigned short>(value);
}

// "TCP4 <source> <destination> <source port> <destination port>", or TCP6.
std::optional<ip::tcp::endpoint> ParseV1Addresses(std::string_view fields)
{
    std::array<std::string_view, 5> field;
    for (std::size_t i = 0; i < field.size(); ++i) {
        const std::size_t space = fields.find(' ');
        if ((space == std::string_view::npos) != (i + 1 == field.size()))
            return std::nullopt;
        field[i] = fields.substr(0, space);
        fields.remove_prefix(space == std::string_view::npos ? fields.size() : space + 1);
    }
    if (field[0] != "TCP4" && field[0] != "TCP6")
        return std::nullopt;
    const bool v6 = field[0] == "TCP6";
    const std::optional<ip::address> source = ParseAddress(field[1], v6);
    const std::optional<unsigned short> port = ParsePort(field[3]);
    if (!source || !ParseAddress(field[2], v6) || !port || !ParsePort(field[4]))
        return std::nullopt;
    return ip::tcp::endpoint(*source, *port);
}

ProxyHeaderScan ScanV1(std::string_view received)
{
    const std::size_t lf = received.substr(0, kMaxV1Bytes).find('\n');
    if (lf == std::string_view::npos)
        return received.size() >= kMaxV1Bytes ? Bad("version-1 header longer than 107 bytes") : ProxyHeaderScan{};
    if (received[lf - 1] != '\r')
        return Bad("version-1 header not ended by CRLF");
    const std::string_view line = received.substr(kV1Signature.size(), lf - 1 - kV1Signature.size());
    if (line == "UNKNOWN" || line.substr(0, 8) == "UNKNOWN ")
        return Done(lf + 1);
    const std::optional<ip::tcp::endpoint> client = ParseV1Addresses(line);
    return client ? Done(lf + 1, client) : Bad("version-1 header with bad addresses");
}

std::uint8_t Byte(std::string_view bytes, std::size_t at) { return static_cast<std::uint8_t>(bytes[at]); }

unsigned short Port(std::string_view bytes, std::size_t at)
{
    return static_cast<unsigned short>(Byte(bytes, at) << 8 | Byte(bytes, at + 1));
}

// The source of an address block: IPv4 (12 bytes: addresses, then ports) or
// IPv6 (36 bytes); the rest, TLVs, is of no use here.
template <typename Address>
ip::tcp::endpoint SourceIn(std::string_view block)
{
    typename Address::bytes_type bytes;
    std::memcpy(bytes.data(), block.data(), bytes.size());
    return {Address(bytes), Port(block, 2 * bytes.size())};
}

ProxyHeaderScan ScanV2(std::string_view received)
{
    if (received.size() < kV2FixedBytes)
        return {};
    const unsigned version = Byte(received, 12) >> 4;
    const unsigned command = Byte(received, 12) & 0xF;
    const unsigned family = Byte(received, 13) >> 4;
    const std::size_t length = kV2FixedBytes + Port(received, 14);
    if (version != 2 || command > 1)
        return Bad("version-2 header of an unknown version or command");
    if (family > 3)
        return Bad("version-2 header of an unknown address family");
    if (length > kMaxProxyHeaderBytes)
        return Bad("version-2 header longer than 536 bytes");
    if (received.size() < length)
        return {};
    const std::string_view block = received.substr(kV2FixedBytes, length - kV2FixedBytes);
    const bool local = command == 0;
    if (local || family == 0 || family == 3)  // the balancer's own, unspecified, a local socket
        return Done(length);
    if (block.size() < (family == 1 ? 12u : 36u))
        return Bad("version-2 address block too short for its family");
    return Done(length, family == 1 ? SourceIn<ip::address_v4>(block) : SourceIn<ip::address_v6>(block));
}

}  // namespace

ProxyHeaderScan ScanProxyHeader(std::string_view received)
{
    if (received.empty())
        return {};
    if (StartsAs(received, kV1Signature))
        return ScanV1(received);
    if (StartsAs(received, kV2Signature))
        return ScanV2(received);
    return Bad("no PROXY header");
}

}  // namespace net
