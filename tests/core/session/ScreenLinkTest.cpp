// The screen link between two main windows on loopback, plain (version 1)
// and inside TLS (version 2): handshake, newcomers, stop, loss, and the
// quality command.
#include "core/link/LinkKeys.h"
#include "core/link/LinkMessages.h"
#include "core/link/LinkProtection.h"
#include "core/link/PendingLinks.h"
#include "support/LinkPair.h"

#include <QTcpSocket>
#include <gtest/gtest.h>

using testing_support::LinkPair;
using testing_support::WaitUntil;

namespace {

// A raw technician speaking to the supported side: plain, or inside TLS with
// the session's key.
struct RawPeer {
    QTcpSocket socket;
    QByteArray received;
    std::unique_ptr<screenlink::LinkTls> tls;

    explicit RawPeer(quint16 port, bool inTls = false)
    {
        if (inTls)
            tls = std::make_unique<screenlink::LinkTls>(
                screenlink::LinkTls::Side::Client, linkkeys::LinkPsk("key-1", "sess-1"),
                [this](QByteArrayView cipher) { socket.write(cipher.data(), cipher.size()); });
        QObject::connect(&socket, &QTcpSocket::connected, [this] { ASSERT_TRUE(!tls || tls->Start()); });
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] {
            if (!tls)
                received += socket.readAll();
            else
                tls->Receive(socket.readAll(), &received);
        });
        socket.connectToHost("127.0.0.1", port);
    }
    void Send(const QByteArray& bytes) { tls ? void(tls->Send(bytes)) : void(socket.write(bytes)); }
    bool Closed() const { return socket.state() == QAbstractSocket::UnconnectedState; }
};

struct Linked : LinkPair {
    explicit Linked(int versao = 1)
    {
        UseVersion(versao);
        ConnectDirect();
        EXPECT_TRUE(BothValidated());
    }
};

class EitherLinkVersion : public testing::TestWithParam<int> {};
INSTANTIATE_TEST_SUITE_P(Versions, EitherLinkVersion, testing::Values(1, 2));

}  // namespace

TEST_P(EitherLinkVersion, ValidatesTheHelloSaysHowTheLinkIsProtectedAndALossKeepsTheSession)
{
    Linked pair(GetParam());
    shell::frmMain& cliente = pair.cliente.w();
    shell::frmMain& tecnico = pair.tecnico.w();
    EXPECT_TRUE(cliente.s.TransmissaoIniciada && cliente.tmrFrame.isActive() && cliente.c.scrNitidez.enabled());
    EXPECT_TRUE(tecnico.c.cmdPararRemoto.enabled());
    EXPECT_GT(tecnico.s.UltimoFrameEm, 0.0f);
    EXPECT_TRUE(cliente.log.text().contains("Tela remota autorizada. Transmissao iniciada."));
    EXPECT_TRUE(tecnico.log.text().contains("Tela remota autorizada."));
    const std::string registration = pair.service.Bodies("registrar_conexao.php").at(0);
    EXPECT_NE(registration.find("&papel=cliente"), std::string::npos);
    EXPECT_NE(registration.find("&porta=" + cliente.c.txtTelaPorta.text().toStdString()), std::string::npos)
        << "the port taken, not the 0 asked for";
    const QString sentence = GetParam() == 2 ? "Conexao de tela protegida."
                                             : "Conexao de tela sem protecao (versao antiga do outro computador).";
    // The next accepted status poll leaves the line as it is.
    pair.service.Reply("status_codigo.php", R"({"ok":true,"status":"aceito","papel":"cliente","sessao_id":"sess-1"})");
    cliente.status.ConsultarStatus();
    for (shell::frmMain* side : {&cliente, &tecnico}) {
        EXPECT_EQ(side->c.lblStatus.text(), sentence);
        EXPECT_TRUE(side->log.text().contains(sentence));
    }

    // A peer closing the validated link is a loss that keeps the session.
    cliente.link.CloseRemote();  // the supported side drops silently
    ASSERT_TRUE(WaitUntil([&] { return !tecnico.s.TelaConectada; }));
    EXPECT_TRUE(tecnico.log.text().contains("Conexao de tela perdida. Tentando recuperar automaticamente."));
    EXPECT_EQ(tecnico.c.lblStatus.text(), "Conexao de tela perdida. Tentando reconectar.");
    EXPECT_EQ(tecnico.s.sessao_id + tecnico.s.stream_key, "sess-1key-1");
    EXPECT_FALSE(tecnico.s.DadosTelaRecebidos || tecnico.s.SessaoEncerrada || !tecnico.c.cmdPararRemoto.enabled());
    // The quality panel is live only while a link is validated.
    EXPECT_FALSE(tecnico.c.scrNitidez.enabled() || tecnico.c.scrAtualizacao.enabled());
}

TEST(DirectLink, DropsCommandsBeforeValidationAndAnswersEachValidHelloExtraFieldsAllowed)
{
    LinkPair pair;
    RawPeer peer(pair.Listen());
    // Lines are handled in order: by the answers, the command before them was seen.
    peer.Send("CMD:CF:1:1:1\nHELLO:sess-1:key-1:extra\r\nHELLO:sess-1:key-1\n");
    ASSERT_TRUE(WaitUntil([&] { return peer.received.startsWith("OK\nOK\n"); }));
    EXPECT_TRUE(pair.cliente.w().s.TelaConectada);
    EXPECT_EQ(pair.cliente.w().quality.state().NivelNitidez(), 3);
    peer.Send("CMD:CF:1:5:1\n");
    ASSERT_TRUE(WaitUntil([&] { return pair.cliente.w().quality.state().NivelNitidez() == 1; }));
    EXPECT_TRUE(pair.cliente.w().quality.state().NitidezManual());
    EXPECT_EQ(pair.cliente.w().tmrFrame.interval(), 175);
}

// A peer that leaves before its Hello is no loss. Strangers at the port while
// a link is validated: each is closed alone with its one log line, and the
// link, its frames and the listener stay; a crowd of them costs the oldest its
// place. Only a valid Hello (the technician reconnecting) replaces the link in
// hand. Stopping logs only when something ran.
TEST(DirectLink, NewcomersAreClosedAloneUntilOneProvesItselfAndThenTheNewestWins)
{
    LinkPair pair;
    shell::frmMain& cliente = pair.cliente.w();
    cliente.loss.PararTelaRemota(false);
    EXPECT_TRUE(cliente.log.text().isEmpty());
    const quint16 port = pair.Listen();
    {
        RawPeer gone(port);
        ASSERT_TRUE(WaitUntil([&] { return cliente.link.PendingCount() == 1; }));
    }
    ASSERT_TRUE(WaitUntil([&] { return cliente.link.PendingCount() == 0; }));
    RawPeer first(port);
    first.Send("HELLO:sess-1:key-1\n");
    ASSERT_TRUE(WaitUntil([&] { return cliente.s.TelaConectada; }));
    const struct {
        QByteArray bytes;
        QString logged;
    } strangers[] = {
        {"HELLO:sess-1:KEY-1\n", "Conexao recusada por seguranca."},
        {"CMD:MM:1:1\nHELLO:sess-2:key-1\n", "Conexao recusada por seguranca."},
        {"HELLO:sess-1\n", "Validacao de tela invalida."},
        {"GET / HTTP/1.1\r\n", "Conexao de tela recusada: dados invalidos antes da validacao."},
        {QByteArray(5000, 'x'), "Conexao de tela recusada: mais de 4096 bytes sem validacao."},
        {{}, "Conexao de tela recusada: nenhuma validacao em 5 s."},
    };
    for (const auto& stranger : strangers) {
        const qsizetype before = cliente.log.text().count(stranger.logged);
        RawPeer peer(port);
        peer.Send(stranger.bytes);
        ASSERT_TRUE(WaitUntil([&] { return peer.Closed(); })) << stranger.logged.toStdString();
        EXPECT_EQ(cliente.log.text().count(stranger.logged), before + 1) << stranger.logged.toStdString();
        EXPECT_TRUE(peer.received.isEmpty());
        EXPECT_FALSE(first.Closed());
        EXPECT_TRUE(cliente.s.TelaConectada && cliente.tmrFrame.isActive());
        EXPECT_FALSE(cliente.link.ListenIsClosed());
    }
    std::vector<std::unique_ptr<RawPeer>> crowd;
    for (int i = 0; i <= screenlink::PendingLinks::kMaxPending; ++i)
        crowd.push_back(std::make_unique<RawPeer>(port));
    ASSERT_TRUE(WaitUntil([&] { return crowd.front()->Closed(); }));
    EXPECT_EQ(cliente.link.PendingCount(), screenlink::PendingLinks::kMaxPending);
    EXPECT_TRUE(cliente.log.text().contains("Conexao de tela recusada: conexoes demais aguardando validacao."));

    RawPeer second(port);
    second.Send("HELLO:sess-1:key-1\n");
    ASSERT_TRUE(WaitUntil([&] { return first.Closed() && second.received == "OK\n"; }));
    EXPECT_TRUE(cliente.s.TelaConectada && cliente.tmrFrame.isActive());
    EXPECT_FALSE(cliente.log.text().contains("Tela remota desconectada.") || cliente.log.text().contains("perdida"));
    cliente.loss.PararTelaRemota(false);
    const QString log = cliente.log.text();
    EXPECT_TRUE(log.startsWith(log.left(11) + "Tela remota parada.")) << log.toStdString();
}

// Nothing travels back but the Goodbye, the session's end, which only its
// sender reports to the service; the technician's is the end-to-end test's.
TEST_P(EitherLinkVersion, TheTechniciansSharpnessTravelsAndStopsAutomaticChangesAndOnlyTheGoodbyeComesBack)
{
    Linked pair(GetParam());
    shell::frmMain& tecnico = pair.tecnico.w();
    shell::frmMain& cliente = pair.cliente.w();
    tecnico.c.scrNitidez.setValue(4);
    tecnico.quality.scrNitidez_Change();
    ASSERT_TRUE(WaitUntil([&] { return cliente.quality.state().NivelNitidez() == 4; }));
    EXPECT_EQ(cliente.c.lblNitidez.text(), "Nitidez: maxima");
    cliente.quality.AjustarQualidadeAutomatica(3.0f);
    EXPECT_EQ(cliente.quality.state().NivelNitidez(), 4);

    // By the Goodbye after it, the command was seen and ignored.
    const int own = tecnico.quality.state().NivelNitidez();
    cliente.link.Send(screenlink::QualityCommand(1, 1));
    cliente.end.SolicitarEncerrarTelaRemota();
    ASSERT_TRUE(WaitUntil([&] { return tecnico.s.SessaoEncerrada; }));
    EXPECT_EQ(tecnico.quality.state().NivelNitidez(), own);
    EXPECT_EQ(tecnico.c.lblStatus.text(), "Sessao encerrada pelo outro computador.");
    EXPECT_TRUE(tecnico.s.codigo_id.isEmpty() && !tecnico.c.cmdPararRemoto.enabled());
    EXPECT_EQ(pair.service.Count("encerrar_sessao.php"), 1u);
}

// Refused with a clear line, closing only that connection: a technician with
// the wrong key (the alert tells it why), plain bytes, and the session's key
// itself inside TLS, where only the value derived from it is valid.
TEST(ProtectedLink, AWrongKeyPlainBytesOrTheUnderivedKeyAreRefused)
{
    const struct {
        bool tecnico, inTls;
        QString logged;
    } cases[] = {
        {true, true, "protecao TLS falhou na negociacao"},
        {false, false, "protecao TLS falhou na negociacao"},
        {false, true, "Conexao recusada por seguranca."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.logged.toStdString() + (c.inTls ? " in TLS" : ""));
        LinkPair pair;
        pair.UseVersion(2);
        const quint16 port = pair.Listen();
        std::unique_ptr<RawPeer> peer;
        if (c.tecnico) {
            pair.tecnico.w().s.stream_key = "KEY-1";
            pair.ConnectTecnico(port);
        } else {
            peer = std::make_unique<RawPeer>(port, c.inTls);
            peer->Send("HELLO:sess-1:key-1\n");
        }
        shell::frmMain& cliente = pair.cliente.w();
        ASSERT_TRUE(WaitUntil([&] { return cliente.log.text().contains(c.logged); }));
        EXPECT_TRUE(WaitUntil([&] { return peer ? peer->Closed() : pair.tecnico.w().log.text().contains(c.logged); }));
        EXPECT_TRUE(cliente.link.RemoteIsClosed() && cliente.link.PendingCount() == 0);
        EXPECT_FALSE(cliente.s.TelaConectada || pair.tecnico.w().s.TelaConectada);
        EXPECT_FALSE(cliente.link.ListenIsClosed());
    }
}
