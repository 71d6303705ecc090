// Session brokering against a canned service: the cases a real server
// cannot be made to produce on demand.
#include "core/session/SessionCredentials.h"
#include "support/CannedService.h"
#include "support/MainWindowHarness.h"

#include <QTimer>
#include <gtest/gtest.h>

using testing_support::CannedService;
using testing_support::MainWindowHarness;

namespace {

QString Status(const QString& fields) { return R"({"ok":true,)" + fields + "}"; }

class Brokering : public ::testing::Test {
protected:
    void SetUp() override { device.SaveAccount(); }
    shell::frmMain& w() { return device.w(); }
    session::SessionRecord& s() { return device.w().s; }
    bool Logged(const QString& text) { return w().log.text().contains(text); }
    QString Label() { return w().c.lblStatus.text(); }
    void Poll(const QString& fields)
    {
        service.Reply("status_codigo.php", Status(fields));
        w().status.ConsultarStatus();
    }

    CannedService service;
    MainWindowHarness device;
};

}  // namespace

TEST_F(Brokering, ACodeWithoutIdTakesItFromAnImmediatePollAndOneWithAnIdResetsTheSession)
{
    service.Reply("gerar_codigo.php", R"({"ok":true,"codigo":"123 456"})");
    service.Reply("status_codigo.php", Status(R"("status":"aguardando","papel":"cliente","id":"77")"));
    w().code.GerarCodigo(false);
    EXPECT_EQ(service.Count("status_codigo.php"), 1u);
    EXPECT_EQ(s().codigo_id, "77");
    EXPECT_EQ(w().c.txtCodigoReceber.text(), "123 456");
    EXPECT_EQ(Label(), "Pronto para receber suporte. Informe seu codigo ao tecnico.");

    service.Reply("gerar_codigo.php", R"({"ok":true,"codigo_id":"","id":"17","codigo":"9"})");
    s().sessao_id = s().stream_key = "s1";
    s().SessaoEncerrada = true;
    w().code.GerarCodigo(true);
    EXPECT_EQ(service.Count("status_codigo.php"), 1u);
    EXPECT_EQ(s().codigo_id, "17");
    EXPECT_TRUE(s().sessao_id.isEmpty() && s().stream_key.isEmpty() && !s().SessaoEncerrada);
    EXPECT_TRUE(Logged("Codigo de suporte atualizado."));
}

TEST_F(Brokering, ARefusedCodeOrAnIncompleteAccountLeavesTheRecordAndSaysSo)
{
    s().codigo_id = "old";
    w().code.GerarCodigo(false);
    EXPECT_EQ(s().codigo_id, "old");
    EXPECT_EQ(Label(), "Nao foi possivel gerar o codigo de suporte.");
    EXPECT_TRUE(w().log.text().isEmpty());

    const size_t asked = service.Total();
    device.SaveAccount("Ana", "ana@example.com", "   ");
    w().code.GerarCodigo(true);
    EXPECT_EQ(Label(), "Ative sua conta para gerar o codigo de suporte.");
    w().c.txtToken.setText("");
    w().status.tmrStatus_Timer();
    EXPECT_EQ(service.Total(), asked);
}

TEST_F(Brokering, TheCopyButtonCopiesTheUntrimmedCodeOrNothing)
{
    for (const char* code : {"   ", " 123 "}) {
        w().c.txtCodigoReceber.setText(code);
        w().code.cmdCopiarCodigo_Click();
    }
    EXPECT_EQ(device.clipboard.texts, QStringList{" 123 "});
    EXPECT_TRUE(Logged("Codigo copiado."));
}

TEST_F(Brokering, TheRequestPromptIsShownAndHighlightedOnEveryPoll)
{
    service.Reply("status_codigo.php", Status(R"("status":"solicitado","papel":"cliente","id":"5","tecnico_nome":"Joao")"));
    w().status.tmrStatus_Timer();
    EXPECT_TRUE(w().c.lblStatus.look().bold && w().c.cmdRecusar.enabled() && !w().c.cmdEncerrar.enabled());
    Poll(R"("status":"solicitado","papel":"cliente","id":"5")");
    EXPECT_EQ(Label(), " quer acessar este computador.");
    EXPECT_TRUE(w().log.text().isEmpty()) << "status polling writes nothing to the log";
}

TEST_F(Brokering, AnAnswerNeedsACodeIdAndAFailedOneGivesTheButtonsBack)
{
    w().access.cmdPermitir_Click();
    EXPECT_EQ(Label(), "Aguarde a solicitacao carregar e tente novamente.");
    EXPECT_EQ(service.Count("responder_acesso.php"), 0u);

    s().codigo_id = "5";
    service.Reply("responder_acesso.php", R"({"ok":false,"erro":"solicitacao_indisponivel"})");
    w().access.cmdPermitir_Click();
    EXPECT_TRUE(w().c.cmdPermitir.enabled() && w().c.cmdRecusar.enabled());
    EXPECT_TRUE(Logged("Sessao indisponivel ou encerrada."));
    w().access.cmdRecusar_Click();
    EXPECT_FALSE(w().c.cmdPermitir.enabled());
    EXPECT_EQ(service.Bodies("responder_acesso.php").back(),
              "email=ana%40example.com&dispositivo_uid=" + w().c.txtDispositivo.text().toStdString()
                  + "&token=tok&acao=recusar&codigo_id=5&recursos_link=atualizacoes&versao_link=2");
    // A failed refusal leaves the permit button as it finds it: here a poll
    // run during the request has enabled it again.
    QTimer::singleShot(0, [this] { w().c.cmdPermitir.setEnabled(true); });
    w().access.cmdRecusar_Click();
    EXPECT_TRUE(w().c.cmdPermitir.enabled());
}

TEST_F(Brokering, TheFastPollWindowLooksUpFromFiveSecondsUntilEighteenAndAdoptsAnAcceptedSession)
{
    service.Reply("solicitar_acesso.php", R"({"ok":true,"codigo_id":"c9"})");
    service.Reply("status_codigo.php", Status(R"("status":"solicitado","papel":"tecnico","id":"c9")"));
    w().c.txtCodigoAcessar.setText(" 123 ");
    w().access.cmdSolicitar_Click();
    EXPECT_NE(service.Bodies("solicitar_acesso.php").back().find("&codigo=+123+&recursos_link=atualizacoes&versao_link=2"), std::string::npos);
    EXPECT_EQ(w().tmrStatus.interval(), 700);
    EXPECT_EQ(Label(), "Solicitacao enviada. Aguardando o cliente permitir.");
    const size_t afterRequest = service.Count("status_codigo.php");

    device.clock.Advance(4.9f);  // one poll per tick, no lookup
    w().status.tmrStatus_Timer();
    EXPECT_EQ(service.Count("status_codigo.php"), afterRequest + 1);
    device.clock.Advance(0.1f);  // from 5 s the lookup adds a request without the code id
    w().status.tmrStatus_Timer();
    const auto bodies = service.Bodies("status_codigo.php");
    EXPECT_EQ(bodies.size(), afterRequest + 3);
    EXPECT_EQ(bodies.back().find("codigo_id"), std::string::npos);
    device.clock.Advance(13.1f);  // past 18 s: the normal interval, no more lookups
    w().status.tmrStatus_Timer();
    EXPECT_EQ(w().tmrStatus.interval(), 2000);
    EXPECT_EQ(service.Count("status_codigo.php"), afterRequest + 4);

    // Asked again: the code's own status still says requested, the device's latest says accepted.
    w().access.cmdSolicitar_Click();
    device.clock.Advance(6);
    service.SetResponder([](const CannedService::Request& r) -> CannedService::HttpReply {
        return {200, r.body.find("codigo_id") != std::string::npos
                         ? R"({"ok":true,"status":"solicitado","papel":"tecnico","id":"c9"})"
                         : R"({"ok":true,"status":"aceito","papel":"tecnico","id":"c9","sessao_id":"s7"})"};
    });
    w().status.ConsultarStatus();
    EXPECT_EQ(Label(), "Acesso permitido. Sessao s7");
    EXPECT_EQ(s().InicioSolicitacao, 0.0f);
    EXPECT_EQ(w().tmrStatus.interval(), 2000);
    EXPECT_TRUE(Logged("Sessao aceita localizada automaticamente."));
}

// The request is clicked while a poll of the device's own code is on its way;
// that poll's answer must not take the technician back to its own code.
TEST_F(Brokering, APollOvertakenByTheTechniciansRequestLeavesTheRequestedCode)
{
    s().codigo_id = "own";
    service.SetResponder([](const CannedService::Request& r) -> CannedService::HttpReply {
        return {200, r.body.find("codigo_id=own") != std::string::npos
                         ? R"({"ok":true,"status":"aguardando","papel":"cliente","id":"own"})"
                         : R"({"ok":true,"codigo_id":"c9","status":"solicitado","papel":"tecnico","id":"c9"})"};
    });
    QTimer::singleShot(0, [this] { w().access.cmdSolicitar_Click(); });
    w().status.ConsultarStatus();
    EXPECT_EQ(s().codigo_id, "c9");
    EXPECT_EQ(s().papel, "tecnico");
}

TEST_F(Brokering, AFailedUnknownOrLateStatusOnlyCopiesTheFields)
{
    s().codigo_id = "c";
    w().status.ConsultarStatus();  // the default canned reply is a refusal
    EXPECT_EQ(s().codigo_id, "c");
    w().c.lblStatus.setText("antes");
    Poll(R"("status":"pausado","papel":"tecnico","id":"","sessao_id":"s3")");
    EXPECT_EQ((QStringList{s().papel, s().codigo_id, s().sessao_id, Label()}), (QStringList{"tecnico", "", "s3", "antes"}));

    // An acceptance arriving after the user ended starts nothing.
    s().SessaoEncerrada = true;
    s().InicioSolicitacao = device.clock.Timer();
    w().tmrStatus.setInterval(700);
    Poll(R"("status":"aceito","papel":"cliente","id":"c1","sessao_id":"s2")");
    EXPECT_EQ((QStringList{s().papel, s().sessao_id}), (QStringList{"cliente", "s2"}));
    EXPECT_EQ(s().InicioSolicitacao, 0.0f);
    EXPECT_EQ(w().tmrStatus.interval(), 2000);
    EXPECT_EQ(service.Count("credenciais_sessao.php"), 0u);
    EXPECT_FALSE(s().TransmissaoIniciada);
    EXPECT_TRUE(w().link.ListenIsClosed() && w().log.text().isEmpty());
}

TEST_F(Brokering, EncerradoEndsTheSessionOnceGivingTheClienteANewCodeAndTheTecnicoNone)
{
    s().papel = "cliente";
    s().sessao_id = "s1";
    s().TransmissaoIniciada = true;
    service.Reply("gerar_codigo.php", R"({"ok":true,"codigo_id":"c2","codigo":"222"})");
    Poll(R"("status":"encerrado","papel":"cliente","id":"c1")");
    EXPECT_EQ(s().codigo_id, "c2");
    EXPECT_EQ(w().c.txtCodigoReceber.text(), "222");
    EXPECT_TRUE(s().sessao_id.isEmpty() && !s().TransmissaoIniciada);

    s().papel = "tecnico";
    s().sessao_id = "s1";
    Poll(R"("status":"encerrado","papel":"tecnico","id":"c1")");
    EXPECT_TRUE(s().SessaoEncerrada && s().codigo_id.isEmpty());
    EXPECT_EQ(Label(), "Sessao encerrada.");
    w().c.lblStatus.setText("x");  // again: already ended, nothing more
    w().status.ConsultarStatus();
    EXPECT_EQ(Label(), "x");
    EXPECT_EQ(service.Count("gerar_codigo.php"), 1u);
}

// The supported side's end is the widget test's; a new code follows it.
TEST_F(Brokering, EndingSendsOneEndRequestWithTheTechniciansRole)
{
    service.Reply("encerrar_sessao.php", R"({"ok":true})");
    s().papel = "tecnico";
    s().sessao_id = "s9";
    w().end.SolicitarEncerrarTelaRemota();
    w().end.SolicitarEncerrarTelaRemota();
    const auto bodies = service.Bodies("encerrar_sessao.php");
    ASSERT_EQ(bodies.size(), 1u);
    EXPECT_NE(bodies[0].find("&sessao_id=s9&motivo=tecnico"), std::string::npos);
    EXPECT_TRUE(s().codigo_id.isEmpty());
    EXPECT_TRUE(Logged("Sessao encerrada."));
}

TEST(AddressRules, UsableAndPrivateAddresses)
{
    for (const char* yes : {" 10.0.0.5 ", "50555"})
        EXPECT_TRUE(session::EnderecoUtil(yes)) << yes;
    for (const char* absent : {"", "   ", "null", "NuLL", "0.0.0.0", " 0.0.0.0 "})
        EXPECT_FALSE(session::EnderecoUtil(absent)) << absent;
    // Only the first two parts count.
    for (const char* yes : {"172.16.x.y", "10.1.2.3", " 192.168.0.10 "})
        EXPECT_TRUE(session::IpPrivado(yes)) << yes;
    for (const char* no : {"172.32.0.1", "192.169.0.1", "10.0.1", "a.b.c.d"})
        EXPECT_FALSE(session::IpPrivado(no)) << no;
}

// Same network: the local address first; other networks: the public one;
// no public address: the local one alone; no usable port or address: nothing.
TEST(TargetChoice, ReadsTheFirstAndAlternativeTargetsOncePerRoute)
{
    const struct {
        const char *publico, *atual, *local, *porta;
        const char *first, *alternative;  // "" when none
        bool privateFirst;
    } targets[] = {
        {"203.0.113.5", "203.0.113.5", "192.168.0.10", "50555", "192.168.0.10", "203.0.113.5", true},
        {"203.0.113.5", "198.51.100.7", "192.168.0.10", "50555", "203.0.113.5", "192.168.0.10", false},
        {"null", "198.51.100.7", "10.0.0.5", "50555", "10.0.0.5", "", true},
        {"203.0.113.5", "", "", "0.0.0.0", "", "", false},
        {"203.0.113.5", "", "", "", "", "", false},
        {"", "1.2.3.4", "0.0.0.0", "50555", "", "", false},
    };
    CannedService service;  // credentials refused: reading never leads to a connection
    for (const auto& t : targets) {
        MainWindowHarness device;
        device.SaveAccount();
        device.w().s.papel = "tecnico";
        device.w().s.sessao_id = "s1";
        const auto read = [&](const QString& publico) {
            device.w().creds.ReceberDadosTela(
                QString(R"({"ok":true,"ip_cliente":"%1","ip_atual":"%2","ip_local_cliente":"%3","porta_cliente":"%4"})")
                    .arg(publico, t.atual, t.local, t.porta));
        };
        read(t.publico);
        if (device.w().s.DadosTelaRecebidos)
            read("198.51.100.9");  // once per route: a second reading changes nothing
        const session::SessionRecord& s = device.w().s;
        EXPECT_EQ(device.w().c.txtTelaIp.text(), t.first) << t.publico << " " << t.atual << " " << t.local;
        EXPECT_EQ(std::tuple(s.IpAlternativo, s.PortaAlternativa, s.DestinoPrivado, s.DadosTelaRecebidos),
                  std::tuple(QString(t.alternative), *t.alternative ? 50555 : 0, t.privateFirst, *t.first != 0))
            << t.first;
        EXPECT_EQ(device.w().log.text().contains("Tela do cliente localizada."), *t.first != 0) << t.first;
    }
}

// Opening the direct route registers anew, forgetting the last registration.
TEST_F(Brokering, RegistrationRenewsEverySixSecondsAndAtOnceWhenTheAddressChangesAndLogsAFailureOnlyWhenAsked)
{
    s().sessao_id = "s1";
    s().stream_key = "k1";
    w().creds.RegistrarConexao("cliente", "10.0.0.1", 1, false);
    EXPECT_TRUE(w().log.text().isEmpty());
    s().IpRegistrado = "10.0.0.1";
    s().PortaRegistrada = 50555;
    w().c.txtTelaPorta.setText("0");  // any free port
    w().routes.cmdClienteTransmitirTela_Click();
    EXPECT_TRUE(Logged("Nao foi possivel preparar a conexao."));
    EXPECT_TRUE(s().TransmissaoIniciada);
    EXPECT_EQ(std::pair(s().IpRegistrado, s().PortaRegistrada), std::pair(QString(), 0));

    service.Reply("registrar_conexao.php", R"({"ok":true,"sessao_id":"s1"})");
    w().creds.RegistrarConexao("cliente", "", 50555, true);
    EXPECT_NE(service.Bodies("registrar_conexao.php").back().find("&papel=cliente&ip_local=0.0.0.0&porta=50555"),
              std::string::npos);
    EXPECT_EQ(s().IpRegistrado, "0.0.0.0");

    // The machine's real address differs from the one registered: at once.
    const size_t before = service.Count("registrar_conexao.php");
    w().creds.AtualizarRotaLocal();
    if (s().IpRegistrado == "0.0.0.0")
        GTEST_SKIP() << "this machine has no usable IPv4 address to register";
    EXPECT_EQ(service.Count("registrar_conexao.php"), before + 1);
    EXPECT_TRUE(Logged("Rota local atualizada automaticamente."));
    for (const auto& [later, count] : {std::pair(5.9f, 1u), std::pair(0.1f, 2u)}) {
        device.clock.Advance(later);
        w().creds.AtualizarRotaLocal();
        EXPECT_EQ(service.Count("registrar_conexao.php"), before + count) << later;
    }
}

// An older service names no link version: the session runs version 1.
TEST_F(Brokering, TheLinkVersionIsTwoOnlyWhenTheServiceSaysSo)
{
    s().sessao_id = "s1";
    const std::pair<const char*, int> cases[] = {{R"(,"versao_link":"2")", 2}, {R"(,"versao_link":"3")", 3}, {R"(,"versao_link":"4")", 1}, {"", 1}};
    for (const auto& [member, versao] : cases) {
        service.Reply("credenciais_sessao.php", QString(R"({"ok":true,"stream_key":"k"%1})").arg(member));
        EXPECT_TRUE(w().creds.ObterCredenciais());
        EXPECT_EQ(s().versao_link, versao) << member;
    }
}
