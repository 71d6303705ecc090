#include "core/link/QualityPanel.h"

#include "core/shell/frmMain.h"

namespace screenlink {

void QualityPanel::RestaurarQualidade() {}
void QualityPanel::AplicarQualidade(bool) {}
void QualityPanel::EnviarQualidadeRemota() {}
void QualityPanel::PrepararAjustesTela() {}
void QualityPanel::AtualizarRotulosQualidade() {}
void QualityPanel::scrNitidez_Change() {}
void QualityPanel::scrAtualizacao_Change() {}

void QualityPanel::AtualizarAjustesTela()
{
    shell::MainControls& c = w_.c;
    const bool live = !w_.s.PapelTela.isEmpty() && w_.s.TelaConectada;
    for (shell::Control* control : {&c.lblAjustesTela, &c.scrNitidez, &c.lblNitidez, &c.scrAtualizacao, &c.lblAtualizacao})
        control->setEnabled(live);
    for (shell::Control* label : {&c.lblAjustesTela, &c.lblNitidez, &c.lblAtualizacao}) {
        shell::Look look = label->look();
        look.foreColor = live ? QColor() : QColor(120, 120, 120);
        label->setLook(look);
    }
}

}  // namespace screenlink
