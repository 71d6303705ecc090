// The sign-up and about windows: typing into the model and each button
// reaching it; shown through the real modal dialogs.
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

struct SavedDevice : MainWindowHarness {
    SavedDevice() { SaveAccount(); }
};

}  // namespace

TEST(AccountDialogWidgets, TheSignUpWindowShowsItsControlsAndTypingReachesTheModel)
{
    SavedDevice device;
    account::frmCadastro model(device.w());
    model.Form_Load();
    ui::CadastroDialog dialog(model, nullptr);
    dialog.show();
    EXPECT_EQ(Find<QLineEdit>(dialog, "txtEmail")->text(), "ana@example.com");

    auto* nome = Find<QLineEdit>(dialog, "txtNome");
    nome->clear();
    QTest::keyClicks(nome, "  ");
    EXPECT_EQ(model.txtNome.text(), "  ");
    Click(dialog, "cmdCriar");  // a name of blanks: refused before any request
    EXPECT_EQ(device.dialogs.Texts(), QStringList{"Informe nome e e-mail."});

    Click(dialog, "cmdAtivar");
    EXPECT_EQ(device.dialogs.Texts().last(), "Informe nome, e-mail e codigo recebido.");
    Click(dialog, "cmdFechar");
    EXPECT_FALSE(dialog.isVisible());
}

TEST(AccountDialogWidgets, TheAboutWindowShowsTheAccountAndItsButtonsReachTheModel)
{
    SavedDevice device;
    shell::frmSobre model(device.w());
    model.Form_Load();
    ui::SobreDialog dialog(model, nullptr);
    dialog.show();
    EXPECT_TRUE(Find<QLabel>(dialog, "lblDados")->text().startsWith("Usuario: Ana\r\nE-mail: ana@example.com\r\n"));

    Click(dialog, "cmdManual");
    Click(dialog, "cmdSoftwares");
    EXPECT_EQ(device.urls.opened, (QStringList{api::HelpUrl(), api::MakerUrl()}));
    Click(dialog, "cmdRemover");  // the confirmation answered No: nothing removed
    EXPECT_EQ(device.dialogs.Texts(), QStringList{"Remover a licenca salva neste computador?"});
    EXPECT_EQ(device.store.GetSavedToken(), "tok");
    Click(dialog, "cmdFechar");
    EXPECT_FALSE(dialog.isVisible());
}

TEST(AccountDialogWidgets, TheRealModalWindowsOpenOverTheirOwnerAndCloseThroughTheModel)
{
    MainWindowHarness device;
    ui::MainWindow owner(device.w());
    ui::QtDialogs dialogs;
    dialogs.SetOwner(&owner);

    account::frmCadastro cadastro(device.w());
    QString title;
    WhenModalOpens([&](QWidget& modal) {
        title = modal.windowTitle();
        EXPECT_EQ(modal.parentWidget(), &owner);
        Click(modal, "cmdFechar");
    });
    dialogs.ShowModal(cadastro);  // returns once "Fechar" closed it
    EXPECT_EQ(title, "Marquelin - Cadastro");

    shell::frmSobre sobre(device.w());
    WhenModalOpens([&](QWidget& modal) {
        title = modal.windowTitle();
        modal.close();  // the close box
    });
    dialogs.ShowModal(sobre);
    EXPECT_EQ(title, "Sobre o Marquelin");
}

TEST(AccountDialogWidgets, MessageBoxesShowTheTextAndAnswerWithTheButtonPressed)
{
    ui::QtDialogs dialogs;
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
