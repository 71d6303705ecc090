// What one source may hold of the server's connections: a share of each
// listener, a refused request drained within one deadline, and descriptors
// shared out so that neither listener starves the other.
#include "ServerTestSetup.h"
#include "support/WaitUntil.h"

using namespace server_tests;
using std::chrono::milliseconds;

namespace {

using Held = std::vector<std::unique_ptr<RelayWire>>;

Held Open(std::size_t n, uint16_t port, const char* source = "127.0.0.1")
{
    Held held;
    while (held.size() < n)
        held.push_back(std::make_unique<RelayWire>(port, source));
    return held;
}

bool HealthzAnswers(uint16_t port, const char* source = "127.0.0.1")
{
    return HttpStatus(RawHttps(port, "GET /healthz HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", source)) == 200;
}

// The relay reads a Join line from this source and judges it (no such session here).
bool RelayHears(uint16_t port, const char* source = "127.0.0.1")
{
    RelayWire client(port, source);
    client.Send(JoinLine("1", "k", "cliente"));
    return client.ReadLine() == "ERR|sessao nao autorizada\n";
}

class ConnectionLimitsTest : public ServerTest {
protected:
    ConnectionLimitsTest()
        : ServerTest(LooseLimits({"--max-connections-per-source", "4", "--relay-max-per-source", "4",
                                  "--drain-timeout", "1"}))
    {
    }
};

}  // namespace

TEST_F(ConnectionLimitsTest, EachSourceHoldsOnlyItsShareOfEitherListener)
{
    const struct {
        uint16_t port;
        bool (*serves)(uint16_t, const char*);
        const char* refusal;  // what a connection over the cap reads before its end
    } listeners[] = {
        {server.HttpsPort(), HealthzAnswers, ""},
        {server.RelayPort(), RelayHears, "ERR|conexoes demais deste endereco\n"},
    };
    for (const auto& listener : listeners) {
        Held silent = Open(4, listener.port, "127.0.0.2");
        RelayWire extra(listener.port, "127.0.0.2");
        EXPECT_EQ(extra.ReadLine(), listener.refusal) << listener.port;
        EXPECT_TRUE(extra.WaitClosed()) << "over the cap, closed at once";
        EXPECT_TRUE(listener.serves(listener.port, "127.0.0.3")) << "another source has its own share";
        silent.pop_back();
        EXPECT_TRUE(testing_support::WaitUntil([&] { return listener.serves(listener.port, "127.0.0.2"); }))
            << "a place given back is free again";
    }
}

TEST_F(ConnectionLimitsTest, ARefusedRequestIsDrainedForOneDeadlineHoweverSlowlyMoreComes)
{
    RelayWire client(server.HttpsPort());
    ASSERT_TRUE(client.StartTls());
    client.Send("POST /api/cadastro.php HTTP/1.1\r\nHost: x\r\nContent-Length: 1000000\r\n\r\nnome=");
    EXPECT_EQ(HttpStatus(client.ReadLine()), 413);
    const auto start = std::chrono::steady_clock::now();
    while (!client.WaitClosed(milliseconds(200)) && std::chrono::steady_clock::now() - start < std::chrono::seconds(30))
        client.SendSome("x");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30)) << "a byte every 200 ms held it";
}

// The soft limit (100) is raised to the hard one (300); 60 are kept, and the
// rest is shared by the two caps, so each gets 60 connections here.
TEST(DescriptorShares, NeitherListenerStarvesTheOther)
{
    testing_support::ServerFixture server(
        {"--reserved-descriptors", "60", "--max-connections", "1000", "--relay-max-connections", "1000"},
        {"127.0.0.1", {"/usr/bin/prlimit", "--nofile=100:300", "--"}});
    {
        const Held flood = Open(400, server.RelayPort());
        EXPECT_EQ(flood.back()->ReadLine(), "ERR|relay lotado, tente novamente mais tarde\n");
        EXPECT_TRUE(HealthzAnswers(server.HttpsPort()));
        const Held silent = Open(55, server.HttpsPort(), "127.0.0.2");
        EXPECT_TRUE(HealthzAnswers(server.HttpsPort())) << "the soft limit was raised";
    }
    EXPECT_TRUE(testing_support::WaitUntil([&] { return RelayHears(server.RelayPort()); }));
    const Held silent = Open(400, server.HttpsPort(), "127.0.0.2");
    EXPECT_TRUE(RelayHears(server.RelayPort()));
}
