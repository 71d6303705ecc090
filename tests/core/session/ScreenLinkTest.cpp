// The screen link between two main windows on loopback: handshake, stop,
// loss, and the quality command.
#include "core/link/LinkMessages.h"
#include "support/LinkPair.h"

#include <QTcpSocket>
#include <gtest/gtest.h>

using testing_support::LinkPair;
using testing_support::RunEvents;
using testing_support::WaitUntil;

namespace {

// A raw technician: a plain socket speaking to the supported side.
struct RawPeer {
    QTcpSocket socket;
    QByteArray received;

    explicit RawPeer(quint16 port)
    {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] { received += socket.readAll(); });
        socket.connectToHost("127.0.0.1", port);
        socket.waitForConnected(3000);
    }
    void Send(const QByteArray& bytes)
    {
        socket.write(bytes);
        socket.flush();
    }
    bool Closed() const { return socket.state() == QAbstractSocket::UnconnectedState; }
};

quint16 Listen(LinkPair& pair)
{
    const quint16 port = LinkPair::FreePort();
    pair.cliente.w().c.txtTelaPorta.setText(QString::number(port));
    pair.cliente.w().routes.cmdClienteTransmitirTela_Click();
    return port;
}

}  // namespace

TEST(DirectLink, ValidatesTheHelloAndMarksBothSidesConnected)
{
    LinkPair pair;
    pair.ConnectDirect();
    ASSERT_TRUE(pair.BothValidated());
    shell::frmMain& cliente = pair.cliente.w();
    EXPECT_TRUE(cliente.s.TransmissaoIniciada);
    EXPECT_TRUE(cliente.tmrFrame.isActive());
    EXPECT_TRUE(cliente.c.scrNitidez.enabled());
    EXPECT_TRUE(pair.tecnico.w().c.cmdPararRemoto.enabled());
    EXPECT_GT(pair.tecnico.w().s.UltimoFrameEm, 0.0f);
    EXPECT_TRUE(cliente.log.text().contains("Tela remota autorizada. Transmissao iniciada."));
    EXPECT_TRUE(pair.tecnico.w().log.text().contains("Tela remota autorizada."));
    EXPECT_NE(pair.service.Bodies("registrar_conexao.php").at(0).find("&papel=cliente"), std::string::npos);
}

TEST(DirectLink, RefusesAWrongKeyAWrongIdAndTooFewParts)
{
    for (const QByteArray& hello : {QByteArray("HELLO:sess-1:KEY-1\n"), QByteArray("HELLO:sess-2:key-1\n"),
                                   QByteArray("HELLO:sess-1\n")}) {
        LinkPair pair;
        RawPeer peer(Listen(pair));
        ASSERT_TRUE(WaitUntil([&] { return !pair.cliente.w().link.RemoteIsClosed(); }));
        peer.Send(hello);
        ASSERT_TRUE(WaitUntil([&] { return peer.Closed(); })) << hello.constData();
        EXPECT_FALSE(pair.cliente.w().s.TelaConectada);
        EXPECT_TRUE(pair.cliente.w().link.ListenIsClosed());
        EXPECT_TRUE(peer.received.isEmpty());
        const QString log = pair.cliente.w().log.text();
        EXPECT_TRUE(log.contains("Conexao recusada por seguranca.") || log.contains("Validacao de tela invalida."));
    }
}

TEST(DirectLink, AcceptsAnExtraFieldAndAnswersEachValidHello)
{
    LinkPair pair;
    RawPeer peer(Listen(pair));
    peer.Send("CMD:MM:10:10:0\nHELLO:sess-1:key-1:extra\r\nHELLO:sess-1:key-1\n");
    ASSERT_TRUE(WaitUntil([&] { return peer.received.startsWith("OK\nOK\n"); }));
    EXPECT_TRUE(pair.cliente.w().s.TelaConectada);
    EXPECT_TRUE(pair.cliente.w().tmrFrame.isActive());
}

TEST(DirectLink, TheNewestConnectionReplacesTheOneInHand)
{
    LinkPair pair;
    const quint16 port = Listen(pair);
    RawPeer first(port);
    first.Send("HELLO:sess-1:key-1\n");
    ASSERT_TRUE(WaitUntil([&] { return pair.cliente.w().s.TelaConectada; }));
    RawPeer second(port);
    ASSERT_TRUE(WaitUntil([&] { return first.Closed(); }));
    EXPECT_FALSE(pair.cliente.w().s.TelaConectada);
    EXPECT_FALSE(pair.cliente.w().tmrFrame.isActive());
    second.Send("HELLO:sess-1:key-1\n");
    ASSERT_TRUE(WaitUntil([&] { return pair.cliente.w().s.TelaConectada; }));
}

TEST(DirectLink, GoodbyeFromTheTechnicianEndsTheSessionOnTheSupportedSide)
{
    LinkPair pair;
    pair.ConnectDirect();
    ASSERT_TRUE(pair.BothValidated());
    pair.tecnico.w().end.SolicitarEncerrarTelaRemota();
    shell::frmMain& cliente = pair.cliente.w();
    // The supported side ends too and is handed a fresh code at once.
    ASSERT_TRUE(WaitUntil([&] { return cliente.s.codigo_id == "c2"; }));
    EXPECT_EQ(cliente.c.lblStatus.text(), "Pronto para receber suporte. Informe seu codigo ao tecnico.");
    EXPECT_TRUE(cliente.s.sessao_id.isEmpty());
    EXPECT_FALSE(cliente.s.SessaoEncerrada);
    EXPECT_TRUE(cliente.link.ListenIsClosed());
    EXPECT_EQ(pair.service.Count("encerrar_sessao.php"), 1u) << "only the side that ended tells the service";
    EXPECT_TRUE(pair.tecnico.w().s.codigo_id.isEmpty());
}

TEST(DirectLink, GoodbyeFromTheSupportedSideReachesTheTechnician)
{
    LinkPair pair;
    pair.ConnectDirect();
    ASSERT_TRUE(pair.BothValidated());
    pair.cliente.w().end.SolicitarEncerrarTelaRemota();
    ASSERT_TRUE(WaitUntil([&] { return pair.tecnico.w().s.SessaoEncerrada; }));
    EXPECT_EQ(pair.tecnico.w().c.lblStatus.text(), "Sessao encerrada pelo outro computador.");
    EXPECT_TRUE(pair.tecnico.w().s.codigo_id.isEmpty());
    EXPECT_FALSE(pair.tecnico.w().c.cmdPararRemoto.enabled());
}

TEST(DirectLink, APeerClosingAValidatedLinkIsALossThatKeepsTheSession)
{
    LinkPair pair;
    pair.ConnectDirect();
    ASSERT_TRUE(pair.BothValidated());
    pair.cliente.w().link.CloseRemote();  // the supported side drops silently
    shell::frmMain& tecnico = pair.tecnico.w();
    ASSERT_TRUE(WaitUntil([&] { return !tecnico.s.TelaConectada; }));
    EXPECT_TRUE(tecnico.log.text().contains("Tela remota desconectada."));
    EXPECT_TRUE(tecnico.log.text().contains("Conexao de tela perdida. Tentando recuperar automaticamente."));
    EXPECT_EQ(tecnico.c.lblStatus.text(), "Conexao de tela perdida. Tentando reconectar.");
    EXPECT_EQ(tecnico.s.sessao_id, "sess-1");
    EXPECT_EQ(tecnico.s.stream_key, "key-1");
    EXPECT_FALSE(tecnico.s.DadosTelaRecebidos);
    EXPECT_FALSE(tecnico.s.SessaoEncerrada);
    EXPECT_TRUE(tecnico.c.cmdPararRemoto.enabled());
    // The quality panel is live only while a link is validated.
    EXPECT_FALSE(tecnico.c.scrNitidez.enabled());
    EXPECT_FALSE(tecnico.c.scrAtualizacao.enabled());
}

TEST(DirectLink, ACloseBeforeValidationIsOnlyLogged)
{
    LinkPair pair;
    {
        RawPeer peer(Listen(pair));
        ASSERT_TRUE(WaitUntil([&] { return !pair.cliente.w().link.RemoteIsClosed(); }));
    }
    ASSERT_TRUE(WaitUntil([&] { return pair.cliente.w().log.text().contains("Tela remota desconectada."); }));
    EXPECT_FALSE(pair.cliente.w().log.text().contains("Conexao de tela perdida"));
    EXPECT_TRUE(pair.cliente.w().s.TransmissaoIniciada);
}

TEST(DirectLink, StoppingLogsOnlyWhenSomethingRan)
{
    LinkPair pair;
    pair.cliente.w().loss.PararTelaRemota(false);
    EXPECT_TRUE(pair.cliente.w().log.text().isEmpty());
    Listen(pair);
    pair.cliente.w().loss.PararTelaRemota(false);
    EXPECT_TRUE(pair.cliente.w().log.text().startsWith(pair.cliente.w().log.text().left(11) + "Tela remota parada."));
}

TEST(DirectLink, CommandsBeforeValidationAreDropped)
{
    LinkPair pair;
    RawPeer peer(Listen(pair));
    peer.Send("CMD:CF:1:1:1\n");
    RunEvents(200);
    EXPECT_EQ(pair.cliente.w().quality.state().NivelNitidez(), 3);
    peer.Send("HELLO:sess-1:key-1\nCMD:CF:1:5:1\n");
    ASSERT_TRUE(WaitUntil([&] { return pair.cliente.w().quality.state().NivelNitidez() == 1; }));
    EXPECT_TRUE(pair.cliente.w().quality.state().NitidezManual());
    EXPECT_EQ(pair.cliente.w().tmrFrame.interval(), 175);
}

TEST(DirectLink, TheTechniciansSharpnessTravelsAndStopsAutomaticChanges)
{
    LinkPair pair;
    pair.ConnectDirect();
    ASSERT_TRUE(pair.BothValidated());
    shell::frmMain& tecnico = pair.tecnico.w();
    tecnico.c.scrNitidez.setValue(4);
    tecnico.quality.scrNitidez_Change();
    shell::frmMain& cliente = pair.cliente.w();
    ASSERT_TRUE(WaitUntil([&] { return cliente.quality.state().NivelNitidez() == 4; }));
    EXPECT_EQ(cliente.quality.state().QualidadeJpeg(false), 70);
    EXPECT_EQ(cliente.quality.state().LarguraMaxima(false), 3200);
    EXPECT_EQ(cliente.c.lblNitidez.text(), "Nitidez: maxima");
    cliente.quality.AjustarQualidadeAutomatica(3.0f);
    EXPECT_EQ(cliente.quality.state().NivelNitidez(), 4);
}

TEST(DirectLink, TheTechnicianNeverCarriesOutInputFromTheSupportedSide)
{
    LinkPair pair;
    pair.ConnectDirect();
    ASSERT_TRUE(pair.BothValidated());
    pair.cliente.w().link.Send("CMD:CF:1:1:1\n");
    RunEvents(200);
    EXPECT_EQ(pair.tecnico.w().quality.state().NivelNitidez(), 3);
    EXPECT_FALSE(pair.tecnico.w().s.SessaoEncerrada);
}
