// What one source may hold of the server's connections: a share of each
// listener, a refused request drained within one deadline, and descriptors
// shared out so that neither listener starves the other.
#include "RelayWire.h"
#include "ServerTestSetup.h"

#include <chrono>
#include <thread>

using namespace server_tests;

namespace {

using Held = std::vector<std::unique_ptr<LoopbackWire>>;

bool HealthzAnswers(uint16_t port, const char* source = "127.0.0.1")
{
    LoopbackWire wire(port, source);
    return wire.StartTls() && wire.Send("GET /healthz HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
        && HttpStatus(wire.ReadLine()) == 200;
}

// The relay reads a Join line from this source and judges it (no such session here).
bool RelayHears(uint16_t port, const char* source = "127.0.0.1")
{
    LoopbackWire wire(port, source);
    wire.Send(JoinLine("1", "k", "cliente"));
    return wire.ReadLine() == "ERR|sessao nao autorizada";
}

// Polls a condition the server reaches on its own time (a closed connection noticed).
bool Eventually(const std::function<bool()>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

Held Open(std::size_t n, uint16_t port, const char* source = "127.0.0.1")
{
    Held held;
    while (held.size() < n)
        held.push_back(std::make_unique<LoopbackWire>(port, source));
    return held;
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
    struct Listener {
        uint16_t port;
        std::function<bool(const char*)> serves;
        std::string refusal;  // what a connection over the cap reads before its end
    };
    const Listener listeners[] = {
        {server.HttpsPort(), [&](const char* s) { return HealthzAnswers(server.HttpsPort(), s); }, ""},
        {server.RelayPort(), [&](const char* s) { return RelayHears(server.RelayPort(), s); },
         "ERR|conexoes demais deste endereco\n"},
    };
    for (const Listener& listener : listeners) {
        Held silent = Open(4, listener.port, "127.0.0.2");
        LoopbackWire extra(listener.port, "127.0.0.2");
        bool ended = false;
        EXPECT_EQ(extra.ReadToEnd(5000, &ended), listener.refusal) << listener.port;
        EXPECT_TRUE(ended) << "over the cap, closed at once";
        EXPECT_TRUE(listener.serves("127.0.0.3")) << "another source has its own share";
        silent.pop_back();
        EXPECT_TRUE(Eventually([&] { return listener.serves("127.0.0.2"); })) << "a place given back is free again";
    }
}

TEST_F(ConnectionLimitsTest, ARefusedRequestIsDrainedForOneDeadlineHoweverSlowlyMoreComes)
{
    LoopbackWire wire(server.HttpsPort());
    ASSERT_TRUE(wire.StartTls());
    wire.Send("POST /api/cadastro.php HTTP/1.1\r\nHost: x\r\nContent-Length: 1000000\r\n\r\nnome=");
    EXPECT_EQ(HttpStatus(wire.ReadLine()), 413);
    const auto start = std::chrono::steady_clock::now();
    bool ended = false;
    while (!ended && std::chrono::steady_clock::now() - start < std::chrono::seconds(30)) {
        wire.Send("x");
        wire.ReadToEnd(200, &ended);
    }
    EXPECT_TRUE(ended) << "a byte every 200 ms held the connection for 30 s";
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
        EXPECT_EQ(flood.back()->ReadLine(), "ERR|relay lotado, tente novamente mais tarde");
        EXPECT_TRUE(HealthzAnswers(server.HttpsPort()));
        const Held silent = Open(55, server.HttpsPort(), "127.0.0.2");
        EXPECT_TRUE(HealthzAnswers(server.HttpsPort())) << "the soft limit was raised";
    }
    EXPECT_TRUE(Eventually([&] { return RelayHears(server.RelayPort()); }));
    const Held silent = Open(400, server.HttpsPort(), "127.0.0.2");
    EXPECT_TRUE(RelayHears(server.RelayPort()));
}
