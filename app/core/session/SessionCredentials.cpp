#include "core/session/SessionCredentials.h"

#include "core/account/MachineFacts.h"
#include "core/api/ApiClient.h"
#include "core/api/FormEncoding.h"
#include "core/api/Json.h"
#include "core/common/Numbers.h"
#include "core/common/Text.h"
#include "core/shell/frmMain.h"
#include "core/time/Clock.h"

namespace session {

using api::FormField;
using api::JsonGetValue;

namespace {

bool IsNumeric(const QString& part)
{
    bool ok = false;
    part.toLongLong(&ok);
    return ok;
}

QString UsableOrEmpty(const QString& text) { return EnderecoUtil(text) ? text : QString(); }

}  // namespace

bool EnderecoUtil(const QString& text)
{
    const QString t = common::TrimSpaces(text);
    return !t.isEmpty() && t.toLower() != QLatin1String("null") && t != QLatin1String("0.0.0.0");
}

bool IpPrivado(const QString& text)
{
    const QStringList parts = common::TrimSpaces(text).split('.');
    if (parts.size() != 4 || !IsNumeric(parts[0]) || !IsNumeric(parts[1]))
        return false;
    const long long a = parts[0].toLongLong();
    const long long b = parts[1].toLongLong();
    return a == 10 || (a == 192 && b == 168) || (a == 172 && b >= 16 && b <= 31);
}

bool SessionCredentials::ObterCredenciais()
{
    SessionRecord& s = w_.s;
    if (s.sessao_id.isEmpty() && s.codigo_id.isEmpty())
        return false;
    const QString body = w_.ContaParams() + FormField("sessao_id", s.sessao_id) + FormField("codigo_id", s.codigo_id);
    const QString reply = api::ApiPost("credenciais_sessao.php", body);
    if (!api::JsonIsOk(reply)) {
        w_.LogEvent("Credencial segura da sessao indisponivel.");
        return false;
    }
    const QString sessao = JsonGetValue(reply, "sessao_id");
    if (!sessao.isEmpty())
        s.sessao_id = sessao;
    s.stream_key = JsonGetValue(reply, "stream_key");
    s.PapelTela = JsonGetValue(reply, "papel");
    // An older service names no version: the link stays as it always was.
    const int versao = JsonGetValue(reply, "versao_link").toInt();
    s.versao_link = versao >= 2 && versao <= kVersaoLinkPropria ? versao : 1;
    w_.LogEvent("Credencial segura da sessao validada.");
    return !s.stream_key.isEmpty();
}

void SessionCredentials::RegistrarConexao(const QString& papel, const QString& ipLocal, int porta, bool registrar)
{
    SessionRecord& s = w_.s;
    if (s.sessao_id.isEmpty() && s.codigo_id.isEmpty())
        return;
    const QString ip = ipLocal.isEmpty() ? QStringLiteral("0.0.0.0") : ipLocal;
    const QString body = w_.ContaParams() + FormField("sessao_id", s.sessao_id) + FormField("codigo_id", s.codigo_id)
        + FormField("papel", papel) + FormField("ip_local", ip) + FormField("porta", QString::number(porta));
    const QString reply = api::ApiPost("registrar_conexao.php", body);
    if (!api::JsonIsOk(reply)) {
        if (registrar)
            w_.LogEvent("Nao foi possivel registrar a conexao segura da sessao.");
        return;
    }
    const QString sessao = JsonGetValue(reply, "sessao_id");
    if (!sessao.isEmpty())
        s.sessao_id = sessao;
    if (papel == kCliente) {
        s.IpRegistrado = ip;
        s.PortaRegistrada = porta;
        s.UltimoRegistroEm = w_.Now();
    }
    if (registrar)
        w_.LogEvent("Conexao segura registrada para esta sessao.");
}

QString SessionCredentials::EnderecoLocal() const
{
    const QString best = account::GetLocalIp();
    return EnderecoUtil(best) ? best : w_.link.ListenLocalAddress();
}

void SessionCredentials::AtualizarRotaLocal()
{
    SessionRecord& s = w_.s;
    if (s.SessaoEncerrada || s.PapelTela != kCliente || !s.TransmissaoIniciada || s.sessao_id.isEmpty())
        return;
    const int porta = common::LeadingInt32(w_.c.txtTelaPorta.text());
    if (porta < 1)
        return;
    const QString ip = EnderecoLocal();
    if (!EnderecoUtil(ip))
        return;
    if (ip != s.IpRegistrado || porta != s.PortaRegistrada) {
        RegistrarConexao(kCliente, ip, porta, false);
        w_.LogEvent("Rota local atualizada automaticamente.");
    } else if (s.UltimoRegistroEm <= 0
               || timing::SegundosDesde(w_.svc.clock, s.UltimoRegistroEm) >= kRegistrationPeriod) {
        RegistrarConexao(kCliente, ip, porta, false);
    }
}

void SessionCredentials::ReceberDadosTela(const QString& reply)
{
    SessionRecord& s = w_.s;
    if (s.SessaoEncerrada || s.DadosTelaRecebidos || !w_.link.RemoteIsClosed())
        return;
    const QString publico = UsableOrEmpty(JsonGetValue(reply, "ip_cliente"));
    const QString local = UsableOrEmpty(JsonGetValue(reply, "ip_local_cliente"));
    const QString atual = UsableOrEmpty(JsonGetValue(reply, "ip_atual"));
    const QString porta = JsonGetValue(reply, "porta_cliente");
    if (!EnderecoUtil(porta) || (publico.isEmpty() && local.isEmpty()))
        return;
    s.IpAlternativo.clear();
    s.PortaAlternativa = 0;
    s.DestinoPrivado = false;

    const bool mesmaRede = !publico.isEmpty() && publico == atual && !local.isEmpty();
    const QString primeiro = mesmaRede ? local : (publico.isEmpty() ? local : publico);
    const QString candidato = mesmaRede ? publico : local;
    const QString alternativo = candidato == primeiro ? QString() : candidato;

    w_.c.txtTelaIp.setText(primeiro);
    w_.c.txtTelaPorta.setText(porta);
    s.IpAlternativo = alternativo;
    if (!alternativo.isEmpty())
        s.PortaAlternativa = common::LeadingInt32(porta);
    s.DestinoPrivado = IpPrivado(primeiro);
    s.DadosTelaRecebidos = true;
    s.InicioRotaDireta = w_.Now();
    s.UltimoFrameEm = 0;
    w_.LogEvent("Dados seguros da tela recebidos automaticamente.");
    w_.routes.cmdTecnicoConectarTela_Click();
}

}  // namespace session
