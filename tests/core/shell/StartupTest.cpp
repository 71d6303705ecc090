// Start-up, the version gate and the windows around the account,
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

const QString kCode = R"({"ok":true,"codigo_id":"c1","codigo":"482913"})";

TEST(VersionCheck, AnswersEachReplyWithTheRightNoticeAndLetsTheProgramStartWithoutAServer)
{
    CannedService service;
    MainWindowHarness device;
    const struct {
        const char* reply;
        bool starts;
        const char* notice;  // the title shown, "" for none
    } cases[] = {{"116,116", true, ""}, {" 117 , 100 \r\n", true, "Atualizacao disponivel"}, {"117", true, ""},
                 {"1.1.7,1.1.0", true, ""}, {"117,117", false, "Atualizacao obrigatoria"}};
    for (const auto& c : cases) {
        device.dialogs.shown.clear();
        service.SetReply({200, c.reply});
        EXPECT_EQ(api::CheckAppVersion(device.dialogs, device.urls, 1234.5f), c.starts) << c.reply;
        EXPECT_EQ(device.dialogs.shown.empty() ? QString() : device.dialogs.shown[0].title, c.notice) << c.reply;
    }
    EXPECT_EQ(device.dialogs.shown[0].icon, MessageIcon::Warning);
    ASSERT_EQ(device.urls.opened.size(), 1);
    EXPECT_TRUE(device.urls.opened[0].endsWith("/download.html"));
    const auto request = service.Requests().back();
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

TEST(Startup, WithAnAccountAsksForACodeWithoutOneOpensTheSignUpWindowAndAMandatoryUpdateEndsIt)
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
    EXPECT_EQ(w.log.text().count("\r\n"), 1);  // that it started, nothing more

    MainWindowHarness blank;
    blank.store.SaveAccount("Ana", "ana@example.com", "   ");
    ASSERT_TRUE(blank.w().Load());
    EXPECT_EQ(blank.dialogs.cadastroShown, 1);
    EXPECT_TRUE(blank.w().c.mnuMinhaConta.visible());
    EXPECT_EQ(blank.w().c.lblStatus.text(), "Ative sua conta para usar o Marquelin.");
    EXPECT_EQ(service.Count("gerar_codigo.php"), 1u);

    service.SetReply({200, "200,150"});
    MainWindowHarness outdated;
    EXPECT_FALSE(outdated.w().Load());
    EXPECT_TRUE(outdated.w().s.Fechando && !outdated.w().tmrStatus.isActive());
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
    EXPECT_EQ(w.c.lblStatus.text(), "Licenca removida deste computador.");
    EXPECT_NE(w.c.txtDispositivo.text(), oldUid);
    EXPECT_EQ(w.c.txtDispositivo.text(), device.store.GetDeviceUid());
    EXPECT_TRUE(device.store.GetSavedToken().isEmpty());
}

// A sign-up and an activation that succeed, with the fields the service
// reads, are the first steps of the e2e session; here, the refusals, which
// leave the window open.
TEST(SignUpWindow, ReportsARefusedSignUpOrCodeAndStaysOpen)
{
    CannedService service;
    MainWindowHarness device;
    account::frmCadastro cadastro{device.w()};
    bool closed = false;
    QObject::connect(&cadastro, &account::frmCadastro::closeRequested, [&] { closed = true; });
    cadastro.txtNome.setText("Ana Maria");
    cadastro.txtEmail.setText("ana@example.com");
    cadastro.cmdCriar_Click();
    cadastro.txtCodigo.setText("999");
    cadastro.cmdAtivar_Click();
    EXPECT_EQ(device.dialogs.Texts(),
              QStringList({"Nao foi possivel enviar o cadastro agora.", "Codigo invalido ou expirado."}));
    EXPECT_FALSE(closed);
    // Beside the fields an activation needs, the machine's facts for the service to keep.
    const std::string body = service.Bodies("ativar.php").at(0);
    for (const char* field : {"&nome_maquina=", "&sistema_operacional=", "&versao_app=1.1.6"})
        EXPECT_NE(body.find(field), std::string::npos) << field;
}

// A refused activation saves nothing; an accepted one saves the token and
// the name as typed, and asks for a code.
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
    EXPECT_TRUE(device.store.GetSavedEmail().isEmpty());

    service.Reply("ativar.php", R"({"ok":true,"token":"t1"})");
    w.account.cmdAtivar_Click();
    EXPECT_EQ(device.store.GetSavedName(), " Bia ");
    EXPECT_EQ(device.store.GetSavedToken(), "t1");
    EXPECT_EQ(w.c.frmMain.text(), "Marquelin - Bia");
    EXPECT_EQ(w.c.txtCodigoReceber.text(), "482913");
}
