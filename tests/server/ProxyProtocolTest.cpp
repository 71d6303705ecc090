// The server behind a balancer that opens every connection with a PROXY
// header: the client it names is served and logged on both ports, and a
// balancer's connection without one is closed.
#include "ServerTestSetup.h"
#include "support/WaitUntil.h"

using namespace server_tests;

namespace {

class ProxyProtocolTest : public ServerTest {
protected:
    ProxyProtocolTest() : ServerTest(LooseLimits({"--proxy-protocol", "--trusted-proxy", "127.0.0.1"})) {}

    bool Logged(const std::string& text) const
    {
        return testing_support::WaitUntil([&] { return server.Log().find(text) != std::string::npos; });
    }
};

const std::string kHealthz = "GET /healthz HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";

}  // namespace

TEST_F(ProxyProtocolTest, TheClientInTheHeaderIsTheOneServedAndLogged)
{
    RelayWire https(server.HttpsPort());
    // Version 2, PROXY over TCP/IPv4, from 198.51.100.7:40000; the ClientHello follows at once.
    https.Send(std::string("\r\n\r\n\0\r\nQUIT\n\x21\x11\x00\x0C\xC6\x33\x64\x07\x7F\x00\x00\x01\x9C\x40\x20\xFB", 28));
    ASSERT_TRUE(https.StartTls());
    https.Send(kHealthz);
    EXPECT_EQ(HttpStatus(https.ReadLine()), 200);
    EXPECT_TRUE(Logged("http: 198.51.100.7 GET /healthz 200"));

    RelayWire relay(server.RelayPort());
    relay.Send("PROXY TCP4 203.0.113.9 127.0.0.1 50000 50556\r\n" + JoinLine("1", "k", "cliente"));
    EXPECT_EQ(relay.ReadLine(), "ERR|sessao nao autorizada\n");
    EXPECT_TRUE(Logged("peer=203.0.113.9:50000"));

    EXPECT_EQ(HttpStatus(RawHttps(server.HttpsPort(), kHealthz, "127.0.0.2")), 200) << "no balancer: direct";
}

TEST_F(ProxyProtocolTest, ABalancersConnectionWithoutAHeaderIsClosed)
{
    for (const uint16_t port : {server.HttpsPort(), server.RelayPort()}) {
        RelayWire bare(port);
        bare.Send(JoinLine("1", "k", "cliente"));
        EXPECT_TRUE(bare.WaitClosed()) << port;
    }
    EXPECT_TRUE(Logged("http: bad PROXY header from 127.0.0.1 (no PROXY header), closed"));
    EXPECT_TRUE(Logged("relay: bad PROXY header peer=127.0.0.1:"));
}
