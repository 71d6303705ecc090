// Start-up, shutdown, the version gate and the windows around the account,
// against a canned web site.
#include "core/account/frmCadastro.h"
#include "core/api/VersionCheck.h"
#include "core/shell/SingleInstance.h"
#include "core/shell/frmSobre.h"
#include "support/CannedService.h"
#include "support/ClosedPort.h"
#include "support/MainWindowHarness.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using shell::MessageAnswer;
using shell::MessageIcon;
using testing_support::CannedHttpServer;
using testing_support::CannedService;
using testing_support::MainWindowHarness;

namespace {

const QString kCode = R"({"ok":true,"codigo_id":"c1","codigo":"482913"})";

bool CheckVersion(CannedService& service, MainWindowHarness& device, const std::string& reply)
{
    service.server().SetReply({200, reply});
    return api::CheckAppVersion(device.dialogs, device.urls, 1234.5f);
}

}  // namespace

TEST(VersionCheck, AnswersEachReplyWithTheRightNoticeAndLetsTheProgramStartWithoutAServer)
{
    CannedService service;
    MainWindowHarness device;
    EXPECT_TRUE(CheckVersion(service, device, "116,116"));
    EXPECT_TRUE(device.dialogs.shown.empty());

    EXPECT_TRUE(CheckVersion(service, device, " 117 , 100 \r\n"));
    ASSERT_EQ(device.dialogs.shown.size(), 1u);
    EXPECT_EQ(device.dialogs.shown[0].title, "Atualizacao disponivel");
    EXPECT_EQ(device.dialogs.shown[0].icon, MessageIcon::Information);

    EXPECT_FALSE(CheckVersion(service, device, "117,117"));
    ASSERT_EQ(device.dialogs.shown.size(), 2u);
    EXPECT_EQ(device.dialogs.shown[1].title, "Atualizacao obrigatoria");
    EXPECT_EQ(device.dialogs.shown[1].icon, MessageIcon::Warning);
    EXPECT_EQ(device.dialogs.shown[1].text,
              "Esta versao do Marquelin precisa ser atualizada para continuar.\r\n\r\n"
              "O site sera aberto para baixar a nova versao.");
    ASSERT_EQ(device.urls.opened.size(), 1);
    EXPECT_TRUE(device.urls.opened[0].endsWith("/download.html"));

    for (const char* nonsense : {"<html>oops</html>", "", "117", "1.1.7,1.1.0"})
        EXPECT_TRUE(CheckVersion(service, device, nonsense)) << nonsense;
    EXPECT_EQ(device.dialogs.shown.size(), 2u);

    const auto request = service.server().Requests().back();
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.target.rfind("/versao.php?t=1234.5", 0), 0u);
    EXPECT_EQ(request.Header("User-Agent"), "Marquelin-Windows/1.1.6");

    // Without a server the program starts, saying nothing.
    const testing_support::ClosedPort closed;
    testing_support::ScopedEnv site("MARQUELIN_SITE", "http://127.0.0.1:" + QByteArray::number(closed.port()));
    EXPECT_TRUE(api::CheckAppVersion(device.dialogs, device.urls, 1.0f));
    EXPECT_EQ(device.dialogs.shown.size(), 2u);
}

TEST(Startup, WithACompleteAccountHidesTheSignUpItemAndAsksForACode)
{
    CannedService service;
    service.Reply("gerar_codigo.php", kCode);
    MainWindowHarness device;
    device.store.SaveAccount(" Ana ", "ana@example.com", "tok");
    ASSERT_TRUE(device.w().Load());
    shell::frmMain& w = device.w();
    EXPECT_EQ(w.c.frmMain.text(), "Marquelin - Ana");
    EXPECT_FALSE(w.c.mnuMinhaConta.visible());
    EXPECT_EQ(w.c.txtCodigoReceber.text(), "482913");
    EXPECT_TRUE(w.s.RotaAutomatica);
    EXPECT_TRUE(w.tmrStatus.isActive());
    EXPECT_FALSE(w.c.cmdPermitir.enabled());
    EXPECT_FALSE(w.c.cmdPararRemoto.visible());
    EXPECT_FALSE(w.c.txtTelaIp.visible());
    EXPECT_EQ(device.dialogs.cadastroShown, 0);
    // The log's only line hides the API address.
    EXPECT_TRUE(w.log.text().endsWith(" - Marquelin iniciado.\r\n"));
    EXPECT_EQ(w.log.text().count("\r\n"), 1);
}

TEST(Startup, WithoutAnAccountOpensTheSignUpWindow)
{
    CannedService service;
    MainWindowHarness device;
    device.store.SaveAccount("Ana", "ana@example.com", "   ");
    ASSERT_TRUE(device.w().Load());
    EXPECT_EQ(device.dialogs.cadastroShown, 1);
    EXPECT_TRUE(device.w().c.mnuMinhaConta.visible());
    EXPECT_EQ(device.w().c.lblStatus.text(), "Ative sua conta para usar o Marquelin.");
    EXPECT_EQ(service.Count("gerar_codigo.php"), 0u);
}

TEST(Startup, ASecondInstanceOrAMandatoryUpdateEndsItEarly)
{
    CannedService service;
    QTemporaryDir runtime;
    shell::SingleInstance first(runtime.filePath("marquelin.lock"));
    ASSERT_FALSE(first.AnotherIsRunning());
    shell::SingleInstance second(runtime.filePath("marquelin.lock"));
    MainWindowHarness device;
    device.window = std::make_unique<shell::frmMain>(
        shell::MainServices{device.clock, device.dialogs, device.clipboard, device.urls, device.store, &second});
    EXPECT_FALSE(device.w().Load());
    ASSERT_EQ(device.dialogs.Texts(), QStringList{"O Marquelin ja esta aberto neste computador."});
    EXPECT_EQ(device.dialogs.shown[0].title, "Marquelin");
    EXPECT_EQ(service.Total(), 0u);
    EXPECT_TRUE(device.w().log.text().isEmpty());

    service.server().SetReply({200, "200,150"});
    MainWindowHarness outdated;
    EXPECT_FALSE(outdated.w().Load());
    EXPECT_TRUE(outdated.w().s.Fechando);
    EXPECT_FALSE(outdated.w().tmrStatus.isActive());
}

TEST(Shutdown, SendsOneEndRequestOnlyWithASessionAndLogsNothing)
{
    CannedService service;
    service.Reply("encerrar_sessao.php", R"({"ok":true})");
    MainWindowHarness device;
    device.SaveAccount();
    bool unloaded = false;
    QObject::connect(device.window.get(), &shell::frmMain::unloaded, [&] { unloaded = true; });
    device.w().mnuSair_Click();
    EXPECT_TRUE(unloaded);
    EXPECT_EQ(service.Total(), 0u);

    MainWindowHarness inSession;
    inSession.SaveAccount();
    inSession.w().s.sessao_id = "s5";
    inSession.w().Unload();
    ASSERT_EQ(service.Total(), 1u);
    EXPECT_NE(service.Bodies("encerrar_sessao.php")[0].find("&sessao_id=s5&motivo=aplicativo_fechado"), std::string::npos);
    EXPECT_TRUE(inSession.w().log.text().isEmpty());
}

TEST(AccountRemoval, OnlyYesEndsTheOpenSessionAndMakesANewDeviceId)
{
    CannedService service;
    service.Reply("encerrar_sessao.php", R"({"ok":true})");
    MainWindowHarness device;
    device.SaveAccount();
    shell::frmSobre declined(device.w());
    declined.cmdRemover_Click();  // the scripted answer is No
    EXPECT_EQ(device.store.GetSavedToken(), "tok");
    EXPECT_EQ(device.dialogs.cadastroShown, 0);
    device.dialogs.shown.clear();

    shell::frmMain& w = device.w();
    const QString oldUid = w.c.txtDispositivo.text();
    w.s.sessao_id = "s8";
    w.c.txtCodigoReceber.setText("123");
    device.dialogs.answers = {MessageAnswer::Yes};
    bool aboutClosed = false;
    device.dialogs.onSobre = [&](shell::frmSobre& about) {
        QObject::connect(&about, &shell::frmSobre::closeRequested, [&] { aboutClosed = true; });
        about.cmdRemover_Click();
    };
    w.c.mnuMinhaConta.setVisible(false);
    w.mnuSobre_Click();

    EXPECT_EQ(device.dialogs.shown.at(0).text, "Remover a licenca salva neste computador?");
    EXPECT_EQ(device.dialogs.shown.at(0).icon, MessageIcon::Question);
    EXPECT_NE(service.Bodies("encerrar_sessao.php").at(0).find("motivo=licenca_removida"), std::string::npos);
    EXPECT_TRUE(aboutClosed);
    EXPECT_EQ(device.dialogs.cadastroShown, 1);
    EXPECT_TRUE(w.c.mnuMinhaConta.visible());
    EXPECT_TRUE(w.c.txtEmail.text().isEmpty());
    EXPECT_TRUE(w.c.txtCodigoReceber.text().isEmpty());
    EXPECT_EQ(w.c.frmMain.text(), "Marquelin");
    EXPECT_EQ(w.c.lblStatus.text(), "Licenca removida deste computador.");
    EXPECT_NE(w.c.txtDispositivo.text(), oldUid);
    EXPECT_EQ(w.c.txtDispositivo.text(), device.store.GetDeviceUid());
    EXPECT_TRUE(device.store.GetSavedToken().isEmpty());
}

TEST(AboutWindow, ShowsTheAccountOrNotActivatedAndOpensTheLinks)
{
    MainWindowHarness device;
    shell::frmSobre about(device.w());
    about.Form_Load();
    EXPECT_TRUE(about.lblDados.text().startsWith("Usuario: (nao ativado)\r\nE-mail: (nao ativado)\r\nVersao: 1.1.6\r\nSite: "));
    device.store.SaveAccount("  ", "a@b.c", "t");
    about.Form_Load();
    EXPECT_TRUE(about.lblDados.text().startsWith("Usuario:   \r\nE-mail: a@b.c\r\n"));
    about.cmdManual_Click();
    about.cmdSoftwares_Click();
    ASSERT_EQ(device.urls.opened.size(), 2);
    EXPECT_TRUE(device.urls.opened[0].endsWith("/ajuda"));
}

TEST(SignUpWindow, ChecksItsBoxesThenSendsTheSignUpAndReportsTheOutcome)
{
    CannedService service;
    MainWindowHarness device;
    account::frmCadastro cadastro(device.w());
    cadastro.txtNome.setText("   ");
    cadastro.txtEmail.setText("a@b.c");
    cadastro.cmdCriar_Click();
    cadastro.txtNome.setText("Ana");
    cadastro.cmdAtivar_Click();
    EXPECT_EQ(service.Total(), 0u);
    cadastro.txtNome.setText("Ana Maria");
    cadastro.txtEmail.setText("ana@example.com");
    cadastro.cmdCriar_Click();
    service.Reply("cadastro.php", R"({"ok":true})");
    cadastro.cmdCriar_Click();
    EXPECT_EQ(device.dialogs.Texts(), QStringList({"Informe nome e e-mail.", "Informe nome, e-mail e codigo recebido.",
                                                   "Nao foi possivel enviar o cadastro agora.",
                                                   "Cadastro enviado. Confira o codigo no seu e-mail."}));
    EXPECT_EQ(service.Bodies("cadastro.php").at(0), "nome=Ana+Maria&email=ana%40example.com");
}

TEST(SignUpWindow, ActivationSavesTheAccountAndClosesItself)
{
    CannedService service;
    service.Reply("gerar_codigo.php", kCode);
    MainWindowHarness device;
    account::frmCadastro cadastro(device.w());
    bool closed = false;
    QObject::connect(&cadastro, &account::frmCadastro::closeRequested, [&] { closed = true; });
    cadastro.txtNome.setText(" Ana ");
    cadastro.txtEmail.setText("ana@example.com");
    cadastro.txtCodigo.setText("999");
    cadastro.cmdAtivar_Click();
    EXPECT_EQ(device.dialogs.Texts().back(), "Codigo invalido ou expirado.");
    EXPECT_FALSE(closed);

    service.Reply("ativar.php", R"({"ok":true,"token":"novo-token"})");
    cadastro.cmdAtivar_Click();
    EXPECT_TRUE(closed);
    EXPECT_EQ(device.dialogs.Texts().back(), "Conta ativada neste computador.");
    EXPECT_EQ(device.store.GetSavedName(), " Ana ");
    EXPECT_EQ(device.w().c.frmMain.text(), "Marquelin - Ana");
    EXPECT_EQ(device.w().c.txtCodigoReceber.text(), "482913");
    const std::string body = service.Bodies("ativar.php").back();
    EXPECT_EQ(body.rfind("email=ana%40example.com&codigo=999&dispositivo_uid=" + device.store.GetDeviceUid().toStdString()
                             + "&nome_maquina=", 0),
              0u);
    EXPECT_NE(body.find("&versao_app=1.1.6"), std::string::npos);
}

TEST(MainWindowActivation, SavesTheTokenAndRequestsACodeOrChangesNothing)
{
    CannedService service;
    service.Reply("gerar_codigo.php", kCode);
    MainWindowHarness device;
    shell::frmMain& w = device.w();
    w.RecarregarConta(false);
    w.c.txtNome.setText(" Bia ");
    w.c.txtEmail.setText("bia@example.com");
    w.account.cmdAtivar_Click();
    EXPECT_NE(service.Bodies("ativar.php").at(0).find("&codigo=&"), std::string::npos);
    EXPECT_TRUE(device.store.GetSavedEmail().isEmpty());
    EXPECT_TRUE(w.log.text().contains("Codigo de ativacao invalido ou expirado."));

    service.Reply("ativar.php", R"({"ok":true,"token":"t1"})");
    w.account.cmdAtivar_Click();
    EXPECT_EQ(device.store.GetSavedName(), " Bia ");
    EXPECT_EQ(w.c.frmMain.text(), "Marquelin - Bia");
    EXPECT_EQ(w.c.txtCodigoReceber.text(), "482913");
    EXPECT_TRUE(w.log.text().contains("Conta pronta para uso neste computador."));
    EXPECT_FALSE(w.log.text().contains("{"));

    w.account.cmdValidar_Click();
    EXPECT_TRUE(w.log.text().startsWith(w.log.text().left(11) + "Licenca local nao validada."));
}
