#include "core/link/QualityPanel.h"

#include "core/link/LinkMessages.h"
#include "core/link/UpdateStreaming.h"
#include "core/shell/frmMain.h"

namespace screenlink {

void QualityPanel::RestaurarQualidade()
{
    state_.RestaurarQualidade();
    AplicarQualidade(false);
}

void QualityPanel::AplicarQualidade(bool enviarRemoto)
{
    shell::MainControls& c = w_.c;
    AjustarTimer();
    // The scroll bars raise their change events while the program sets them.
    AjustandoControles = true;
    c.scrNitidez.setValue(state_.NivelNitidez());
    c.scrAtualizacao.setValue(state_.NivelAtualizacao());
    AjustandoControles = false;
    AtualizarRotulosQualidade();
    if (enviarRemoto)
        EnviarQualidadeRemota();
}

void QualityPanel::AjustarTimer()
{
    w_.tmrFrame.setInterval(w_.s.LinkDeAtualizacoes() ? UpdateStreaming::IntervaloTick(state_.NivelAtualizacao())
                                                      : state_.IntervaloFrame());
}

void QualityPanel::EnviarQualidadeRemota()
{
    const session::SessionRecord& s = w_.s;
    if (s.PapelTela != session::kTecnico || !s.TelaConectada)
        return;
    if (s.RelayAtivo)
        w_.remoteInput.SendCommandTcp("CF", state_.NivelNitidez(), state_.NivelAtualizacao(), 1);
    else if (w_.link.RemoteIsConnected())
        w_.link.SendCommand(QualityCommand(state_.NivelNitidez(), state_.NivelAtualizacao()));
}

void QualityPanel::PrepararAjustesTela()
{
    shell::MainControls& c = w_.c;
    AjustandoControles = true;
    c.lblAjustesTela.setLook({10, true, {}, {}});
    c.scrNitidez.setRange(kMinNitidez, kMaxNitidez);
    c.scrNitidez.setValue(state_.NivelNitidez());
    c.scrAtualizacao.setRange(kMinAtualizacao, kMaxAtualizacao);
    c.scrAtualizacao.setValue(state_.NivelAtualizacao());
    AjustandoControles = false;
    AtualizarRotulosQualidade();
    AtualizarAjustesTela();
}

void QualityPanel::AtualizarRotulosQualidade()
{
    w_.c.lblNitidez.setText("Nitidez: " + NomeNitidez(state_.NivelNitidez()));
    w_.c.lblAtualizacao.setText("Atualizacao: " + NomeAtualizacao(state_.NivelAtualizacao()));
}

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

void QualityPanel::scrNitidez_Change()
{
    if (AjustandoControles)
        return;
    state_.EscolherNitidez(w_.c.scrNitidez.value());
    AplicarQualidade(true);
}

void QualityPanel::scrAtualizacao_Change()
{
    if (AjustandoControles)
        return;
    state_.EscolherAtualizacao(w_.c.scrAtualizacao.value());
    AplicarQualidade(true);
}

void QualityPanel::AplicarComandoQualidade(int nitidez, int atualizacao)
{
    state_.AplicarComandoQualidade(nitidez, atualizacao);
    AplicarQualidade(false);
}

void QualityPanel::Aplicar(const QualityChange& change)
{
    if (change.levelsChanged)
        AplicarQualidade(false);
    if (!change.logLine.isEmpty())
        w_.LogEvent(change.logLine);
}

void QualityPanel::AjustarQualidadeAutomatica(float seconds) { Aplicar(state_.AjustarQualidadeAutomatica(seconds)); }
void QualityPanel::ReduzirNitidez() { Aplicar(state_.ReduzirNitidez()); }

}  // namespace screenlink
