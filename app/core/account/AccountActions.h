#pragma once

namespace shell { class frmMain; }

namespace account {

// The account frame of the main window: activation with the e-mailed code,
// token validation, the sign-up window, and the removal of the saved account.
class AccountActions {
public:
    explicit AccountActions(shell::frmMain& window) : w_(window) {}

    void cmdAtivar_Click();
    void cmdValidar_Click();
    void cmdCadastrar_Click();
    // The main window after the saved account was deleted.
    void LicencaRemovida();
    // The about window's removal: confirm, delete, reset, then sign-up again.
    // True when the account was removed (the about window then closes).
    bool RemoverLicenca();

private:
    shell::frmMain& w_;
};

}  // namespace account
