#pragma once

#include <QString>

namespace shell { class frmMain; }

namespace screenlink {

// How a screen link ends: by decision (`PararTelaRemota`, with or without a
// Goodbye), by the peer's Goodbye, or by loss (close, error, a stale screen).
// Loss clears only the link and route state, so the next accepted status
// poll builds the route again; the session itself stays.
class LinkLoss {
public:
    explicit LinkLoss(shell::frmMain& window) : w_(window) {}

    void PararTelaRemota(bool avisarRemoto = false);
    bool EstaParandoTela() const;
    void EnviarBye();
    void EncerradaPeloOutro();
    void TratarPerdaConexao();
    // "Parar tela" ends the session, which stops the screen with a Goodbye.
    void cmdPararRemoto_Click();

    // Events of `wskRemote`.
    void OnRemoteClosed();
    void OnRemoteError(int number, const QString& description);

private:
    bool AlgoAtivo() const;

    shell::frmMain& w_;
};

}  // namespace screenlink
