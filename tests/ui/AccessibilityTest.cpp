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

using Names = std::vector<std::pair<const char*, const char*>>;

struct WindowCase {
    QWidget* window;
    QStringList tabOrder;
    Names fields;  // fields and pictures with the name they are announced by
};

QString AccessibleName(QWidget* widget)
{
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    return accessible ? accessible->text(QAccessible::Name) : QString();
}

QStringList TabOrder(QWidget& window)
{
    QStringList order;
    for (QWidget* w = window.nextInFocusChain(); w != &window; w = w->nextInFocusChain()) {
        if ((w->focusPolicy() & Qt::TabFocus) && window.isAncestorOf(w))
            order << w->objectName();
    }
    return order;
}

// Every control: named widgets, but not Qt's own parts nor a frame without
// a caption, which only groups.
QStringList Unnamed(QWidget& window)
{
    QStringList unnamed;
    for (QWidget* w : window.findChildren<QWidget*>()) {
        auto* frame = qobject_cast<QGroupBox*>(w);
        if (w->objectName().isEmpty() || w->objectName().startsWith("qt_") || (frame && frame->title().isEmpty()))
            continue;
        if (AccessibleName(w).trimmed().isEmpty())
            unnamed << w->objectName();
    }
    return unnamed;
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
    const QByteArray nitidez = f.model().c.lblNitidez.text().toUtf8();  // "Nitidez: " and its level

    const WindowCase windows[] = {
        {f.window.get(),
         {"txtNome", "txtEmail", "txtCodigoAtivacao", "txtDispositivo", "txtToken", "cmdCadastrar", "cmdAtivar",
          "cmdValidar", "txtCodigoReceber", "cmdCopiarCodigo", "cmdGerarCodigo", "txtCodigoAcessar", "cmdSolicitar",
          "cmdPermitir", "cmdRecusar", "cmdEncerrar", "txtTelaIp", "txtTelaPorta", "cmdClienteTransmitirTela",
          "cmdTecnicoConectarTela", "picRemote", "scrNitidez", "scrAtualizacao", "cmdPararRemoto", "txtLog"},
         {{"txtNome", "Nome"}, {"txtEmail", "E-mail"}, {"txtCodigoAtivacao", "Codigo"},
          {"txtDispositivo", "Dispositivo"}, {"txtToken", "Token"}, {"txtCodigoReceber", "SEU CODIGO DE SUPORTE:"},
          {"txtCodigoAcessar", "Codigo informado pelo cliente"}, {"txtTelaIp", "Conexao"}, {"txtTelaPorta", "Porta"},
          {"scrNitidez", nitidez.constData()}, {"picRemote", "Previa da tela remota"},
          {"txtLog", "Registro de atividades"}}},
        {f.window->viewer(), {"picView"}, {{"picView", "Tela remota"}}},
        {&cadastro,
         {"txtNome", "txtEmail", "cmdCriar", "txtCodigo", "cmdAtivar", "cmdFechar"},
         {{"txtNome", "Nome"}, {"txtEmail", "E-mail"}, {"txtCodigo", "Codigo recebido por e-mail"}}},
        {&sobre, {"cmdManual", "cmdSoftwares", "cmdRemover", "cmdFechar"}, {}},
    };
    for (const WindowCase& c : windows) {
        const QString window = c.window->objectName();
        EXPECT_FALSE(AccessibleName(c.window).isEmpty()) << window.toStdString();
        EXPECT_EQ(Unnamed(*c.window).join(' ').toStdString(), "") << window.toStdString();
        EXPECT_EQ(TabOrder(*c.window).join(' ').toStdString(), c.tabOrder.join(' ').toStdString());
        for (const auto& [name, announced] : c.fields) {
            QWidget* field = ui_testing::Find(*c.window, name);
            ASSERT_NE(field, nullptr);
            EXPECT_EQ(AccessibleName(field).toStdString(), announced) << window.toStdString() << " " << name;
        }
    }
}
