// The main window's widgets: every control of the model with its name and
// text, the log, each button and menu item reaching its own handler, the
// highlight of a pending request and the quality panel.
#include "UiFixture.h"
#include "core/api/Deployment.h"
#include "core/session/SessionButtons.h"

#include <QMenuBar>
#include <QScrollBar>
#include <QTest>

using ui_testing::Find;
using ui_testing::MainWindowFixture;

namespace {

// Everything a handler can be seen doing: requests to the service, windows
// opened, addresses opened, text put on the clipboard, the program unloaded.
QStringList Effects(MainWindowFixture& f, bool unloaded)
{
    QStringList effects;
    for (const auto& request : f.service.Requests())
        effects << QString::fromStdString(request.target + " " + request.body);
    const testing_support::ScriptedDialogs& dialogs = f.device.dialogs;
    effects << QStringList(dialogs.cadastroShown, "cadastro") << QStringList(dialogs.sobreShown, "sobre")
            << f.device.urls.opened << f.device.clipboard.texts << QStringList(unloaded, "unloaded");
    return effects;
}

}  // namespace

TEST(MainWindowWidgets, EveryModelControlHasItsWidgetShowingTheModelsState)
{
    MainWindowFixture f;
    shell::MainControls& c = f.model().c;
    for (shell::Control* control : c.All()) {
        SCOPED_TRACE(control->name().toStdString());
        if (control == &c.frmMain)
            continue;
        if (control->name().startsWith("mnu")) {  // a start-up with an account hides "Minha conta"
            auto* action = Find<QAction>(*f.window->menuBar(), control->name());
            ASSERT_NE(action, nullptr);
            EXPECT_EQ(std::tuple(action->text(), action->isVisible(), action->isEnabled()),
                      std::tuple(control->text(), control->visible(), control->enabled() && control->visible()));
            continue;
        }
        QWidget* widget = f.Find(control->name());
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->isEnabled(), control->enabled());
        EXPECT_EQ(widget->isVisibleTo(f.window.get()), control->visible());
        const bool textless = control == &c.txtLog || control == &c.picRemote || control == &c.scrNitidez ||
                              control == &c.scrAtualizacao;
        EXPECT_TRUE(textless || ui_testing::Shown(widget) == control->text())
            << ui_testing::Shown(widget).toStdString();
    }
    EXPECT_EQ(f.window->windowTitle(), "Marquelin - Ana");
    // The log: the model's text, newest first, with plain line breaks.
    f.model().LogEvent("Tentando rota direta alternativa.");
    EXPECT_EQ(f.Find<QPlainTextEdit>("txtLog")->toPlainText(), QString(f.model().log.text()).replace("\r\n", "\n"));
}

// Typing a code and clicking "Solicitar", "Permitir" and "Encerrar" are the
// e2e session's steps.
TEST(MainWindowWidgets, EachButtonAndMenuItemReachesItsOwnHandler)
{
    const struct {
        const char* name;
        QString effect;  // part of what only this handler does
    } rows[] = {
        {"cmdCadastrar", "cadastro"}, {"mnuMinhaConta", "cadastro"}, {"mnuSobre", "sobre"},
        {"mnuManual", "/ajuda"}, {"mnuOutrosSoftwares", api::MakerUrl()}, {"cmdCopiarCodigo", "482913"},
        {"cmdGerarCodigo", "gerar_codigo.php"}, {"mnuNovoCodigo", "gerar_codigo.php"},
        {"cmdValidar", "validar_token.php"}, {"cmdAtivar", "ativar.php"}, {"cmdRecusar", "acao=recusar"},
        {"mnuSair", "unloaded"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        MainWindowFixture f;
        bool unloaded = false;
        QObject::connect(&f.model(), &shell::frmMain::unloaded, [&] { unloaded = true; });
        for (shell::Control* control : f.model().c.All())
            control->setEnabled(control->enabled() || control->name() == row.name);
        const QStringList before = Effects(f, false);
        if (QString(row.name).startsWith("mnu")) {
            Find<QAction>(*f.window->menuBar(), row.name)->trigger();
        } else {
            auto* button = f.Find<QAbstractButton>(row.name);
            ASSERT_TRUE(button && button->isEnabled());
            QTest::mouseClick(button, Qt::LeftButton);
        }
        QStringList after = Effects(f, unloaded);
        for (const QString& effect : before)
            after.removeOne(effect);
        EXPECT_EQ(after.filter(row.effect).size(), 1) << after.join(" | ").toStdString();  // once: not bound twice
        EXPECT_TRUE(!unloaded || !f.window->isVisible());
    }
}

TEST(MainWindowWidgets, TheAccessPromptsHighlightShowsAndGoesWithoutTouchingTheText)
{
    MainWindowFixture f;
    auto* status = f.Find<QLabel>("lblStatus");
    auto* permitir = f.Find<QPushButton>("cmdPermitir");
    const auto looks = [&] {
        return std::tuple(status->font().pointSize(), status->palette().color(QPalette::WindowText),
                          permitir->palette().color(QPalette::Button), permitir->text());
    };
    const auto normal = looks();
    f.model().SetStatus("Bruno quer acessar este computador.");

    session::DestacarSolicitacao(f.model().c, true);
    EXPECT_TRUE(std::tuple(status->font().pointSize(), status->palette().color(QPalette::WindowText), permitir->text())
                == std::tuple(15, QColor(160, 60, 0), QString("PERMITIR ACESSO")));
    // What the user sees: the face of the button is painted green.
    const QColor face = permitir->grab().toImage().pixelColor(6, permitir->height() / 2);
    EXPECT_GT(face.green(), face.red() + 60) << face.name().toStdString();

    session::DestacarSolicitacao(f.model().c, false);
    EXPECT_EQ(status->text(), "Bruno quer acessar este computador.");
    EXPECT_TRUE(looks() == normal);
}

TEST(MainWindowWidgets, TheQualityBarsFollowTheModelAndTheUsersStepsReachIt)
{
    MainWindowFixture f;
    auto* nitidez = f.Find<QScrollBar>("scrNitidez");
    auto* atualizacao = f.Find<QScrollBar>("scrAtualizacao");
    EXPECT_EQ(std::tuple(nitidez->minimum(), nitidez->maximum(), nitidez->value()), std::tuple(1, 4, 3));

    // A user's step on each bar (the supported side's own choice: nothing to send).
    nitidez->setEnabled(true);
    atualizacao->setEnabled(true);
    nitidez->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(f.model().quality.state().NivelNitidez(), 4);
    EXPECT_TRUE(f.model().quality.state().NitidezManual());
    atualizacao->triggerAction(QAbstractSlider::SliderPageStepAdd);
    atualizacao->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(f.model().quality.state().NivelAtualizacao(), 5);

    // The program's own changes move the bars without counting as a choice.
    f.model().quality.RestaurarQualidade();
    EXPECT_EQ(std::pair(nitidez->value(), atualizacao->value()), std::pair(3, 3));
    EXPECT_FALSE(f.model().quality.state().NitidezManual());
}
