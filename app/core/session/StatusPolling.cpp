#include "core/session/StatusPolling.h"

#include "core/api/ApiClient.h"
#include "core/api/FormEncoding.h"
#include "core/api/Json.h"
#include "core/common/Text.h"
#include "core/session/SessionButtons.h"
#include "core/shell/frmMain.h"
#include "core/time/Clock.h"

namespace session {

using api::JsonGetValue;

void StatusPolling::tmrStatus_Timer()
{
    const shell::MainControls& c = w_.c;
    if (c.txtEmail.text().isEmpty() || c.txtToken.text().isEmpty() || c.txtDispositivo.text().isEmpty())
        return;
    SessionRecord& s = w_.s;
    if (s.InicioSolicitacao > 0 && timing::SegundosDesde(w_.svc.clock, s.InicioSolicitacao) > kFastWindow)
        EncerrarPesquisaRapida();
    w_.routes.VerificarRotaDireta();
    w_.routes.VerificarTelaParada();
    ConsultarStatus();
}

QString StatusPolling::ParametrosStatus() const
{
    QString body = w_.ContaParams();
    if (!common::TrimSpaces(w_.s.codigo_id).isEmpty())
        body += api::FormField("codigo_id", w_.s.codigo_id);
    return body;
}

void StatusPolling::EncerrarPesquisaRapida()
{
    w_.s.InicioSolicitacao = 0;
    w_.s.InicioBuscaAceite = 0;
    w_.tmrStatus.setInterval(kNormalInterval);
}

void StatusPolling::ConsultarStatus()
{
    SessionRecord& s = w_.s;
    const QString consultado = s.codigo_id;
    const QString reply = api::ApiPost("status_codigo.php", ParametrosStatus());
    // A click handled while the reply was on its way (a request, a new code) moved the
    // session to another code; this reply describes the old one and would undo the move.
    if (s.codigo_id != consultado)
        return;
    const QString status = JsonGetValue(reply, "status");
    if (!api::JsonIsOk(reply) || status.isEmpty() || status == QLatin1String("sem_codigo"))
        return;
    const QString papel = JsonGetValue(reply, "papel");
    if (!papel.isEmpty())
        s.papel = papel;
    s.codigo_id = JsonGetValue(reply, "id");
    const QString sessao = JsonGetValue(reply, "sessao_id");
    if (!sessao.isEmpty())
        s.sessao_id = sessao;

    if (status == QLatin1String("solicitado"))
        Solicitado(papel, reply);
    else if (status == QLatin1String("aceito"))
        Aceito(papel, reply);
    else if (status == QLatin1String("recusado"))
        Recusado();
    else if (status == QLatin1String("encerrado"))
        Encerrado(papel);
}

void StatusPolling::Solicitado(const QString& papel, const QString& reply)
{
    shell::MainControls& c = w_.c;
    if (papel == kCliente) {
        w_.SetStatus(JsonGetValue(reply, "tecnico_nome") + " quer acessar este computador.");
        DestacarSolicitacao(c, true);
        c.cmdPermitir.setEnabled(true);
        c.cmdRecusar.setEnabled(true);
        c.cmdEncerrar.setEnabled(false);
        return;
    }
    if (LocalizarSessaoAceita())
        return;
    w_.SetStatus("Solicitacao enviada. Aguardando o cliente permitir.");
    DestacarSolicitacao(c, false);
    c.cmdPermitir.setEnabled(false);
    c.cmdRecusar.setEnabled(false);
    c.cmdEncerrar.setEnabled(false);
}

void StatusPolling::Aceito(const QString& papel, const QString& reply)
{
    SessionRecord& s = w_.s;
    EncerrarPesquisaRapida();
    if (s.SessaoEncerrada)
        return;
    if (s.stream_key.isEmpty() && s.sessao_id.isEmpty())
        w_.creds.ObterCredenciais();
    // While the remote screen is connected, the line keeps saying how its link is protected.
    if (!s.TelaConectada)
        w_.SetStatus("Acesso permitido. Sessao " + s.sessao_id);
    DestacarSolicitacao(w_.c, false);
    w_.c.cmdPermitir.setEnabled(false);
    w_.c.cmdRecusar.setEnabled(false);
    w_.c.cmdEncerrar.setEnabled(!s.sessao_id.isEmpty());
    if (s.stream_key.isEmpty() && !s.sessao_id.isEmpty())
        w_.creds.ObterCredenciais();
    if (papel == kCliente && !s.TransmissaoIniciada && !s.RelayAtivo)
        w_.routes.cmdClienteTransmitirTela_Click();
    if (papel == kCliente)
        w_.creds.AtualizarRotaLocal();
    if (papel == kTecnico && !s.RelayAtivo)
        w_.creds.ReceberDadosTela(reply);
}

void StatusPolling::Recusado()
{
    EncerrarPesquisaRapida();
    w_.SetStatus("Acesso recusado.");
    DestacarSolicitacao(w_.c, false);
    w_.c.cmdPermitir.setEnabled(false);
    w_.c.cmdRecusar.setEnabled(false);
}

void StatusPolling::Encerrado(const QString& papel)
{
    SessionRecord& s = w_.s;
    EncerrarPesquisaRapida();
    if (s.SessaoEncerrada && !s.TelaConectada && !s.TransmissaoIniciada && !s.DadosTelaRecebidos && !s.RelayAtivo) {
        RestaurarBotoesSessao(w_.c);
        return;
    }
    const bool eraCliente = s.papel == kCliente || papel == kCliente;
    s.SessaoEncerrada = true;
    w_.SetStatus("Sessao encerrada.");
    DestacarSolicitacao(w_.c, false);
    w_.loss.PararTelaRemota(false);
    w_.end.ReiniciarAposFim(eraCliente);
}

bool StatusPolling::LocalizarSessaoAceita()
{
    SessionRecord& s = w_.s;
    if (s.papel != kTecnico || s.TelaConectada || s.RelayAtivo || s.InicioBuscaAceite <= 0
        || timing::SegundosDesde(w_.svc.clock, s.InicioBuscaAceite) < kLookupDelay)
        return false;
    const QString reply = api::ApiPost("status_codigo.php", w_.ContaParams());
    if (!api::JsonIsOk(reply) || JsonGetValue(reply, "status") != QLatin1String("aceito")
        || JsonGetValue(reply, "papel") != kTecnico)
        return false;
    const QString id = JsonGetValue(reply, "id");
    if (!id.isEmpty())
        s.codigo_id = id;
    const QString sessao = JsonGetValue(reply, "sessao_id");
    if (!sessao.isEmpty())
        s.sessao_id = sessao;
    if (s.sessao_id.isEmpty())
        return false;
    s.SessaoEncerrada = false;
    if (s.stream_key.isEmpty())
        w_.creds.ObterCredenciais();
    w_.SetStatus("Acesso permitido. Sessao " + s.sessao_id);
    w_.c.cmdPermitir.setEnabled(false);
    w_.c.cmdRecusar.setEnabled(false);
    w_.c.cmdEncerrar.setEnabled(true);
    EncerrarPesquisaRapida();
    if (!s.RelayAtivo)
        w_.creds.ReceberDadosTela(reply);
    w_.LogEvent("Sessao aceita localizada automaticamente.");
    return true;
}

}  // namespace session
