#pragma once

#include <QString>

namespace shell { class frmMain; }

namespace session {

// Ending a session: telling the service, and the local end that the
// buttons and the viewer ask for.
class SessionEnd {
public:
    explicit SessionEnd(shell::frmMain& window) : w_(window) {}

    void EncerrarSessao(const QString& motivo);
    void SolicitarEncerrarTelaRemota();
    void cmdEncerrar_Click() { SolicitarEncerrarTelaRemota(); }

    // What every end does last: the buttons back to no session, the session
    // id emptied, and a fresh code for a supported side (or no code at all).
    void ReiniciarAposFim(bool eraCliente);

private:
    shell::frmMain& w_;
};

}  // namespace session
