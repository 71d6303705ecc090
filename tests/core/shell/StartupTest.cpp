// Start-up, shutdown, the version gate and the windows around the account,
// against a canned web site.
#include "core/account/frmCadastro.h"
#include "core/api/VersionCheck.h"
#include "core/shell/frmSobre.h"
#include "support/CannedService.h"
#include "support/ClosedPort.h"
#include "support/MainWindowHarness.h"

#include <gtest/gtest.h>

using shell::MessageAnswer;
using shell::MessageIcon;
using testing_support::CannedService;
using testing_support::MainWindowHarness;

namespace {

const QString kCode = R"({"ok":true,"codigo_id":"c1","codigo":"482913"})";

// A device with a saved account and a sign-up window open on it.
struct SignUp {
    CannedService service;
    MainWindowHarness device;
    account::frmCadastro cadastro{device.w()};
    bool closed = false;
    SignUp() { QObject::connect(&cadastro, &account::frmCadastro::closeRequested, [this] { closed = true; }); }
    void Fill(const char* nome, const char* email, const char* codigo = "")
    {
        cadastro.txtNome.setText(nome);
        cadastro.txtEmail.setText(email);
        cadastro.txtCodigo.setText(codigo);
    }
};

}  // namespace

TEST(VersionCheck, AnswersEachReplyWithTheRightNoticeAndLetsTheProgramStartWithoutAServer)
{
    CannedService service;
    MainWindowHarness device;
    const struct {
        const char* reply;
        bool starts;
        const char* notice;  // the title shown, "" for none
    } cases[] = {{"116,116", true, ""},          {" 117 , 100 \r\n", true, "Atualizacao disponivel"},
                 {"<html>oops</html>", true, ""}, {"", true, ""},
                 {"117", true, ""},              {"1.1.7,1.1.0", true, ""},
                 {"117,117", false, "Atualizacao obrigatoria"}};
    for (const auto& c : cases) {
        device.dialogs.shown.clear();
        service.server().SetReply({200, c.reply});
        EXPECT_EQ(api::CheckAppVersion(device.dialogs, device.urls, 1234.5f), c.starts) << c.reply;
        EXPECT_EQ(device.dialogs.shown.empty() ? QString() : device.dialogs.shown[0].title, c.notice) << c.reply;
    }
    EXPECT_EQ(device.dialogs.shown[0].icon, MessageIcon::Warning);
    ASSERT_EQ(device.urls.opened.size(), 1);
    EXPECT_TRUE(device.urls.opened[0].endsWith("/download.html"));
    const auto request = service.server().Requests().back();
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.target.rfind("/versao.php?t=1234.5", 0), 0u);
    EXPECT_EQ(request.Header("User-Agent"), "Marquelin-Windows/1.1.6");

    // Without a server the program starts, saying nothing.
    const testing_support::ClosedPort closed;
    testing_support::ScopedEnv site("MARQUELIN_SITE", "http://127.0.0.1:" + QByteArray::number(closed.port()));
    device.dialogs.shown.clear();
    EXPECT_TRUE(api::CheckAppVersion(device.dialogs, device.urls, 1.0f));
    EXPECT_TRUE(device.dialogs.shown.empty());
}

TEST(Startup, WithAnAccountAsksForACodeAndWithoutOneOpensTheSignUpWindow)
{
    CannedService service;
    service.Reply("gerar_codigo.php", kCode);
    MainWindowHarness device;
    device.store.SaveAccount(" Ana ", "ana@example.com", "tok");
    ASSERT_TRUE(device.w().Load());
    shell::frmMain& w = device.w();
    EXPECT_EQ(w.c.frmMain.text(), "Marquelin - Ana");
    EXPECT_EQ(w.c.txtCodigoReceber.text(), "482913");
    EXPECT_TRUE(w.s.RotaAutomatica && w.tmrStatus.isActive());
    EXPECT_FALSE(w.c.mnuMinhaConta.visible() || w.c.cmdPermitir.enabled() || w.c.cmdPararRemoto.visible()
                 || w.c.txtTelaIp.visible());
    EXPECT_EQ(device.dialogs.cadastroShown, 0);
    // The log's only line hides the API address.
    EXPECT_TRUE(w.log.text().endsWith(" - Marquelin iniciado.\r\n"));
    EXPECT_EQ(w.log.text().count("\r\n"), 1);

    MainWindowHarness blank;
    blank.store.SaveAccount("Ana", "ana@example.com", "   ");
    ASSERT_TRUE(blank.w().Load());
    EXPECT_EQ(blank.dialogs.cadastroShown, 1);
    EXPECT_TRUE(blank.w().c.mnuMinhaConta.visible());
    EXPECT_EQ(blank.w().c.lblStatus.text(), "Ative sua conta para usar o Marquelin.");
    EXPECT_EQ(service.Count("gerar_codigo.php"), 1u);
}

TEST(Startup, AMandatoryUpdateEndsItEarly)
{
    CannedService service;
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

    EXPECT_EQ(device.dialogs.shown.at(0).icon, MessageIcon::Question);
    EXPECT_NE(service.Bodies("encerrar_sessao.php").at(0).find("motivo=licenca_removida"), std::string::npos);
    EXPECT_TRUE(aboutClosed && w.c.mnuMinhaConta.visible());
    EXPECT_EQ(device.dialogs.cadastroShown, 1);
    EXPECT_TRUE(w.c.txtEmail.text().isEmpty() && w.c.txtCodigoReceber.text().isEmpty());
    EXPECT_EQ(w.c.frmMain.text(), "Marquelin");
    EXPECT_EQ(w.c.lblStatus.text(), "Licenca removida deste computador.");
    EXPECT_NE(w.c.txtDispositivo.text(), oldUid);
    EXPECT_EQ(w.c.txtDispositivo.text(), device.store.GetDeviceUid());
    EXPECT_TRUE(device.store.GetSavedToken().isEmpty());
}

TEST(AboutWindow, ShowsTheAccountAsSavedOrNotActivated)
{
    MainWindowHarness device;
    shell::frmSobre about(device.w());
    about.Form_Load();
    EXPECT_TRUE(about.lblDados.text().startsWith("Usuario: (nao ativado)\r\nE-mail: (nao ativado)\r\nVersao: 1.1.6\r\nSite: "));
    device.store.SaveAccount("  ", "a@b.c", "t");
    about.Form_Load();
    EXPECT_TRUE(about.lblDados.text().startsWith("Usuario:   \r\nE-mail: a@b.c\r\n"));
}

TEST(SignUpWindow, SendsTheSignUpAndReportsTheOutcome)
{
    SignUp w;
    w.Fill("Ana Maria", "ana@example.com");
    w.cadastro.cmdCriar_Click();
    w.service.Reply("cadastro.php", R"({"ok":true})");
    w.cadastro.cmdCriar_Click();
    EXPECT_EQ(w.device.dialogs.Texts(), QStringList({"Nao foi possivel enviar o cadastro agora.",
                                                     "Cadastro enviado. Confira o codigo no seu e-mail."}));
    EXPECT_EQ(w.service.Bodies("cadastro.php").at(0), "nome=Ana+Maria&email=ana%40example.com");
}

TEST(SignUpWindow, ActivationSavesTheAccountAndClosesItself)
{
    SignUp w;
    w.service.Reply("gerar_codigo.php", kCode);
    w.Fill(" Ana ", "ana@example.com", "999");
    w.cadastro.cmdAtivar_Click();
    EXPECT_EQ(w.device.dialogs.Texts().back(), "Codigo invalido ou expirado.");
    EXPECT_FALSE(w.closed);

    w.service.Reply("ativar.php", R"({"ok":true,"token":"novo-token"})");
    w.cadastro.cmdAtivar_Click();
    EXPECT_TRUE(w.closed);
    EXPECT_EQ(w.device.dialogs.Texts().back(), "Conta ativada neste computador.");
    EXPECT_EQ(w.device.store.GetSavedName(), " Ana ");
    EXPECT_EQ(w.device.w().c.frmMain.text(), "Marquelin - Ana");
    EXPECT_EQ(w.device.w().c.txtCodigoReceber.text(), "482913");
    const std::string body = w.service.Bodies("ativar.php").back();
    EXPECT_EQ(body.rfind("email=ana%40example.com&codigo=999&dispositivo_uid=" + w.device.store.GetDeviceUid().toStdString()
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
