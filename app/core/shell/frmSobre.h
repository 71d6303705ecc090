#pragma once

#include "core/shell/Control.h"

#include <QObject>

namespace shell {

class frmMain;

// The about window as a model: who is signed in, the version, the help and
// maker links, and the removal of the saved account. Modal, owned by the
// main window; `closeRequested` tells its widget to close.
class frmSobre : public QObject {
    Q_OBJECT
public:
    explicit frmSobre(frmMain& main);

    void Form_Load();
    void cmdManual_Click();
    void cmdSoftwares_Click();
    void cmdRemover_Click();
    void cmdFechar_Click() { emit closeRequested(); }

    Control frmSobreCaption{"frmSobre", "Sobre o Marquelin"};
    Control lblTitulo{"lblTitulo", "Marquelin"};
    Control lblSubtitulo{"lblSubtitulo", "Suporte remoto simples, gratuito e com autorizacao do usuario."};
    Control lblDados{"lblDados"};
    Control cmdManual{"cmdManual", "Manual de ajuda"};
    Control cmdSoftwares{"cmdSoftwares", "Outros softwares"};
    Control cmdRemover{"cmdRemover", "Remover licenca"};
    Control cmdFechar{"cmdFechar", "Fechar"};

signals:
    void closeRequested();

private:
    frmMain& main_;
};

}  // namespace shell
