#include "RelayFixture.h"

namespace relaytest {
namespace {

constexpr milliseconds kWaits{2000};

class RelayRefusal : public RelayFixture {
protected:
    void SetUp() override
    {
        sessions_.Accept("s1", "right-key");
        // Long enough that a busy machine still pairs in time, short enough to wait out.
        StartRelay(TestLimits(kWaits));
    }
    // The refusal line, then the end of the connection.
    void ExpectRefused(RelayTestClient& client, const std::string& errLine)
    {
        EXPECT_EQ(client.ReadLine(), errLine);
        EXPECT_TRUE(client.WaitClosed());
    }
};

// Each fault of a Join line with the reason the relay names to the peer.
TEST_F(RelayRefusal, AJoinTheStoreDoesNotKnowOrCannotReadIsRefusedWithItsReason)
{
    const char* notAccepted = "ERR|sessao nao autorizada\n";
    const char* badLine = "ERR|linha JOIN invalida\n";
    const char* protocol = "ERR|protocolo do relay nao suportado\n";
    const char* role = "ERR|papel invalido\n";
    const struct {
        std::string line;
        const char* reply;
    } cases[] = {
        {JoinLine("s1", "wrong-key", "cliente"), notAccepted},
        {JoinLine("s9", "right-key", "tecnico"), notAccepted},
        {JoinLine("s1", "right-key", "cliente", "marquelin-relay-v0"), protocol},
        {JoinLine("s1", "right-key", "cliente", "marquelin-relay-v2"), protocol},
        {JoinLine("s", "k", "cliente", "marquelin-relay-v1|"), protocol},  // a sixth field
        {JoinLine("s", "k", "cliente", "marquelin-relay-v1\r\r"), protocol},
        {"JOIN2|s|cliente|marquelin-relay-v1\n", protocol},
        {JoinLine("s1", "right-key", "admin"), role},
        {JoinLine("s", "k", "Cliente"), role},
        {Join2Line("s", "viewer"), role},
        {"JOIN|s1|right-key|cliente\n", badLine},
        {"GET / HTTP/1.1\r\n\r\n", badLine},
        {"join|s|k|cliente|marquelin-relay-v1\n", badLine},
        {JoinLine("", "k", "cliente"), badLine},
        {JoinLine("s", "", "tecnico"), badLine},
        {JoinLine("s:1", "k", "cliente"), badLine},  // ":" would split the Hello
        {JoinLine("s 1", "k", "cliente"), badLine},
        {JoinLine("s", "k\x01", "cliente"), badLine},
        {"JOIN2|s|k|cliente|marquelin-relay-v2\n", badLine},  // no key in version 2
        {Join2Line("", "cliente"), badLine},
        {"\n", badLine},
        // 511 characters and the LF fit in the limit; one more does not, whatever follows.
        {std::string(511, 'x') + "\n", badLine},
        {std::string(512, 'x') + "\nJOIN|s1|right-key|cliente\n", "ERR|linha JOIN longa demais\n"},
    };
    for (const auto& c : cases) {
        auto client = Connect();
        client->Send(c.line);
        ExpectRefused(*client, c.reply);
    }
    EXPECT_EQ(sessions_.calls, 2) << "only well-formed lines reach the store";

    // Version 2: unknown session and wrong key answer alike, after a challenge all the same.
    sessions_.Accept("s2", "v2-key", 2);
    for (const char* session : {"s2", "s9"}) {
        auto client = Connect();
        ASSERT_FALSE(SendJoinV2(*client, session, "wrong-key", "cliente").empty());
        ExpectRefused(*client, "ERR|sessao nao autorizada\n");
    }
    auto badProof = Connect();
    badProof->Send(Join2Line("s2", "tecnico"));
    badProof->ReadLine();
    badProof->Send("PROVA|v2-key\n");
    ExpectRefused(*badProof, "ERR|linha PROVA invalida\n");

    {
        auto [cliente, tecnico] = Pair("s1", "right-key");
        cliente->Send("abc");
        EXPECT_EQ(tecnico->ReadExactly(3), "abc");
    }
    ASSERT_TRUE(LogShows("closed session=s1 cliente->tecnico=3 tecnico->cliente=0 bytes"));
    for (const std::string& line : LogLines())
        EXPECT_EQ(line.find("-key"), std::string::npos) << "a stream key reached the log: " << line;
}

TEST_F(RelayRefusal, TheJoinLineIsBoundedInLengthAndInTimeAndSoIsTheWaitForAPeer)
{
    auto endless = Connect();
    endless->Send(std::string(600, 'J'));
    ExpectRefused(*endless, "ERR|linha JOIN longa demais\n");

    // The relay's clock starts once it has the connection, after this one.
    const auto start = std::chrono::steady_clock::now();
    auto silent = Connect();
    silent->Send("JOIN|s1|right-");
    ExpectRefused(*silent, "ERR|tempo esgotado esperando a linha JOIN\n");
    EXPECT_GE(std::chrono::steady_clock::now() - start, kWaits);

    // The deadline covers the version-2 proof too.
    auto noProof = Connect();
    noProof->Send(Join2Line("s1", "cliente"));
    EXPECT_EQ(noProof->ReadLine().rfind("DESAFIO|", 0), 0u);
    ExpectRefused(*noProof, "ERR|tempo esgotado esperando a linha JOIN\n");

    auto cliente = Join("s1", "right-key", "cliente");
    ExpectRefused(*cliente, "ERR|tempo esgotado esperando o outro computador\n");
    EXPECT_TRUE(LogShows("reason=unpaired-timeout"));

    // Its place is free again: a later pair forms.
    auto [cliente2, tecnico2] = Pair("s1", "right-key");
    EXPECT_TRUE(tecnico2->StaysQuiet(milliseconds(100)));
}

TEST_F(RelayRefusal, AWaitingSideMayNotPileUpBytes)
{
    auto cliente = Connect();
    cliente->Send(JoinLine("s1", "right-key", "cliente") + std::string(5000, 'x'));
    const std::string first = cliente->ReadLine();
    if (first != "ERR|dados demais antes do pareamento\n") {
        EXPECT_EQ(first, kWaiting);
    }
    EXPECT_TRUE(LogShows("reason=too-many-early-bytes"));
    EXPECT_TRUE(cliente->WaitClosed());
}

}  // namespace
}  // namespace relaytest
