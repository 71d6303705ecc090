#include "core/session/SupportCode.h"

#include "core/api/ApiClient.h"
#include "core/api/Json.h"
#include "core/common/Text.h"
#include "core/session/SessionButtons.h"
#include "core/shell/Dialogs.h"
#include "core/shell/frmMain.h"

namespace session {

using api::JsonGetValue;

void SupportCode::GerarCodigo(bool registrar)
{
    if (!w_.ContaCompleta()) {
        w_.SetStatus("Ative sua conta para gerar o codigo de suporte.");
        return;
    }
    const QString reply = api::ApiPost("gerar_codigo.php", w_.ContaParams());
    if (registrar)
        w_.LogEvent("Gerar codigo: " + reply);
    if (!api::JsonIsOk(reply)) {
        w_.SetStatus("Nao foi possivel gerar o codigo de suporte.");
        return;
    }
    SessionRecord& s = w_.s;
    s.codigo_id = JsonGetValue(reply, "codigo_id");
    if (s.codigo_id.isEmpty())
        s.codigo_id = JsonGetValue(reply, "id");
    w_.c.txtCodigoReceber.setText(JsonGetValue(reply, "codigo"));
    w_.SetStatus("Pronto para receber suporte. Informe seu codigo ao tecnico.");
    DestacarSolicitacao(w_.c, false);
    s.papel = kCliente;
    s.SessaoEncerrada = false;
    s.TransmissaoIniciada = false;
    s.DadosTelaRecebidos = false;
    s.stream_key.clear();
    s.sessao_id.clear();
    if (s.codigo_id.isEmpty())
        w_.status.ConsultarStatus();
}

void SupportCode::cmdCopiarCodigo_Click()
{
    const QString code = w_.c.txtCodigoReceber.text();
    if (common::TrimSpaces(code).isEmpty())
        return;
    w_.svc.clipboard.SetText(code);
    w_.SetStatus("Codigo copiado. Passe este codigo para o tecnico.");
    w_.LogEvent("Codigo de suporte copiado.");
}

}  // namespace session
