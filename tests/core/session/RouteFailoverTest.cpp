// Route choice without user action on the status ticks: the direct target,
// the alternative, then the relay, on the fixed waits of the settable clock;
// and the stale-screen watchdog. Targets are loopback listeners that take the
// connection and never answer, so only the waits move the route on.
#include "core/link/LinkKeys.h"
#include "core/link/LinkMessages.h"
#include "core/link/LinkProtection.h"
#include "support/ClosedPort.h"
#include "support/LinkPair.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>

using testing_support::JoinSession;
using testing_support::LinkPair;
using testing_support::MainWindowHarness;
using testing_support::ScopedEnv;
using testing_support::WaitUntil;

namespace {

// Takes connections and keeps them, recording the address each was made to
// and the first bytes of the first, which it may answer.
class SilentTarget {
public:
    explicit SilentTarget(const QHostAddress& on = QHostAddress::AnyIPv4)
    {
        server_.listen(on);
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* s = server_.nextPendingConnection()) {
                reached_.push_back(s->localAddress().toString());
                if (reached_.size() == 1) {
                    firstSocket_ = s;
                    QObject::connect(s, &QTcpSocket::readyRead, [this, s] { first_ += s->readAll(); });
                }
            }
        });
    }
    quint16 port() const { return server_.serverPort(); }
    const std::vector<QString>& reached() const { return reached_; }
    QByteArray FirstLine() const { return first_.left(first_.indexOf('\n')); }
    QByteArray FirstBytes() const { return first_; }
    void Answer(const QByteArray& bytes) { firstSocket_->write(bytes); }

private:
    QTcpServer server_;
    std::vector<QString> reached_;
    QByteArray first_;
    QTcpSocket* firstSocket_ = nullptr;
};

class Failover : public ::testing::Test {
protected:
    Failover() : relayEnv("MARQUELIN_RELAY", "127.0.0.1:" + QByteArray::number(relay.port()))
    {
        service.Reply("encerrar_sessao.php", R"({"ok":true})");
        service.Reply("registrar_conexao.php", R"({"ok":true})");
    }

    // Checks the route at `seconds` after it started.
    static void CheckAt(MainWindowHarness& device, float seconds)
    {
        device.clock.Set(36000.0f + seconds);
        device.w().routes.VerificarRotaDireta();
    }
    // A technician told the session was accepted, with the supported side at `port`.
    void Accepted(MainWindowHarness& tecnico, quint16 port)
    {
        JoinSession(tecnico, "tecnico");
        // Same network: the first target is the local address, the public one the alternative.
        service.Reply("status_codigo.php",
                      QString(R"({"ok":true,"status":"aceito","papel":"tecnico","id":"c1","sessao_id":"sess-1",)"
                              R"("ip_cliente":"127.0.0.2","ip_atual":"127.0.0.2","ip_local_cliente":"127.0.0.1",)"
                              R"("porta_cliente":"%1"})")
                          .arg(port));
        tecnico.w().status.tmrStatus_Timer();
    }
    bool JoinedRelayAs(const char* role)
    {
        const QByteArray join = QByteArray("JOIN|sess-1|key-1|") + role + "|marquelin-relay-v1";
        return WaitUntil([&] { return relay.FirstLine() == join; });
    }

    testing_support::CannedService service;
    SilentTarget relay{QHostAddress::LocalHost};
    ScopedEnv relayEnv;
};

}  // namespace

TEST_F(Failover, APrivateFirstTargetGivesWayAt2_2SecondsAndTheAlternativeAt4)
{
    SilentTarget cliente;
    MainWindowHarness tecnico;
    Accepted(tecnico, cliente.port());
    ASSERT_TRUE(WaitUntil([&] { return cliente.reached().size() == 1; }));
    EXPECT_EQ(cliente.reached()[0], "127.0.0.1");
    // What a private first target would give; the loopback stands in for it.
    tecnico.w().s.DestinoPrivado = true;

    // Moving on sets the target before connecting, so the box tells at once.
    CheckAt(tecnico, 2.125f);
    EXPECT_EQ(tecnico.w().c.txtTelaIp.text(), "127.0.0.1");
    // Clock readings are single floats: 2.25 s is the first exact one past 2.2 s.
    CheckAt(tecnico, 2.25f);
    ASSERT_TRUE(WaitUntil([&] { return cliente.reached().size() == 2; }));
    EXPECT_EQ(cliente.reached()[1], "127.0.0.2");
    EXPECT_TRUE(tecnico.w().log.text().contains("Tentando outra rota de conexao."));

    CheckAt(tecnico, 6.125f);
    EXPECT_FALSE(tecnico.w().s.RelayAtivo);
    CheckAt(tecnico, 6.25f);
    EXPECT_TRUE(JoinedRelayAs("tecnico") && tecnico.w().s.RelayAtivo);
    EXPECT_EQ(relay.reached().size(), 1u);
}

TEST_F(Failover, ARefusedConnectMovesOnAtOnceAndARefusingRelayStopsTheScreen)
{
    const testing_support::ClosedPort closed;
    MainWindowHarness tecnico;
    Accepted(tecnico, closed.port());
    // Both direct targets refuse: the relay follows with the clock standing still.
    ASSERT_TRUE(JoinedRelayAs("tecnico"));
    EXPECT_TRUE(tecnico.w().log.text().contains("Tentando outra rota de conexao."));
    relay.Answer("ERR| sessao nao encontrada\n");
    EXPECT_TRUE(WaitUntil([&] { return !tecnico.w().s.RelayAtivo; }));
    EXPECT_TRUE(tecnico.w().log.text().contains("Falha na rota segura: sessao nao encontrada"));
}

// The supported side takes the relay after five seconds without a
// technician. A version-2 session joins without its key and answers only the
// first challenge on its relay connection: an answer to any other could be a
// proof bought for someone joining in this side's place. The pairing line is
// the last plain one: the technician's TLS records may follow it in the same write.
TEST_F(Failover, TheSupportedSideJoinsTheRelayAfter5SecondsByProofAndStartsTlsRightBehindThePairingLine)
{
    MainWindowHarness cliente;
    JoinSession(cliente, "cliente");
    cliente.w().s.versao_link = 2;
    cliente.w().c.txtTelaPorta.setText("0");
    cliente.w().routes.cmdClienteTransmitirTela_Click();
    ASSERT_TRUE(cliente.w().s.TransmissaoIniciada);
    CheckAt(cliente, 4.9f);
    EXPECT_FALSE(cliente.w().s.RelayAtivo);
    CheckAt(cliente, 5.0f);
    EXPECT_TRUE(cliente.w().log.text().contains("Rota direta sem conexao. Usando rota segura."));
    ASSERT_TRUE(WaitUntil([&] { return relay.FirstLine() == "JOIN2|sess-1|cliente|marquelin-relay-v2"; }));
    const QByteArray challenge(64, 'c');
    relay.Answer("DESAFIO|" + challenge + "\n");
    const QByteArray proof = QByteArray::fromStdString(
        "PROVA|" + linkkeys::RelayJoinProof("key-1", "sess-1", "cliente", challenge.toStdString()) + "\n");
    const QByteArray expected = relay.FirstLine() + "\n" + proof;
    EXPECT_TRUE(WaitUntil([&] { return relay.FirstBytes() == expected; })) << relay.FirstBytes().toStdString();

    QByteArray out = "DESAFIO|" + QByteArray(64, 'd') + "\nOK|CONECTADO\n";
    screenlink::LinkTls tecnico(screenlink::LinkTls::Side::Client, linkkeys::LinkPsk("key-1", "sess-1"),
                                [&out](QByteArrayView cipher) { out.append(cipher); });
    ASSERT_TRUE(tecnico.Start());
    tecnico.Send(screenlink::HelloMessage("sess-1", screenlink::HelloKey(cliente.w().s)));
    qsizetype read = expected.size();
    QByteArray plain;
    // A second answer would reach the technician's TLS as garbage.
    ASSERT_TRUE(WaitUntil([&] {
        relay.Answer(std::exchange(out, {}));
        const QByteArray from = relay.FirstBytes();
        EXPECT_TRUE(tecnico.Receive(QByteArrayView(from).sliced(read), &plain)) << tecnico.Error().toStdString();
        read = from.size();
        return plain == "OK\n";
    }));
    EXPECT_TRUE(cliente.w().s.TelaConectada);
    EXPECT_TRUE(cliente.w().log.text().contains("Rota segura pronta."));
}

// The rebuild that follows is the e2e cut-cable test's.
TEST_F(Failover, AValidatedLinkWithoutFramesFor8SecondsIsDropped)
{
    LinkPair pair;
    pair.ConnectDirect();
    ASSERT_TRUE(pair.BothValidated());
    MainWindowHarness& tecnico = pair.tecnico;
    const float last = tecnico.w().s.UltimoFrameEm;
    for (const auto& [after, connected] : {std::pair(7.9f, true), std::pair(8.0f, false)}) {
        tecnico.clock.Set(last + after);
        tecnico.w().routes.VerificarTelaParada();
        EXPECT_EQ(tecnico.w().s.TelaConectada, connected) << after;
    }
    EXPECT_TRUE(tecnico.w().log.text().contains("Tela sem atualizacao. Tentando reconectar."));
}
