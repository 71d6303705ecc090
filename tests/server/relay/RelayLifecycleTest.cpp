#include "RelayFixture.h"

namespace relaytest {
namespace {

using RelayLifecycle = RelayFixture;

// The last bytes before an end reach the other side, then both are closed.
TEST_F(RelayLifecycle, OneSidesEndClosesTheOtherAfterItsLastBytes)
{
    auto [cliente, tecnico] = Pair("s1", "k");
    tecnico->Send("CMD:BYE:s1:0\n");
    tecnico->ShutdownSend();
    EXPECT_EQ(cliente->ReadLine(), "CMD:BYE:s1:0\n");
    EXPECT_TRUE(cliente->WaitClosed());
    EXPECT_TRUE(tecnico->WaitClosed());
    EXPECT_TRUE(LogShows("cliente->tecnico=0 tecnico->cliente=13 bytes (tecnico closed)"));
}

// A side that leaves while waiting is forgotten at once; a new Join replaces
// a waiting side of its role; and a tecnico that lost its link joins again
// while the relay still holds the old pair: the old pair ends for both, and
// the two pair anew.
TEST_F(RelayLifecycle, ALeavingOrReplacedSideGivesItsPlaceToTheNextJoin)
{
    Join("s1", "k", "cliente");  // and gone at once
    ASSERT_TRUE(LogShows("left while waiting session=s1 role=cliente"));
    auto first = Join("s1", "k", "tecnico");
    auto second = Join("s1", "k", "tecnico");
    EXPECT_EQ(first->ReadLine(), "ERR|substituido por uma nova conexao\n");
    EXPECT_TRUE(first->WaitClosed());
    auto oldCliente = Join("s1", "k", "cliente", kPaired);
    EXPECT_EQ(second->ReadLine(), kPaired);

    auto tecnico = Join("s1", "k", "tecnico");
    EXPECT_TRUE(second->WaitClosed());
    EXPECT_TRUE(oldCliente->WaitClosed());
    EXPECT_TRUE(LogShows("(replaced by a new tecnico)"));
    auto cliente = Join("s1", "k", "cliente", kPaired);
    EXPECT_EQ(tecnico->ReadLine(), kPaired);
    cliente->Send("HELLO:s1:k\n");
    EXPECT_EQ(tecnico->ReadLine(), "HELLO:s1:k\n");
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
