#pragma once

namespace shell { class frmMain; }

namespace screenlink {

// The quality panel "Ajustes da tela remota" of the main window: the two
// levels shown on their scroll bars and labels, live only while the link
// is validated, and the technician's changes sent to the supported side.
class QualityPanel {
public:
    explicit QualityPanel(shell::frmMain& window) : w_(window) {}

    void RestaurarQualidade();
    void AplicarQualidade(bool enviarRemoto);
    void EnviarQualidadeRemota();
    void PrepararAjustesTela();
    void AtualizarAjustesTela();
    void AtualizarRotulosQualidade();
    void scrNitidez_Change();
    void scrAtualizacao_Change();

private:
    shell::frmMain& w_;
};

}  // namespace screenlink
