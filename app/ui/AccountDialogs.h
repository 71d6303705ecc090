#pragma once

#include <QDialog>

namespace account { class frmCadastro; }
namespace shell { class frmSobre; }

namespace ui {

// The sign-up window `frmCadastro`, bound to its model.
class CadastroDialog : public QDialog {
    Q_OBJECT
public:
    CadastroDialog(account::frmCadastro& model, QWidget* parent);
};

// The about window `frmSobre`, bound to its model.
class SobreDialog : public QDialog {
    Q_OBJECT
public:
    SobreDialog(shell::frmSobre& model, QWidget* parent);
};

}  // namespace ui
