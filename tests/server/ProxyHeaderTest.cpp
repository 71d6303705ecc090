// The PROXY header as balancers send it, whole and split anywhere, what is
// refused as soon as it shows, and the reader that leaves the client's own
// bytes in the socket.
#include "server/net/ProxyHeader.h"
#include "server/net/ProxyHeaderReader.h"

#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <gtest/gtest.h>

#include <sstream>

namespace {

using Status = net::ProxyHeaderScan::Status;
using boost::asio::ip::tcp;

const std::string kV4Block("\xC0\x00\x02\x07\x0A\x00\x00\x01\x30\x39\x01\xBB", 12);  // 192.0.2.7:12345

std::string V2(char command, char family, const std::string& block)
{
    return std::string("\r\n\r\n\0\r\nQUIT\n", 12) + command + family + char(block.size() >> 8)
        + char(block.size() & 0xFF) + block;
}

std::string ClientOf(const net::ProxyHeaderScan& scan)
{
    std::ostringstream text;
    if (scan.client)
        text << *scan.client;
    return text.str();
}

}  // namespace

TEST(ProxyHeader, EachVersionNamesItsClientHoweverItIsSplit)
{
    std::string v6Block(36, '\0');
    v6Block.replace(0, 4, "\x20\x01\x0d\xb8").replace(15, 1, "\x01").replace(33, 1, "\x50");  // [2001:db8::1]:80
    const std::pair<std::string, std::string> cases[] = {
        {"PROXY TCP4 192.0.2.7 10.0.0.1 12345 443\r\n", "192.0.2.7:12345"},
        {"PROXY TCP6 2001:db8::1 ::1 80 443\r\n", "[2001:db8::1]:80"},
        {"PROXY UNKNOWN 2001:db8::1 ::1 80 443\r\n", ""},
        {V2('\x21', '\x11', kV4Block), "192.0.2.7:12345"},
        {V2('\x21', '\x21', v6Block + std::string("\x04\x00\x02xy", 5)), "[2001:db8::1]:80"},  // and a TLV
        {V2('\x20', '\x11', kV4Block), ""},  // LOCAL: the balancer's own health check
        {V2('\x21', '\x00', ""), ""},
    };
    for (const auto& [header, client] : cases) {
        const std::string stream = header + "\x16\x03\x01";  // a ClientHello follows
        for (std::size_t n = 0; n < header.size(); ++n)
            ASSERT_EQ(net::ScanProxyHeader(std::string_view(stream).substr(0, n)).status, Status::NeedMore) << n;
        const net::ProxyHeaderScan scan = net::ScanProxyHeader(stream);
        ASSERT_EQ(scan.status, Status::Done) << header << scan.reason;
        EXPECT_EQ(scan.length, header.size());
        EXPECT_EQ(ClientOf(scan), client);
    }
}

TEST(ProxyHeader, AnythingElseIsRefusedWithinTheBound)
{
    const std::string cases[] = {
        "GET / HTTP/1.1\r\n", "\x16\x03\x01", "PROXY TCP4 192.0.2.7 10.0.0.1 12345\r\n",
        "PROXY TCP4 2001:db8::1 10.0.0.1 1 2\r\n", "PROXY TCP4 192.0.2.7 10.0.0.1 65536 443\r\n",
        "PROXY TCP4 192.0.2.7 10.0.0.1 1 2\n", "PROXY " + std::string(101, '1'),
        V2('\x11', '\x11', kV4Block), V2('\x22', '\x11', kV4Block), V2('\x21', '\x51', kV4Block),
        V2('\x21', '\x21', kV4Block), V2('\x21', '\x11', std::string(521, '\0')).substr(0, 16),
    };
    for (const std::string& bytes : cases)
        EXPECT_EQ(net::ScanProxyHeader(bytes).status, Status::Bad) << bytes;
}

TEST(ProxyHeader, TheReaderTakesTheHeaderByteByByteAndLeavesWhatFollows)
{
    boost::asio::io_context io;
    tcp::acceptor acceptor(io, {boost::asio::ip::make_address("127.0.0.1"), 0});
    tcp::socket balancer(io), node(io);
    balancer.connect(acceptor.local_endpoint());
    acceptor.accept(node);
    const std::string header = "PROXY TCP4 192.0.2.7 10.0.0.1 12345 443\r";
    net::ProxyHeaderReader reader;
    boost::system::error_code ec;
    for (const char c : header) {
        boost::asio::write(balancer, boost::asio::buffer(&c, 1));
        node.wait(tcp::socket::wait_read);
        EXPECT_EQ(reader.ReadFrom(node, ec).status, Status::NeedMore);
        EXPECT_EQ(ec, boost::asio::error::would_block);
    }
    boost::asio::write(balancer, boost::asio::buffer(std::string("\nJOIN|1|k\n")));
    node.wait(tcp::socket::wait_read);
    EXPECT_EQ(ClientOf(reader.ReadFrom(node, ec)), "192.0.2.7:12345");
    std::string rest(9, '\0');
    boost::asio::read(node, boost::asio::buffer(rest));
    EXPECT_EQ(rest, "JOIN|1|k\n");
}
