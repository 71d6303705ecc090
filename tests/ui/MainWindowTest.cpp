// The main window's widgets: every control of the model with its name and
// text, the menu, clicks and typing reaching the model, the highlight of a
// pending request and the quality panel.
#include "UiFixture.h"
#include "core/api/Deployment.h"
#include "core/session/SessionButtons.h"

#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QTest>

using ui_testing::Find;
using ui_testing::MainWindowFixture;
using ui_testing::Shown;

namespace {

void Click(MainWindowFixture& f, const char* name)
{
    auto* button = f.Find<QAbstractButton>(name);
    ASSERT_NE(button, nullptr);
    ASSERT_TRUE(button->isEnabled()) << name;
    QTest::mouseClick(button, Qt::LeftButton);
}

QAction* MenuAction(MainWindowFixture& f, const char* name)
{
    return ui_testing::Find<QAction>(*f.window->menuBar(), name);
}

}  // namespace

TEST(MainWindowWidgets, EveryModelControlHasItsWidgetShowingTheModelsText)
{
    MainWindowFixture f;
    shell::MainControls& c = f.model().c;
    for (shell::Control* control : c.All()) {
        if (control->name().startsWith("mnu") || control == &c.frmMain)
            continue;
        QWidget* widget = f.Find(control->name());
        ASSERT_NE(widget, nullptr) << control->name().toStdString();
        EXPECT_EQ(widget->isEnabled(), control->enabled()) << control->name().toStdString();
        EXPECT_EQ(widget->isVisibleTo(f.window.get()), control->visible()) << control->name().toStdString();
        const bool textless = control == &c.txtLog || control == &c.picRemote || control == &c.scrNitidez ||
                              control == &c.scrAtualizacao;
        if (!textless) {
            EXPECT_EQ(Shown(widget), control->text()) << control->name().toStdString();
        }
    }
    EXPECT_EQ(f.window->windowTitle(), "Marquelin - Ana");
}

TEST(MainWindowWidgets, MenuItemsReachTheModel)
{
    MainWindowFixture f(false);
    ASSERT_EQ(f.device.dialogs.cadastroShown, 1);  // start-up without an account
    EXPECT_TRUE(MenuAction(f, "mnuMinhaConta")->isVisible());
    {
        MainWindowFixture withAccount;  // a start-up with an account hides it
        EXPECT_FALSE(MenuAction(withAccount, "mnuMinhaConta")->isVisible());
    }

    MenuAction(f, "mnuMinhaConta")->trigger();
    EXPECT_EQ(f.device.dialogs.cadastroShown, 2);
    MenuAction(f, "mnuSobre")->trigger();
    EXPECT_EQ(f.device.dialogs.sobreShown, 1);
    MenuAction(f, "mnuManual")->trigger();
    MenuAction(f, "mnuOutrosSoftwares")->trigger();
    ASSERT_EQ(f.device.urls.opened.size(), 2);
    EXPECT_TRUE(f.device.urls.opened[0].endsWith("/ajuda"));
    EXPECT_EQ(f.device.urls.opened[1], api::MakerUrl());

    f.device.store.SaveAccount("Ana", "ana@example.com", "tok");
    f.model().RecarregarConta(false);
    MenuAction(f, "mnuNovoCodigo")->trigger();
    EXPECT_EQ(f.service.Count("gerar_codigo.php"), 1u);
    EXPECT_EQ(f.Find<QLineEdit>("txtCodigoReceber")->text(), f.model().c.txtCodigoReceber.text());
    EXPECT_FALSE(f.model().c.txtCodigoReceber.text().isEmpty());

    bool unloaded = false;
    QObject::connect(&f.model(), &shell::frmMain::unloaded, [&] { unloaded = true; });
    MenuAction(f, "mnuSair")->trigger();
    EXPECT_TRUE(unloaded);
    EXPECT_TRUE(f.model().s.Fechando);
    EXPECT_FALSE(f.window->isVisible());
}

TEST(MainWindowWidgets, ButtonClicksReachTheModel)
{
    MainWindowFixture f;
    const QString code = f.model().c.txtCodigoReceber.text();
    ASSERT_FALSE(code.isEmpty());
    Click(f, "cmdCopiarCodigo");
    EXPECT_EQ(f.device.clipboard.texts, QStringList{code});
    EXPECT_EQ(f.Find<QLabel>("lblStatus")->text(), "Codigo copiado. Passe este codigo para o tecnico.");

    Click(f, "cmdGerarCodigo");
    EXPECT_EQ(f.service.Count("gerar_codigo.php"), 2u);  // start-up's and this one
    Click(f, "cmdValidar");
    EXPECT_EQ(f.service.Count("validar_token.php"), 1u);
    Click(f, "cmdAtivar");
    EXPECT_EQ(f.service.Count("ativar.php"), 1u);
    Click(f, "cmdCadastrar");
    EXPECT_EQ(f.device.dialogs.cadastroShown, 1);

    // Typing goes through the widget into the box the request reads.
    QTest::keyClicks(f.Find<QLineEdit>("txtCodigoAcessar"), "777 111");
    EXPECT_EQ(f.model().c.txtCodigoAcessar.text(), "777 111");
    Click(f, "cmdSolicitar");
    ASSERT_EQ(f.service.Count("solicitar_acesso.php"), 1u);
    EXPECT_NE(f.service.Bodies("solicitar_acesso.php")[0].find("codigo=777+111"), std::string::npos)
        << f.service.Bodies("solicitar_acesso.php")[0];
}

TEST(MainWindowWidgets, SessionButtonsFollowTheModelAndAnswerThroughIt)
{
    MainWindowFixture f;
    auto* permitir = f.Find<QPushButton>("cmdPermitir");
    EXPECT_FALSE(permitir->isEnabled());
    EXPECT_FALSE(f.Find("cmdPararRemoto")->isVisibleTo(f.window.get()));

    shell::frmMain& m = f.model();
    m.c.cmdPermitir.setEnabled(true);
    m.c.cmdRecusar.setEnabled(true);
    m.SetStatus("Bruno quer acessar este computador.");
    EXPECT_EQ(f.Find<QLabel>("lblStatus")->text(), "Bruno quer acessar este computador.");
    Click(f, "cmdRecusar");
    ASSERT_EQ(f.service.Count("responder_acesso.php"), 1u);
    EXPECT_NE(f.service.Bodies("responder_acesso.php")[0].find("acao=recusar"), std::string::npos);
    EXPECT_FALSE(permitir->isEnabled());  // disabled by the model before its request

    m.c.cmdPermitir.setEnabled(true);
    Click(f, "cmdPermitir");
    ASSERT_EQ(f.service.Count("responder_acesso.php"), 2u);
    EXPECT_NE(f.service.Bodies("responder_acesso.php")[1].find("acao=permitir"), std::string::npos);

    m.s.sessao_id = "sess-9";
    m.c.cmdEncerrar.setEnabled(true);
    f.service.Reply("encerrar_sessao.php", R"({"ok":true})");
    Click(f, "cmdEncerrar");
    ASSERT_EQ(f.service.Count("encerrar_sessao.php"), 1u);
    EXPECT_NE(f.service.Bodies("encerrar_sessao.php")[0].find("motivo=cliente"), std::string::npos);
    EXPECT_TRUE(m.s.sessao_id.isEmpty());
    EXPECT_EQ(f.Find<QLabel>("lblStatus")->text(), m.c.lblStatus.text());
}

TEST(MainWindowWidgets, TheAccessPromptsHighlightShowsAndGoesWithoutTouchingTheText)
{
    MainWindowFixture f;
    auto* status = f.Find<QLabel>("lblStatus");
    auto* permitir = f.Find<QPushButton>("cmdPermitir");
    const QColor normalText = status->palette().color(QPalette::WindowText);
    const QColor normalFace = permitir->palette().color(QPalette::Button);
    f.model().SetStatus("Bruno quer acessar este computador.");

    session::DestacarSolicitacao(f.model().c, true);
    EXPECT_EQ(status->font().pointSize(), 15);
    EXPECT_EQ(status->palette().color(QPalette::WindowText), QColor(160, 60, 0));
    EXPECT_EQ(permitir->text(), "PERMITIR ACESSO");
    // What the user sees: the face of the button is painted green.
    const QColor face = permitir->grab().toImage().pixelColor(6, permitir->height() / 2);
    EXPECT_GT(face.green(), face.red() + 60) << face.name().toStdString();

    session::DestacarSolicitacao(f.model().c, false);
    EXPECT_EQ(status->text(), "Bruno quer acessar este computador.");
    EXPECT_EQ(status->font().pointSize(), 10);
    EXPECT_EQ(status->palette().color(QPalette::WindowText), normalText);
    EXPECT_EQ(permitir->text(), "Permitir acesso");
    EXPECT_EQ(permitir->palette().color(QPalette::Button), normalFace);
}

TEST(MainWindowWidgets, TheQualityPanelIsSetUpGreyedAndItsBarsReachTheModel)
{
    MainWindowFixture f;
    auto* nitidez = f.Find<QScrollBar>("scrNitidez");
    auto* atualizacao = f.Find<QScrollBar>("scrAtualizacao");
    EXPECT_EQ(std::tuple(nitidez->minimum(), nitidez->maximum(), nitidez->value()), std::tuple(1, 4, 3));
    EXPECT_EQ(std::tuple(atualizacao->minimum(), atualizacao->maximum(), atualizacao->value()), std::tuple(1, 5, 3));
    EXPECT_EQ(f.Find<QLabel>("lblNitidez")->text(), "Nitidez: alta");
    // No link: greyed out.
    EXPECT_FALSE(nitidez->isEnabled());
    EXPECT_EQ(f.Find<QLabel>("lblNitidez")->palette().color(QPalette::WindowText), QColor(120, 120, 120));

    // A user's step on each bar (the supported side's own choice: nothing to send).
    nitidez->setEnabled(true);
    atualizacao->setEnabled(true);
    nitidez->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(f.model().quality.state().NivelNitidez(), 4);
    EXPECT_TRUE(f.model().quality.state().NitidezManual());
    EXPECT_EQ(f.Find<QLabel>("lblNitidez")->text(), "Nitidez: maxima");
    atualizacao->triggerAction(QAbstractSlider::SliderPageStepAdd);
    atualizacao->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(f.model().quality.state().NivelAtualizacao(), 5);
    EXPECT_EQ(f.model().tmrFrame.interval(), 175);

    // The program's own changes move the bars without counting as a choice.
    f.model().quality.RestaurarQualidade();
    EXPECT_EQ(nitidez->value(), 3);
    EXPECT_EQ(atualizacao->value(), 3);
    EXPECT_FALSE(f.model().quality.state().NitidezManual());
}

TEST(MainWindowWidgets, TheLogShowsTheModelsLinesNewestFirst)
{
    MainWindowFixture f;
    auto* log = f.Find<QPlainTextEdit>("txtLog");
    ASSERT_NE(log, nullptr);
    EXPECT_TRUE(log->toPlainText().contains(" - Marquelin iniciado."));
    f.model().LogEvent("Tentando rota direta alternativa.");
    EXPECT_TRUE(log->toPlainText().startsWith(f.model().log.text().left(8)));
    EXPECT_TRUE(log->toPlainText().section('\n', 0, 0).endsWith(" - Tentando outra rota de conexao."));
    EXPECT_FALSE(log->toPlainText().contains('\r'));
}
