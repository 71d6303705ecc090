#pragma once

#include <QString>

namespace shell { class frmMain; }

namespace session {

// Builds the screen link without user action once the session is accepted,
// trying the routes in order — direct to the first target, direct to the
// alternative, then the relay — and switching on fixed waits measured on
// every status tick.
class RouteSelection {
public:
    static constexpr float kClienteDirectWait = 5.0f;
    static constexpr float kPrivateTargetWait = 2.2f;
    static constexpr float kPublicTargetWait = 4.0f;
    static constexpr float kNoAlternativeWait = 4.0f;
    static constexpr float kStaleScreen = 8.0f;

    explicit RouteSelection(shell::frmMain& window) : w_(window) {}

    // The supported side opens its direct route (listens and registers).
    void cmdClienteTransmitirTela_Click();
    // The technician connects to its first target.
    void cmdTecnicoConectarTela_Click();
    void VerificarRotaDireta();
    void VerificarTelaParada();
    bool TentarRotaAlternativa();
    void IniciarRelayTcp(const QString& papel);

private:
    float DesdeInicioRota() const;

    shell::frmMain& w_;
};

}  // namespace session
