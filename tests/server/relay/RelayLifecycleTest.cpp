#include "RelayFixture.h"

namespace relaytest {
namespace {

class RelayLifecycle : public RelayFixture {
protected:
    void SetUp() override
    {
        RelayFixture::SetUp();
        sessions_.Accept("s1", "k");
    }
};

// The last bytes before an end reach the other side, then it is closed too.
TEST_F(RelayLifecycle, OneSidesEndClosesTheOtherAfterItsLastBytes)
{
    {
        auto [cliente, tecnico] = Pair("s1", "k");
        cliente->Send("FRAME:tail");
        cliente->Close();
        EXPECT_EQ(tecnico->ReadExactly(10), "FRAME:tail");
        EXPECT_TRUE(tecnico->WaitClosed());
    }
    {
        auto [cliente, tecnico] = Pair("s1", "k");
        tecnico->Send("CMD:BYE:s1:0\n");
        tecnico->ShutdownSend();
        EXPECT_EQ(cliente->ReadLine(), "CMD:BYE:s1:0\n");
        EXPECT_TRUE(cliente->WaitClosed());
        EXPECT_TRUE(tecnico->WaitClosed());
    }
    EXPECT_TRUE(LogShows("cliente->tecnico=0 tecnico->cliente=13 bytes (tecnico closed)"));
}

TEST_F(RelayLifecycle, ASideThatLeavesWhileWaitingIsForgottenAtOnce)
{
    auto cliente = Join("s1", "k", "cliente");
    cliente->Close();
    ASSERT_TRUE(LogShows("left while waiting session=s1 role=cliente"));
    Join("s1", "k", "tecnico");
}

TEST_F(RelayLifecycle, ANewJoinReplacesAWaitingSideOfTheSameRole)
{
    auto first = Join("s1", "k", "cliente");
    auto second = Join("s1", "k", "cliente");
    EXPECT_EQ(first->ReadLine(), "ERR|substituido por uma nova conexao\n");
    EXPECT_TRUE(first->WaitClosed());

    auto tecnico = Join("s1", "k", "tecnico", kPaired);
    EXPECT_EQ(second->ReadLine(), kPaired);
    tecnico->Send("HELLO:s1:k\n");
    EXPECT_EQ(second->ReadLine(), "HELLO:s1:k\n");
}

// A tecnico that lost its link joins again while the relay still holds the
// old pair: the old pair ends for both, and the two pair anew.
TEST_F(RelayLifecycle, ASideThatReconnectsPairsAgain)
{
    auto [oldCliente, oldTecnico] = Pair("s1", "k");
    auto tecnico = Join("s1", "k", "tecnico");
    EXPECT_TRUE(oldTecnico->WaitClosed());
    EXPECT_TRUE(oldCliente->WaitClosed());
    EXPECT_TRUE(LogShows("(replaced by a new tecnico)"));

    auto cliente = Join("s1", "k", "cliente", kPaired);
    EXPECT_EQ(tecnico->ReadLine(), kPaired);
    cliente->Send("OK\n");
    EXPECT_EQ(tecnico->ReadLine(), "OK\n");
}

TEST_F(RelayLifecycle, StoppingTheRelayClosesEveryConnection)
{
    auto [cliente, tecnico] = Pair("s1", "k");
    sessions_.Accept("s2", "k");
    auto waiting = Join("s2", "k", "cliente");
    auto joining = Connect();
    StopRelay();
    for (RelayTestClient* client : {cliente.get(), tecnico.get(), waiting.get(), joining.get()})
        EXPECT_TRUE(client->WaitClosed());
}

}  // namespace
}  // namespace relaytest
