#pragma once

#include "core/link/QualityLevels.h"

namespace shell { class frmMain; }

namespace screenlink {

// The quality panel "Ajustes da tela remota" of the main window: the levels
// shown on their scroll bars and labels, applied to the frame timer, live
// only while the link is validated, and the technician's changes sent to the
// supported side as the quality command.
class QualityPanel {
public:
    explicit QualityPanel(shell::frmMain& window) : w_(window) {}

    void RestaurarQualidade();
    void AplicarQualidade(bool enviarRemoto);
    void EnviarQualidadeRemota();
    // `tmrFrame` at the pace of the update-speed level: a frame's on a text
    // link, the pointer's and the updates' on a link that carries updates.
    void AjustarTimer();
    void PrepararAjustesTela();
    void AtualizarAjustesTela();
    void AtualizarRotulosQualidade();
    void scrNitidez_Change();
    void scrAtualizacao_Change();

    // The technician's quality command, applied without sending it back.
    void AplicarComandoQualidade(int nitidez, int atualizacao);
    // After each frame's send completion on the supported side.
    void AjustarQualidadeAutomatica(float seconds);
    // The stall rule's write-off of a frame.
    void ReduzirNitidez();

    const QualityState& state() const { return state_; }

private:
    void Aplicar(const QualityChange& change);

    shell::frmMain& w_;
    QualityState state_;
    bool AjustandoControles = false;
};

}  // namespace screenlink
