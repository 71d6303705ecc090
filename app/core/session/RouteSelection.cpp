#include "core/session/RouteSelection.h"

#include "core/account/MachineFacts.h"
#include "core/api/Deployment.h"
#include "core/common/Numbers.h"
#include "core/session/SessionCredentials.h"
#include "core/shell/frmMain.h"
#include "core/time/Clock.h"

namespace session {

float RouteSelection::DesdeInicioRota() const { return timing::SegundosDesde(w_.svc.clock, w_.s.InicioRotaDireta); }

void RouteSelection::cmdClienteTransmitirTela_Click()
{
    SessionRecord& s = w_.s;
    if (s.sessao_id.isEmpty()) {
        w_.LogEvent("Permita uma sessao antes de transmitir a tela.");
        return;
    }
    if (s.stream_key.isEmpty() && !w_.creds.ObterCredenciais()) {
        w_.LogEvent("Nao foi possivel obter a credencial segura da sessao.");
        return;
    }
    const QString failure = w_.link.IniciarEscuta();
    if (!failure.isEmpty()) {
        w_.LogEvent("Erro ao iniciar transmissao: " + failure);
        if (!s.sessao_id.isEmpty() && s.RotaAutomatica)
            IniciarRelayTcp(kCliente);
        return;
    }
    QString address = account::GetLocalIp();
    if (!EnderecoUtil(address))
        address = w_.link.ListenLocalAddress();
    w_.creds.RegistrarConexao(kCliente, address, common::LeadingInt32(w_.c.txtTelaPorta.text()), true);
    s.TransmissaoIniciada = true;
    s.InicioRotaDireta = w_.Now();
    w_.c.cmdPararRemoto.setEnabled(true);
    w_.LogEvent("Rota direta pronta. Aguardando tecnico conectar automaticamente.");
}

void RouteSelection::cmdTecnicoConectarTela_Click()
{
    SessionRecord& s = w_.s;
    if (s.stream_key.isEmpty() && !w_.creds.ObterCredenciais()) {
        w_.LogEvent("A sessao ainda nao foi aceita ou a credencial segura ainda nao esta disponivel.");
        return;
    }
    if (w_.c.txtTelaIp.text().isEmpty())
        IniciarRelayTcp(kTecnico);
    else
        w_.link.Conectar();
}

void RouteSelection::VerificarRotaDireta()
{
    SessionRecord& s = w_.s;
    if (s.PapelTela == kCliente && s.TransmissaoIniciada && !s.TelaConectada && !s.RelayAtivo && s.InicioRotaDireta > 0) {
        if (DesdeInicioRota() >= kClienteDirectWait) {
            w_.LogEvent("Rota direta sem conexao. Usando rota segura.");
            IniciarRelayTcp(kCliente);
        }
        return;
    }
    if (s.PapelTela != kTecnico || s.TelaConectada)
        return;
    if (!s.IpAlternativo.isEmpty()) {
        const float wait = s.DestinoPrivado ? kPrivateTargetWait : kPublicTargetWait;
        if (s.InicioRotaDireta > 0 && DesdeInicioRota() >= wait) {
            if (TentarRotaAlternativa())
                return;
            if (!s.RelayAtivo)
                IniciarRelayTcp(kTecnico);
        }
        return;
    }
    if (s.InicioRotaDireta > 0 && !s.RelayAtivo && s.DadosTelaRecebidos && DesdeInicioRota() >= kNoAlternativeWait)
        IniciarRelayTcp(kTecnico);
}

bool RouteSelection::TentarRotaAlternativa()
{
    SessionRecord& s = w_.s;
    if (s.PapelTela != kTecnico || s.IpAlternativo.isEmpty() || s.PortaAlternativa < 1 || s.TelaConectada)
        return false;
    w_.link.CloseRemote();
    w_.c.txtTelaIp.setText(s.IpAlternativo);
    w_.c.txtTelaPorta.setText(QString::number(s.PortaAlternativa));
    s.IpAlternativo.clear();
    s.PortaAlternativa = 0;
    s.DestinoPrivado = IpPrivado(w_.c.txtTelaIp.text());
    s.InicioRotaDireta = w_.Now();
    w_.link.ClearBuffer();
    w_.link.ConnectTo(w_.c.txtTelaIp.text(), common::LeadingInt32(w_.c.txtTelaPorta.text()));
    w_.LogEvent("Tentando rota direta alternativa.");
    return true;
}

void RouteSelection::IniciarRelayTcp(const QString& papel)
{
    SessionRecord& s = w_.s;
    if (s.SessaoEncerrada)
        return;
    if (s.stream_key.isEmpty() && !w_.creds.ObterCredenciais())
        return;
    if (s.sessao_id.isEmpty() || s.stream_key.isEmpty())
        return;
    if (s.RelayAtivo && s.PapelRelay == papel && w_.link.RemoteIsConnectedOrConnecting())
        return;
    w_.link.CloseListen();
    w_.link.CloseRemote();
    s.RelayAtivo = true;
    s.PapelRelay = papel;
    s.PapelTela = papel;
    s.TelaConectada = false;
    w_.link.ClearBuffer();
    s.FrameEmTransito = false;
    s.TransmissaoIniciada = papel == kCliente;
    s.DadosTelaRecebidos = papel == kTecnico;
    s.UltimoFrameEm = 0;
    w_.tmrFrame.stop();
    w_.link.ConnectTo(api::RelayHost(), api::RelayPort());
    w_.c.cmdPararRemoto.setEnabled(true);
    w_.quality.AtualizarAjustesTela();
    w_.LogEvent(papel != kCliente ? "Relay TCP iniciado. Conectando ao cliente." : "Relay TCP iniciado. Aguardando tecnico.");
}

void RouteSelection::VerificarTelaParada()
{
    const SessionRecord& s = w_.s;
    if (!s.SessaoEncerrada && s.PapelTela == kTecnico && s.TelaConectada && s.UltimoFrameEm > 0
        && timing::SegundosDesde(w_.svc.clock, s.UltimoFrameEm) >= kStaleScreen) {
        w_.LogEvent("Tela sem atualizacao. Tentando reconectar.");
        w_.loss.TratarPerdaConexao();
    }
}

}  // namespace session
