#pragma once

#include "core/shell/Control.h"

#include <QObject>

namespace shell { class frmMain; }

namespace account {

// The sign-up window as a model: name and e-mail sent for an activation
// code, then the code activates this computer. It answers with message
// boxes, not the activity log. Modal, owned by the main window.
class frmCadastro : public QObject {
    Q_OBJECT
public:
    explicit frmCadastro(shell::frmMain& main);

    void Form_Load();
    void cmdCriar_Click();
    void cmdAtivar_Click();
    void cmdFechar_Click() { emit closeRequested(); }

    shell::Control frmCadastroCaption{"frmCadastro", "Marquelin - Cadastro"};
    shell::Control lblTitulo{"lblTitulo", "Ativacao do Marquelin"};
    shell::Control Label1{"Label1", QString::fromUtf8(
        "Preencha seu Nome (Vai aparecer para o outro Usuário) e seu E-mail, clique em Enviar Código para o E-mail. "
        "Verifique seu e-mail as instruções preencha o código e ative sua conta.")};
    shell::Control lblNome{"lblNome", "Nome"};
    shell::Control txtNome{"txtNome"};
    shell::Control lblEmail{"lblEmail", "E-mail"};
    shell::Control txtEmail{"txtEmail"};
    shell::Control cmdCriar{"cmdCriar", QString::fromUtf8("Enviar Código para E-mail")};
    shell::Control lblCodigo{"lblCodigo", "Codigo recebido por e-mail"};
    shell::Control txtCodigo{"txtCodigo"};
    shell::Control cmdAtivar{"cmdAtivar", "Ativar conta"};
    shell::Control cmdFechar{"cmdFechar", "Fechar"};

signals:
    void closeRequested();

private:
    void Avisar(const QString& text, bool problema);

    shell::frmMain& main_;
};

}  // namespace account
