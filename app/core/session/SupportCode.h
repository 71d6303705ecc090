#pragma once

namespace shell { class frmMain; }

namespace session {

// The supported side's support code: asking the service for a new one and
// copying it for the user to read out.
class SupportCode {
public:
    explicit SupportCode(shell::frmMain& window) : w_(window) {}

    // `registrar`: write the raw reply to the activity log.
    void GerarCodigo(bool registrar);
    void cmdGerarCodigo_Click() { GerarCodigo(true); }
    void cmdCopiarCodigo_Click();

private:
    shell::frmMain& w_;
};

}  // namespace session
