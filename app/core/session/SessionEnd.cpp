#include "core/session/SessionEnd.h"

#include "core/api/ApiClient.h"
#include "core/api/FormEncoding.h"
#include "core/session/SessionButtons.h"
#include "core/shell/frmMain.h"

namespace session {

void SessionEnd::EncerrarSessao(const QString& motivo)
{
    SessionRecord& s = w_.s;
    if (s.sessao_id.isEmpty())
        return;
    const QString body = w_.ContaParams() + api::FormField("sessao_id", s.sessao_id) + api::FormField("motivo", motivo);
    const QString reply = api::ApiPost("encerrar_sessao.php", body);
    if (!s.Fechando)
        w_.LogEvent("Encerrar: " + reply);
}

void SessionEnd::SolicitarEncerrarTelaRemota()
{
    SessionRecord& s = w_.s;
    const QString motivo = s.papel == kTecnico ? kTecnico : kCliente;
    const bool eraCliente = motivo == kCliente || s.PapelTela == kCliente;
    s.SessaoEncerrada = true;
    if (!s.sessao_id.isEmpty())
        EncerrarSessao(motivo);
    w_.SetStatus("Sessao encerrada.");
    DestacarSolicitacao(w_.c, false);
    w_.loss.PararTelaRemota(true);
    ReiniciarAposFim(eraCliente);
}

void SessionEnd::ReiniciarAposFim(bool eraCliente)
{
    RestaurarBotoesSessao(w_.c);
    w_.s.sessao_id.clear();
    if (w_.ContaCompleta() && eraCliente)
        w_.code.GerarCodigo(false);
    else
        w_.s.codigo_id.clear();
}

}  // namespace session
