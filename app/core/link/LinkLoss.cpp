#include "core/link/LinkLoss.h"

#include "core/api/ApiClient.h"
#include "core/link/LinkMessages.h"
#include "core/link/LinkReceiver.h"
#include "core/session/SessionButtons.h"
#include "core/shell/frmMain.h"

namespace screenlink {

using session::kCliente;
using session::kTecnico;

bool LinkLoss::EstaParandoTela() const { return w_.s.ParandoTela || w_.s.Fechando; }

bool LinkLoss::AlgoAtivo() const
{
    const session::SessionRecord& s = w_.s;
    return !w_.link.RemoteIsClosed() || s.TelaConectada || s.DadosTelaRecebidos || s.TransmissaoIniciada
        || s.RelayAtivo || !w_.link.ListenIsClosed();
}

void LinkLoss::PararTelaRemota(bool avisarRemoto)
{
    session::SessionRecord& s = w_.s;
    if (s.ParandoTela)
        return;
    const bool ativo = AlgoAtivo();
    s.ParandoTela = true;
    w_.tmrFrame.stop();
    if (avisarRemoto)
        EnviarBye();
    w_.link.CloseRemote();
    w_.link.CloseListen();
    w_.viewer.RequestClose();
    w_.c.cmdPararRemoto.setEnabled(false);
    s.TelaConectada = false;
    s.RelayAtivo = false;
    s.PapelRelay.clear();
    s.DadosTelaRecebidos = false;
    s.TransmissaoIniciada = false;
    s.FrameEmTransito = false;
    s.IpAlternativo.clear();
    s.PortaAlternativa = 0;
    s.DestinoPrivado = false;
    s.IpRegistrado.clear();
    s.PortaRegistrada = 0;
    s.UltimoFrameEm = 0;
    s.UltimoRegistroEm = 0;
    s.ParandoTela = false;
    w_.link.receiver().SoltarEntradaRemota();
    // Only at the session's end: a link rebuilt within it keeps the user's consent.
    if (ativo && (avisarRemoto || s.SessaoEncerrada) && w_.svc.screen)
        w_.svc.screen->Release();
    w_.quality.AtualizarAjustesTela();
    if (ativo)
        w_.LogEvent("Tela remota parada.");
}

void LinkLoss::EnviarBye()
{
    if (!w_.link.RemoteIsConnected())
        return;
    w_.link.SendCommand(GoodbyeMessage(w_.s.sessao_id));
    // Lets the queued bytes leave before the socket is closed.
    w_.link.Remote()->flush();
    api::PumpPendingEvents();
}

void LinkLoss::EncerradaPeloOutro()
{
    session::SessionRecord& s = w_.s;
    const bool eraCliente = s.papel == kCliente || s.PapelTela == kCliente;
    s.SessaoEncerrada = true;
    w_.SetStatus("Sessao encerrada pelo outro computador.");
    session::DestacarSolicitacao(w_.c, false);
    PararTelaRemota(false);
    w_.end.ReiniciarAposFim(eraCliente);
}

void LinkLoss::cmdPararRemoto_Click() { w_.end.SolicitarEncerrarTelaRemota(); }

void LinkLoss::OnRemoteClosed()
{
    session::SessionRecord& s = w_.s;
    const bool validado = s.TelaConectada;
    w_.tmrFrame.stop();
    s.FrameEmTransito = false;
    w_.LogEvent("Conexao de tela encerrada.");
    if (validado && !s.ParandoTela && !s.Fechando && !s.SessaoEncerrada)
        TratarPerdaConexao();
}

void LinkLoss::OnRemoteError(int, const QString& description)
{
    session::SessionRecord& s = w_.s;
    s.FrameEmTransito = false;
    if (w_.routes.TentarRotaAlternativa())
        return;
    if (s.PapelTela == kTecnico && s.RotaAutomatica && !s.RelayAtivo && !s.TelaConectada) {
        w_.routes.IniciarRelayTcp(kTecnico);
        return;
    }
    w_.LogEvent("Erro na conexao de tela: " + description);
    if (s.TelaConectada && !s.SessaoEncerrada)
        TratarPerdaConexao();
    else
        PararTelaRemota(false);
}

void LinkLoss::TratarPerdaConexao()
{
    session::SessionRecord& s = w_.s;
    w_.tmrFrame.stop();
    s.FrameEmTransito = false;
    s.TelaConectada = false;
    s.RelayAtivo = false;
    s.PapelRelay.clear();
    w_.link.ClearBuffer();
    s.IpAlternativo.clear();
    s.PortaAlternativa = 0;
    s.DestinoPrivado = false;
    s.UltimoFrameEm = 0;
    w_.link.CloseRemote();
    w_.link.receiver().SoltarEntradaRemota();
    if (s.PapelTela == kTecnico) {
        s.ParandoTela = true;
        w_.viewer.RequestClose();
        s.ParandoTela = false;
        w_.LimparPreview();
        s.DadosTelaRecebidos = false;
        w_.SetStatus("Conexao de tela perdida. Tentando reconectar.");
    } else if (s.PapelTela == kCliente) {
        w_.link.CloseListen();
        s.TransmissaoIniciada = false;
        s.IpRegistrado.clear();
        s.PortaRegistrada = 0;
        s.UltimoRegistroEm = 0;
        w_.SetStatus("Conexao de tela perdida. Aguardando nova conexao do tecnico.");
    }
    w_.quality.AtualizarAjustesTela();
    w_.LogEvent("Conexao de tela perdida. Tentando recuperar automaticamente.");
}

}  // namespace screenlink
