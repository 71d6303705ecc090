// Session brokering against a canned service: the cases a real server
// cannot be made to produce on demand.
#include "core/session/SessionButtons.h"
#include "support/CannedService.h"
#include "support/MainWindowHarness.h"

#include <QTimer>
#include <gtest/gtest.h>

using testing_support::CannedService;
using testing_support::MainWindowHarness;

namespace {

const QString kReady = "Pronto para receber suporte. Informe seu codigo ao tecnico.";

QString Status(const QString& fields) { return R"({"ok":true,)" + fields + "}"; }

class Brokering : public ::testing::Test {
protected:
    void SetUp() override { device.SaveAccount(); }
    shell::frmMain& w() { return device.w(); }
    session::SessionRecord& s() { return device.w().s; }
    bool Logged(const QString& text) { return w().log.text().contains(text); }

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
    EXPECT_EQ(w().c.lblStatus.text(), kReady);

    service.Reply("gerar_codigo.php", R"({"ok":true,"codigo_id":"","id":"17","codigo":"9"})");
    s().sessao_id = "s1";
    s().stream_key = "k";
    s().SessaoEncerrada = true;
    w().code.GerarCodigo(true);
    EXPECT_EQ(service.Count("status_codigo.php"), 1u);
    EXPECT_EQ(s().codigo_id, "17");
    EXPECT_TRUE(s().sessao_id.isEmpty() && s().stream_key.isEmpty());
    EXPECT_FALSE(s().SessaoEncerrada);
    EXPECT_TRUE(Logged("Codigo de suporte atualizado."));
}

TEST_F(Brokering, ARefusedCodeOrAnIncompleteAccountLeavesTheRecordAndSaysSo)
{
    s().codigo_id = "old";
    w().code.GerarCodigo(false);
    EXPECT_EQ(s().codigo_id, "old");
    EXPECT_EQ(w().c.lblStatus.text(), "Nao foi possivel gerar o codigo de suporte.");
    EXPECT_TRUE(w().log.text().isEmpty());

    const size_t asked = service.Total();
    device.SaveAccount("Ana", "ana@example.com", "   ");
    w().code.GerarCodigo(true);
    EXPECT_EQ(w().c.lblStatus.text(), "Ative sua conta para gerar o codigo de suporte.");
    w().c.txtToken.setText("");
    w().status.tmrStatus_Timer();
    EXPECT_EQ(service.Total(), asked);
}

TEST_F(Brokering, TheCopyButtonCopiesTheUntrimmedCodeOrNothing)
{
    w().c.txtCodigoReceber.setText("   ");
    w().code.cmdCopiarCodigo_Click();
    EXPECT_TRUE(device.clipboard.texts.isEmpty());
    EXPECT_EQ(w().c.lblStatus.text(), "Nenhuma sessao ativa.");
    w().c.txtCodigoReceber.setText(" 123 ");
    w().code.cmdCopiarCodigo_Click();
    EXPECT_EQ(device.clipboard.texts, QStringList{" 123 "});
    EXPECT_TRUE(Logged("Codigo copiado."));
}

TEST_F(Brokering, TheRequestPromptIsShownAndHighlightedOnEveryPoll)
{
    service.Reply("status_codigo.php", Status(R"("status":"solicitado","papel":"cliente","id":"5","tecnico_nome":"Joao")"));
    w().status.tmrStatus_Timer();
    EXPECT_EQ(w().c.lblStatus.text(), "Joao quer acessar este computador.");
    EXPECT_EQ(w().c.cmdPermitir.text(), "PERMITIR ACESSO");
    EXPECT_TRUE(w().c.lblStatus.look().bold);
    EXPECT_TRUE(w().c.cmdPermitir.enabled() && w().c.cmdRecusar.enabled());
    EXPECT_FALSE(w().c.cmdEncerrar.enabled());
    session::DestacarSolicitacao(w().c, false);
    EXPECT_EQ(w().c.lblStatus.text(), "Joao quer acessar este computador.");
    EXPECT_EQ(w().c.cmdPermitir.text(), "Permitir acesso");
    service.Reply("status_codigo.php", Status(R"("status":"solicitado","papel":"cliente","id":"5")"));
    w().status.ConsultarStatus();
    EXPECT_EQ(w().c.lblStatus.text(), " quer acessar este computador.");
    EXPECT_TRUE(w().log.text().isEmpty()) << "status polling writes nothing to the log";
}

TEST_F(Brokering, AnAnswerNeedsACodeIdAndAFailedOneGivesTheButtonsBack)
{
    w().access.cmdPermitir_Click();
    EXPECT_EQ(w().c.lblStatus.text(), "Aguarde a solicitacao carregar e tente novamente.");
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
                  + "&token=tok&acao=recusar&codigo_id=5&versao_link=2");
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
    EXPECT_NE(service.Bodies("solicitar_acesso.php").back().find("&codigo=+123+&versao_link=2"), std::string::npos);
    EXPECT_EQ(w().tmrStatus.interval(), 700);
    EXPECT_EQ(w().c.lblStatus.text(), "Solicitacao enviada. Aguardando o cliente permitir.");
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
    service.server().SetResponder([](const testing_support::CannedHttpServer::Request& r) {
        testing_support::CannedHttpServer::Reply reply;
        reply.body = r.body.find("codigo_id") != std::string::npos
            ? R"({"ok":true,"status":"solicitado","papel":"tecnico","id":"c9"})"
            : R"({"ok":true,"status":"aceito","papel":"tecnico","id":"c9","sessao_id":"s7"})";
        return reply;
    });
    w().status.ConsultarStatus();
    EXPECT_EQ(s().sessao_id, "s7");
    EXPECT_EQ(w().c.lblStatus.text(), "Acesso permitido. Sessao s7");
    EXPECT_EQ(s().InicioSolicitacao, 0.0f);
    EXPECT_EQ(w().tmrStatus.interval(), 2000);
    EXPECT_TRUE(Logged("Sessao aceita localizada automaticamente."));
}

TEST_F(Brokering, AFailedUnknownOrLateStatusOnlyCopiesTheFields)
{
    s().codigo_id = "c";
    w().status.ConsultarStatus();  // the default canned reply is a refusal
    EXPECT_EQ(s().codigo_id, "c");

    service.Reply("status_codigo.php", Status(R"("status":"pausado","papel":"tecnico","id":"","sessao_id":"s3")"));
    w().c.lblStatus.setText("antes");
    w().status.ConsultarStatus();
    EXPECT_EQ(s().papel, "tecnico");
    EXPECT_EQ(s().codigo_id, "");
    EXPECT_EQ(s().sessao_id, "s3");
    EXPECT_EQ(w().c.lblStatus.text(), "antes");

    // An acceptance arriving after the user ended starts nothing.
    s().SessaoEncerrada = true;
    s().InicioSolicitacao = device.clock.Timer();
    w().tmrStatus.setInterval(700);
    service.Reply("status_codigo.php", Status(R"("status":"aceito","papel":"cliente","id":"c1","sessao_id":"s2")"));
    w().status.ConsultarStatus();
    EXPECT_EQ(s().papel, "cliente");
    EXPECT_EQ(s().sessao_id, "s2");
    EXPECT_EQ(s().InicioSolicitacao, 0.0f);
    EXPECT_EQ(w().tmrStatus.interval(), 2000);
    EXPECT_EQ(service.Count("credenciais_sessao.php"), 0u);
    EXPECT_FALSE(s().TransmissaoIniciada);
    EXPECT_TRUE(w().link.ListenIsClosed());
    EXPECT_TRUE(w().log.text().isEmpty());
}

TEST_F(Brokering, EncerradoEndsTheSessionOnceGivingTheClienteANewCodeAndTheTecnicoNone)
{
    s().papel = "cliente";
    s().sessao_id = "s1";
    s().TransmissaoIniciada = true;
    service.Reply("status_codigo.php", Status(R"("status":"encerrado","papel":"cliente","id":"c1")"));
    service.Reply("gerar_codigo.php", R"({"ok":true,"codigo_id":"c2","codigo":"222"})");
    w().status.ConsultarStatus();
    EXPECT_EQ(s().codigo_id, "c2");
    EXPECT_EQ(w().c.txtCodigoReceber.text(), "222");
    EXPECT_TRUE(s().sessao_id.isEmpty());
    EXPECT_FALSE(s().TransmissaoIniciada);

    MainWindowHarness tecnico;
    tecnico.SaveAccount();
    tecnico.w().s.papel = "tecnico";
    tecnico.w().s.sessao_id = "s1";
    service.Reply("status_codigo.php", Status(R"("status":"encerrado","papel":"tecnico","id":"c1")"));
    tecnico.w().status.ConsultarStatus();
    EXPECT_TRUE(tecnico.w().s.SessaoEncerrada);
    EXPECT_EQ(tecnico.w().c.lblStatus.text(), "Sessao encerrada.");
    EXPECT_TRUE(tecnico.w().s.codigo_id.isEmpty());
    tecnico.w().c.lblStatus.setText("x");  // again: already ended, nothing more
    tecnico.w().status.ConsultarStatus();
    EXPECT_EQ(tecnico.w().c.lblStatus.text(), "x");
    EXPECT_EQ(service.Count("gerar_codigo.php"), 1u);
}

TEST_F(Brokering, EndingSendsOneEndRequestWithTheRoleOrClienteWithoutOne)
{
    service.Reply("encerrar_sessao.php", R"({"ok":true})");
    service.Reply("gerar_codigo.php", R"({"ok":true,"codigo_id":"c3","codigo":"333"})");
    s().sessao_id = "s1";
    w().end.SolicitarEncerrarTelaRemota();
    EXPECT_NE(service.Bodies("encerrar_sessao.php").at(0).find("motivo=cliente"), std::string::npos);
    EXPECT_EQ(s().codigo_id, "c3");
    EXPECT_EQ(s().papel, "cliente");

    s().papel = "tecnico";
    s().sessao_id = "s9";
    w().end.SolicitarEncerrarTelaRemota();
    w().end.SolicitarEncerrarTelaRemota();
    const auto bodies = service.Bodies("encerrar_sessao.php");
    ASSERT_EQ(bodies.size(), 2u);
    EXPECT_NE(bodies[1].find("&sessao_id=s9&motivo=tecnico"), std::string::npos);
    EXPECT_TRUE(s().codigo_id.isEmpty());
    EXPECT_TRUE(Logged("Sessao encerrada."));
}
