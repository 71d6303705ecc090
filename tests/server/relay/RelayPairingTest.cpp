#include <algorithm>
#include <random>
#include <thread>

#include "RelayFixture.h"

namespace relaytest {
namespace {

std::string RandomBytes(std::size_t n, unsigned seed)
{
    std::string bytes(n, '\0');
    std::generate(bytes.begin(), bytes.end(), std::mt19937(seed));
    return bytes;
}

class RelayPairing : public RelayFixture {};

// Sides of other sessions, or of another key of one session, never pair.
// Whoever comes second is paired at once and gets no waiting line, so a
// technician that reads one reply per chunk still sees "CONECTADO" first;
// Pair() has the cliente come first, here the tecnico. A line may end in CR LF.
TEST_F(RelayPairing, PairsOnlyTheTwoSidesOfOneSessionAndKeyInEitherOrder)
{
    sessions_.Accept("s2", "k");
    // A store that took two keys for one session must still not join them.
    sessions_.Accept("s3", "key-a");
    sessions_.Accept("s3", "key-b");
    std::vector<Client> sides;
    for (const auto& [id, key, role] : {std::tuple{"s1", "k", "cliente"}, std::tuple{"s2", "k", "tecnico"},
                                        std::tuple{"s3", "key-a", "cliente"}, std::tuple{"s3", "key-b", "tecnico"}})
        sides.push_back(Join(id, key, role));
    for (auto& side : sides)
        EXPECT_TRUE(side->StaysQuiet(milliseconds(200)));
    auto cliente = Connect();
    cliente->Send("JOIN|s2|k|cliente|marquelin-relay-v1\r\n");
    EXPECT_EQ(cliente->ReadLine(), kPaired);
    EXPECT_EQ(sides[1]->ReadLine(), kPaired);
    EXPECT_TRUE(LogShows("paired session=s2 "));
}

// Sends until the kernel takes nothing for a while; returns how much it took.
std::size_t SendUntilStalled(RelayTestClient& writer, std::size_t ceiling)
{
    const std::string chunk(64 * 1024, 'b');
    std::size_t sent = 0;
    auto lastProgress = std::chrono::steady_clock::now();
    while (sent < ceiling && std::chrono::steady_clock::now() - lastProgress < milliseconds(500)) {
        const std::size_t n = writer.SendSome(chunk);
        if (n > 0) {
            sent += n;
            lastProgress = std::chrono::steady_clock::now();
        } else {
            std::this_thread::sleep_for(milliseconds(5));
        }
    }
    return sent;
}

// Forwarding and backpressure through kernel pipes, and copied through the
// relay's own buffers.
class RelayForwarding : public RelayFixture, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override
    {
        relay::RelayLimits limits = TestLimits();
        limits.splice = GetParam();
        StartRelay(limits);
    }
};

TEST_P(RelayForwarding, AMegabyteOfRandomBytesEachWayArrivesExactly)
{
    auto [cliente, tecnico] = Pair("s1", "k");
    const std::string up = RandomBytes(1 << 20, 1);
    const std::string down = RandomBytes(1 << 20, 2);
    std::thread clienteWriter([&, &c = cliente] { c->Send(up); });
    std::thread tecnicoWriter([&, &t = tecnico] { t->Send(down); });
    const std::string atTecnico = tecnico->ReadExactly(up.size());
    const std::string atCliente = cliente->ReadExactly(down.size());
    clienteWriter.join();
    tecnicoWriter.join();
    EXPECT_TRUE(atTecnico == up) << atTecnico.size() << " bytes arrived";
    EXPECT_TRUE(atCliente == down) << atCliente.size() << " bytes arrived";
}

// A tecnico that stops reading must stop its cliente: what the cliente gets
// rid of is bounded by the socket buffers on the way plus what the relay
// holds for that direction, its small buffer and its two sockets' buffers
// kept near two round trips of loopback (a few of its 64 KiB segments). A
// relay that queued without bound, or let the system size its buffers,
// would take megabytes.
TEST_P(RelayForwarding, ASlowReaderStallsItsWriterAndTheRelayHoldsLittle)
{
    constexpr int kClientBuffers = 64 * 1024;
    auto [cliente, tecnico] = Pair("s1", "k", kClientBuffers);
    const std::size_t ceiling = 256u << 20;
    const std::size_t sent = SendUntilStalled(*cliente, ceiling);

    // Both client sockets (doubled by the kernel), the relay's two sockets, one relay buffer.
    const relay::RelayLimits defaults;
    const std::size_t relayBuffer = GetParam() ? defaults.pipeBytes : defaults.bufferBytes;
    const std::size_t bound = 4 * kClientBuffers + 2 * (512 << 10) + relayBuffer;
    EXPECT_LE(sent, bound);

    // Reading again releases the writer, and nothing was lost or reordered.
    const std::string arrived = tecnico->ReadExactly(sent);
    EXPECT_EQ(arrived.size(), sent);
    EXPECT_EQ(arrived.find_first_not_of('b'), std::string::npos);
    cliente->Send("end\n");
    EXPECT_EQ(tecnico->ReadLine(), "end\n");
}

INSTANTIATE_TEST_SUITE_P(SplicedAndCopied, RelayForwarding, ::testing::Bool());

// Each version-2 side proves that it holds the key for a fresh challenge, so
// the bytes of a Join caught on the wire neither join again nor break the pair.
TEST_F(RelayPairing, VersionTwoSidesPairOnProofAndACapturedJoinIsWorthNothing)
{
    sessions_.Accept("s2", "key-two", 2);
    auto cliente = Connect();
    const std::string captured = SendJoinV2(*cliente, "s2", "key-two", "cliente");
    EXPECT_EQ(cliente->ReadLine(), kWaiting);
    auto tecnico = Connect();
    SendJoinV2(*tecnico, "s2", "key-two", "tecnico");
    EXPECT_EQ(tecnico->ReadLine(), kPaired);
    EXPECT_EQ(cliente->ReadLine(), kPaired);

    auto replay = Connect();
    replay->Send(captured);
    EXPECT_EQ(replay->ReadLine().rfind("DESAFIO|", 0), 0u);
    EXPECT_EQ(replay->ReadLine(), "ERR|sessao nao autorizada\n");
    tecnico->Send("HELLO:s2:x\n");
    EXPECT_EQ(cliente->ReadLine(), "HELLO:s2:x\n") << "the live pair goes on";
    // A side that proves itself replaces its predecessor, as in version 1.
    auto rejoined = Connect();
    SendJoinV2(*rejoined, "s2", "key-two", "cliente");
    EXPECT_EQ(rejoined->ReadLine(), kWaiting);
    EXPECT_TRUE(cliente->WaitClosed() && tecnico->WaitClosed());
}

// An eager peer writes its first message in the same segment as its Join
// line; a slow link delivers the line a byte at a time.
TEST_F(RelayPairing, BytesSentRightAfterTheJoinLineAreForwardedAfterTheReply)
{
    for (const std::size_t chunk : {std::size_t{1000}, std::size_t{1}}) {
        const std::string id = "s" + std::to_string(chunk);
        SCOPED_TRACE(id);
        sessions_.Accept(id, "k");
        auto cliente = Join(id, "k", "cliente");
        cliente->Send("CMD:early:0\n");
        auto tecnico = Connect();
        const std::string bytes = JoinLine(id, "k", "tecnico") + "HELLO:" + id + ":k\r\n";
        for (std::size_t at = 0; at < bytes.size(); at += chunk) {
            tecnico->Send(bytes.substr(at, chunk));
            std::this_thread::sleep_for(milliseconds(1));
        }
        EXPECT_EQ(tecnico->ReadLine(), kPaired);
        EXPECT_EQ(tecnico->ReadLine(), "CMD:early:0\n");
        EXPECT_EQ(cliente->ReadLine(), kPaired);
        EXPECT_EQ(cliente->ReadLine(), "HELLO:" + id + ":k\r\n");
    }
}

}  // namespace
}  // namespace relaytest
