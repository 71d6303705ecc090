#pragma once

#include "core/shell/Dialogs.h"

class QWidget;

namespace ui {

// The real message boxes and modal windows, owned by the main window.
class QtDialogs final : public shell::Dialogs {
public:
    void SetOwner(QWidget* owner) { owner_ = owner; }

    shell::MessageAnswer MessageBox(const QString& text, const QString& title, shell::MessageIcon icon,
                                    shell::MessageButtons buttons) override;
    void ShowModal(account::frmCadastro& window) override;
    void ShowModal(shell::frmSobre& window) override;

private:
    QWidget* owner_ = nullptr;
};

// The system clipboard.
class QtClipboard final : public shell::Clipboard {
public:
    void SetText(const QString& text) override;
};

}  // namespace ui
