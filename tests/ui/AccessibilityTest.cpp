// What a screen reader finds in every window: each control announced by a
// name (a field by its label's caption, not its frame's), and Tab walking
// the window in its reading order.
#include "UiFixture.h"
#include "core/account/frmCadastro.h"
#include "core/shell/frmSobre.h"
#include "ui/AccountDialogs.h"
#include "ui/ViewerWindow.h"

#include <QAccessible>

namespace {

std::string AccessibleName(QWidget* widget)
{
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    return accessible ? accessible->text(QAccessible::Name).trimmed().toStdString() : "";
}

std::string TabOrder(QWidget& window)
{
    QStringList order;
    for (QWidget* w = window.nextInFocusChain(); w != &window; w = w->nextInFocusChain()) {
        if ((w->focusPolicy() & Qt::TabFocus) && window.isAncestorOf(w))
            order << w->objectName();
    }
    return order.join(' ').toStdString();
}

// Named widgets without a name to announce; Qt's own parts and a frame
// without a caption, which only groups, are no controls.
std::string Unnamed(QWidget& window)
{
    QStringList unnamed;
    for (QWidget* w : window.findChildren<QWidget*>()) {
        auto* frame = qobject_cast<QGroupBox*>(w);
        const bool control = !w->objectName().isEmpty() && !w->objectName().startsWith("qt_")
                             && !(frame && frame->title().isEmpty());
        if (control && AccessibleName(w).empty())
            unnamed << w->objectName();
    }
    return unnamed.join(' ').toStdString();
}

}  // namespace

TEST(Accessibility, EveryControlIsNamedAndTabFollowsTheReadingOrder)
{
    ui_testing::MainWindowFixture f;
    account::frmCadastro cadastroModel(f.model());
    shell::frmSobre sobreModel(f.model());
    sobreModel.Form_Load();
    ui::CadastroDialog cadastro(cadastroModel, nullptr);
    ui::SobreDialog sobre(sobreModel, nullptr);
    const std::string nitidez = f.model().c.lblNitidez.text().toStdString();  // "Nitidez: " and the level

    const struct {
        QWidget* window;
        std::string tabOrder;
        std::vector<std::pair<const char*, std::string>> announced;  // fields and pictures
    } windows[] = {
        {f.window.get(),
         "txtNome txtEmail txtCodigoAtivacao txtDispositivo txtToken cmdCadastrar cmdAtivar cmdValidar "
         "txtCodigoReceber cmdCopiarCodigo cmdGerarCodigo txtCodigoAcessar cmdSolicitar cmdPermitir cmdRecusar "
         "cmdEncerrar txtTelaIp txtTelaPorta cmdClienteTransmitirTela cmdTecnicoConectarTela picRemote scrNitidez "
         "scrAtualizacao cmdPararRemoto txtLog",
         {{"txtNome", "Nome"}, {"txtEmail", "E-mail"}, {"txtCodigoAtivacao", "Codigo"},
          {"txtDispositivo", "Dispositivo"}, {"txtToken", "Token"}, {"txtCodigoReceber", "SEU CODIGO DE SUPORTE:"},
          {"txtCodigoAcessar", "Codigo informado pelo cliente"}, {"scrNitidez", nitidez},
          {"picRemote", "Previa da tela remota"}, {"txtLog", "Registro de atividades"}}},
        {f.window->viewer(), "picView", {{"picView", "Tela remota"}}},
        {&cadastro, "txtNome txtEmail cmdCriar txtCodigo cmdAtivar cmdFechar",
         {{"txtNome", "Nome"}, {"txtEmail", "E-mail"}, {"txtCodigo", "Codigo recebido por e-mail"}}},
        {&sobre, "cmdManual cmdSoftwares cmdRemover cmdFechar", {}},
    };
    for (const auto& c : windows) {
        const std::string window = c.window->objectName().toStdString();
        EXPECT_NE(AccessibleName(c.window), "") << window;
        EXPECT_EQ(Unnamed(*c.window), "") << window;
        EXPECT_EQ(TabOrder(*c.window), c.tabOrder) << window;
        for (const auto& [name, announced] : c.announced)
            EXPECT_EQ(AccessibleName(ui_testing::Find(*c.window, name)), announced) << window << " " << name;
    }
}
