// The sign-up and about windows: the account shown and each button reaching
// the model; the real modal windows and message boxes.
#include "UiFixture.h"
#include "core/account/frmCadastro.h"
#include "core/api/Deployment.h"
#include "core/shell/frmSobre.h"
#include "ui/AccountDialogs.h"
#include "ui/QtDialogs.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using testing_support::MainWindowHarness;
using ui_testing::Find;

namespace {

void Click(const QWidget& window, const char* name)
{
    auto* button = Find<QPushButton>(window, name);
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton);
}

// Runs `inside` on the modal window once it is up, from the event loop the modal call runs.
void WhenModalOpens(std::function<void(QWidget&)> inside)
{
    QTimer::singleShot(0, [inside] {
        QWidget* modal = QApplication::activeModalWidget();
        ASSERT_NE(modal, nullptr);
        inside(*modal);
    });
}

}  // namespace

TEST(AccountDialogWidgets, TheSignUpAndAboutWindowsShowTheAccountOrNoneAndEachButtonReachesItsHandler)
{
    MainWindowHarness device;
    shell::frmSobre sobreModel(device.w());
    sobreModel.Form_Load();
    EXPECT_TRUE(sobreModel.lblDados.text().startsWith(
        "Usuario: (nao ativado)\r\nE-mail: (nao ativado)\r\nVersao: 1.1.6\r\nSite: "));
    device.SaveAccount();
    account::frmCadastro cadastroModel(device.w());
    cadastroModel.Form_Load();
    sobreModel.Form_Load();
    ui::CadastroDialog cadastro(cadastroModel, nullptr);
    ui::SobreDialog sobre(sobreModel, nullptr);
    cadastro.show();
    sobre.show();
    EXPECT_EQ(Find<QLineEdit>(cadastro, "txtEmail")->text(), "ana@example.com");
    EXPECT_TRUE(Find<QLabel>(sobre, "lblDados")->text().startsWith("Usuario: Ana\r\nE-mail: ana@example.com\r\n"));
    cadastroModel.txtNome.setText("  ");

    const struct {
        QWidget* window;
        const char* button;
        QString effect;  // the message, address opened, or the window closed
    } rows[] = {
        {&cadastro, "cmdCriar", "Informe nome e e-mail."},  // a name of blanks: refused before any request
        {&cadastro, "cmdAtivar", "Informe nome, e-mail e codigo recebido."},  // "Fechar" is the e2e session's
        {&sobre, "cmdManual", api::HelpUrl()},
        {&sobre, "cmdSoftwares", api::MakerUrl()},
        {&sobre, "cmdRemover", "Remover a licenca salva neste computador?"},  // answered No: nothing removed
        {&sobre, "cmdFechar", "closed"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.button);
        const qsizetype texts = device.dialogs.Texts().size(), urls = device.urls.opened.size();
        Click(*row.window, row.button);
        QStringList effects = device.dialogs.Texts().mid(texts) + device.urls.opened.mid(urls);
        if (!row.window->isVisible())
            effects << "closed";
        EXPECT_EQ(effects, QStringList{row.effect});
    }
    EXPECT_EQ(device.store.GetSavedToken(), "tok");
}

TEST(AccountDialogWidgets, TheRealModalWindowsOpenOverTheirOwnerAndCloseOrAnswerThroughTheModel)
{
    MainWindowHarness device;
    ui::MainWindow owner(device.w());
    ui::QtDialogs dialogs;
    dialogs.SetOwner(&owner);

    // The sign-up window, opened and closed by its own button, is the e2e session's.
    shell::frmSobre sobre(device.w());
    QString title;
    WhenModalOpens([&](QWidget& modal) {
        title = modal.windowTitle();
        EXPECT_EQ(modal.parentWidget(), &owner);
        modal.close();  // the close box
    });
    dialogs.ShowModal(sobre);
    EXPECT_EQ(title, "Sobre o Marquelin");

    // Message boxes show the text and answer with the button pressed.
    QString text;
    WhenModalOpens([&](QWidget& modal) {
        auto& box = static_cast<QMessageBox&>(modal);
        text = box.text();
        EXPECT_EQ(box.windowTitle(), "Marquelin");
        EXPECT_EQ(box.icon(), QMessageBox::Question);
        box.button(QMessageBox::Yes)->click();
    });
    EXPECT_EQ(dialogs.MessageBox("Remover?\r\nSim ou nao", "Marquelin", shell::MessageIcon::Question,
                                 shell::MessageButtons::YesNo),
              shell::MessageAnswer::Yes);
    EXPECT_EQ(text, "Remover?\nSim ou nao");

    WhenModalOpens([](QWidget& modal) { static_cast<QMessageBox&>(modal).button(QMessageBox::No)->click(); });
    EXPECT_EQ(dialogs.MessageBox("Remover?", "Marquelin", shell::MessageIcon::Question, shell::MessageButtons::YesNo),
              shell::MessageAnswer::No);
}
