#include "core/session/AccessRequest.h"

#include "core/api/ApiClient.h"
#include "core/api/FormEncoding.h"
#include "core/api/Json.h"
#include "core/common/Text.h"
#include "core/session/SessionButtons.h"
#include "core/shell/frmMain.h"

namespace session {

using api::FormField;
using api::JsonGetValue;

namespace {

// Goes last in the body. Older programs send nothing and the service then
// agrees on version 1 with whoever is on the other side. Version 3 is
// version 2 plus a capability, so that a service that knows only 2 still
// agrees on 2 with this program rather than on 1.
QString VersaoLinkAnunciada()
{
    static_assert(kVersaoLinkPropria == 3);
    return FormField("recursos_link", "atualizacoes") + FormField("versao_link", "2");
}

}  // namespace

void AccessRequest::cmdSolicitar_Click()
{
    const QString body = w_.ContaParams() + FormField("codigo", w_.c.txtCodigoAcessar.text()) + VersaoLinkAnunciada();
    const QString reply = api::ApiPost("solicitar_acesso.php", body);
    w_.LogEvent("Solicitar acesso: " + reply);
    if (!api::JsonIsOk(reply))
        return;
    SessionRecord& s = w_.s;
    s.codigo_id = JsonGetValue(reply, "codigo_id");
    s.SessaoEncerrada = false;
    s.DadosTelaRecebidos = false;
    s.stream_key.clear();
    s.versao_link = 1;
    s.sessao_id.clear();
    s.InicioSolicitacao = w_.Now();
    s.InicioBuscaAceite = w_.Now();
    w_.tmrStatus.setInterval(700);
    w_.SetStatus("Solicitacao enviada. Aguarde o cliente permitir.");
    DestacarSolicitacao(w_.c, false);
    s.papel = kTecnico;
    w_.status.ConsultarStatus();
}

void AccessRequest::ResponderAcesso(const QString& acao)
{
    SessionRecord& s = w_.s;
    if (common::TrimSpaces(s.codigo_id).isEmpty())
        w_.status.ConsultarStatus();
    if (common::TrimSpaces(s.codigo_id).isEmpty()) {
        w_.SetStatus("Aguarde a solicitacao carregar e tente novamente.");
        return;
    }
    // Disabled before the request, so a second click cannot send a second answer.
    w_.c.cmdPermitir.setEnabled(false);
    w_.c.cmdRecusar.setEnabled(false);
    const QString body =
        w_.ContaParams() + FormField("acao", acao) + FormField("codigo_id", s.codigo_id) + VersaoLinkAnunciada();
    const QString reply = api::ApiPost("responder_acesso.php", body);
    w_.LogEvent("Responder acesso: " + reply);
    if (api::JsonIsOk(reply)) {
        AplicarResposta(acao, reply);
        w_.c.cmdPermitir.setEnabled(false);
        w_.c.cmdRecusar.setEnabled(false);
    } else {
        // After a failed refusal the permit button stays as it is: a status
        // poll run during the request may have enabled it again.
        if (acao == QLatin1String("permitir"))
            w_.c.cmdPermitir.setEnabled(true);
        w_.c.cmdRecusar.setEnabled(true);
    }
}

void AccessRequest::AplicarResposta(const QString& acao, const QString& reply)
{
    if (acao != QLatin1String("permitir")) {
        w_.SetStatus("Acesso recusado.");
        DestacarSolicitacao(w_.c, false);
        return;
    }
    SessionRecord& s = w_.s;
    s.sessao_id = JsonGetValue(reply, "sessao_id");
    s.SessaoEncerrada = false;
    w_.SetStatus("Tecnico conectado. Sessao " + s.sessao_id);
    DestacarSolicitacao(w_.c, false);
    w_.c.cmdEncerrar.setEnabled(true);
    w_.creds.ObterCredenciais();
    w_.status.ConsultarStatus();
}

}  // namespace session
