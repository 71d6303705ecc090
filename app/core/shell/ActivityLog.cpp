#include "core/shell/ActivityLog.h"

#include "core/api/Json.h"
#include "core/common/Text.h"
#include "core/shell/ServerMessages.h"
#include "core/time/Clock.h"

namespace shell {
namespace {

enum class Test { Prefix, Exact, ContainsReply };

enum class Outcome {
    Fixed,          // `text` (an empty text hides the message)
    Reply,          // reply ok: `text`; else `other`
    ReplyOrServer,  // reply ok: `text`; else the server's message, `other` by default
    Detail,         // `text` followed by what comes after the key
};

struct Rule {
    Test test;
    const char* key;
    Outcome outcome;
    const char* text;
    const char* other = nullptr;
};

// Tried in this order; the first that applies gives the sentence.
constexpr Rule kRules[] = {
    {Test::Prefix, "Marquelin iniciado.", Outcome::Fixed, "Marquelin iniciado."},
    {Test::Prefix, "Licenca local removida.", Outcome::Fixed, "Licenca removida deste computador."},
    {Test::Prefix, "Conta ativada e token salvo", Outcome::Fixed, "Conta pronta para uso neste computador."},
    {Test::Prefix, "Codigo de suporte copiado.", Outcome::Fixed, "Codigo copiado."},
    {Test::Prefix, "Ativar:", Outcome::Reply, "Conta ativada com sucesso.", "Codigo de ativacao invalido ou expirado."},
    {Test::Prefix, "Validar token:", Outcome::Reply, "Conta validada neste computador.", "Licenca local nao validada."},
    {Test::Prefix, "Gerar codigo:", Outcome::Reply, "Codigo de suporte atualizado.", "Nao foi possivel gerar o codigo."},
    {Test::Prefix, "Solicitar acesso:", Outcome::ReplyOrServer, "Pedido de acesso enviado ao cliente.", "Nao foi possivel solicitar acesso."},
    {Test::Prefix, "Responder acesso:", Outcome::ReplyOrServer, "Resposta enviada.", "Nao foi possivel responder ao pedido."},
    {Test::Prefix, "Encerrar:", Outcome::Reply, "Sessao encerrada.", "Nao foi possivel encerrar a sessao."},
    {Test::Prefix, "Status:", Outcome::Fixed, ""},
    {Test::Prefix, "Qualidade da tela", Outcome::Fixed, ""},
    {Test::Exact, "Nao foi possivel obter a credencial segura da sessao.", Outcome::Fixed, "Nao foi possivel autorizar a conexao."},
    {Test::Exact, "Aguardando dados seguros da conexao do cliente.", Outcome::Fixed, "Aguardando dados da conexao."},
    {Test::Exact, "A sessao ainda nao foi aceita ou a credencial segura ainda nao esta disponivel.", Outcome::Fixed, "Aguardando o cliente permitir o acesso."},
    {Test::Exact, "Tela remota pronta. Aguardando tecnico conectar automaticamente.", Outcome::Fixed, "Tela pronta. Aguardando o tecnico conectar."},
    {Test::Exact, "Conectando automaticamente a tela do cliente.", Outcome::Fixed, "Conectando a tela do cliente."},
    {Test::Exact, "Tecnico conectado. Aguardando validacao segura da sessao.", Outcome::Fixed, "Tecnico conectado. Validando sessao."},
    {Test::Exact, "Conexao de tela estabelecida.", Outcome::Fixed, "Tela remota conectada."},
    {Test::Exact, "Conexao de tela encerrada.", Outcome::Fixed, "Tela remota desconectada."},
    {Test::Exact, "Sessao de tela validada.", Outcome::Fixed, "Tela remota autorizada."},
    {Test::Exact, "Sessao de tela validada. Transmissao iniciada.", Outcome::Fixed, "Tela remota autorizada. Transmissao iniciada."},
    {Test::Exact, "Tentativa de tela recusada: chave de sessao invalida.", Outcome::Fixed, "Conexao recusada por seguranca."},
    {Test::Exact, "Credencial segura da sessao validada.", Outcome::Fixed, "Conexao autorizada com seguranca."},
    {Test::Exact, "Credencial segura da sessao indisponivel.", Outcome::Fixed, "Aguardando autorizacao da conexao."},
    {Test::Exact, "Conexao segura registrada para esta sessao.", Outcome::Fixed, "Conexao preparada com seguranca."},
    {Test::Exact, "Nao foi possivel registrar a conexao segura da sessao.", Outcome::Fixed, "Nao foi possivel preparar a conexao."},
    {Test::Exact, "Dados seguros da tela recebidos automaticamente.", Outcome::Fixed, "Tela do cliente localizada."},
    {Test::Exact, "Tentando rota direta alternativa.", Outcome::Fixed, "Tentando outra rota de conexao."},
    {Test::Prefix, "Relay seguro iniciado.", Outcome::Fixed, "Usando rota alternativa segura."},
    {Test::Prefix, "Relay TCP iniciado.", Outcome::Fixed, "Conectando pela rota segura."},
    {Test::Prefix, "Relay TCP conectado.", Outcome::Fixed, "Rota segura conectada. Aguardando o outro computador."},
    {Test::Exact, "Relay TCP pareado.", Outcome::Fixed, "Rota segura pronta."},
    {Test::Exact, "Relay TCP aguardando outro computador.", Outcome::Fixed, "Aguardando o outro computador conectar."},
    {Test::Prefix, "Erro no relay TCP:", Outcome::Detail, "Falha na rota segura: "},
    {Test::Prefix, "Erro ao iniciar transmissao:", Outcome::Detail, "Falha ao iniciar a tela remota: "},
    {Test::Prefix, "Erro ao conectar tela:", Outcome::Detail, "Falha ao conectar a tela: "},
    {Test::Prefix, "Erro na conexao de tela:", Outcome::Detail, "Falha na conexao da tela: "},
    {Test::Prefix, "Erro ao receber tela:", Outcome::Fixed, "Falha ao atualizar a tela remota."},
    {Test::Prefix, "Erro ao enviar tela:", Outcome::Fixed, "Falha ao enviar a tela remota."},
    {Test::Prefix, "Erro ao processar tela:", Outcome::Fixed, "Falha ao processar a imagem recebida."},
    {Test::Prefix, "Erro ao processar comando remoto:", Outcome::Fixed, "Falha ao executar comando remoto."},
    {Test::ContainsReply, "{", Outcome::ReplyOrServer, "Operacao concluida.", "Operacao nao concluida."},
};

bool Applies(const Rule& rule, const QString& t)
{
    switch (rule.test) {
    case Test::Prefix: return ComecaCom(t, QString::fromUtf8(rule.key));
    case Test::Exact: return t == QString::fromUtf8(rule.key);
    case Test::ContainsReply: return t.contains('{');
    }
    return false;
}

// The part of the message that the rule's outcome reads: the reply or the detail.
QString Argument(const Rule& rule, const QString& t)
{
    if (rule.test == Test::ContainsReply)
        return t.mid(t.indexOf('{'));
    return RestoApos(t, QString::fromUtf8(rule.key));
}

QString Sentence(const Rule& rule, const QString& t)
{
    const QString text = QString::fromUtf8(rule.text);
    switch (rule.outcome) {
    case Outcome::Fixed: return text;
    case Outcome::Detail: return text + Argument(rule, t);
    case Outcome::Reply:
    case Outcome::ReplyOrServer: {
        const QString reply = Argument(rule, t);
        if (api::JsonIsOk(reply))
            return text;
        const QString other = QString::fromUtf8(rule.other);
        return rule.outcome == Outcome::Reply ? other : MensagemErroServidor(reply, other);
    }
    }
    return t;
}

}  // namespace

bool ComecaCom(const QString& text, const QString& prefix)
{
    if (text.size() < prefix.size())
        return false;
    return QStringView(text).left(prefix.size()).compare(prefix, Qt::CaseInsensitive) == 0;
}

QString RestoApos(const QString& text, const QString& prefix)
{
    return common::TrimSpaces(text.mid(prefix.size()));
}

QString TextoAmigavel(const QString& message)
{
    const QString t = common::TrimSpaces(message);
    if (t.isEmpty())
        return {};
    for (const Rule& rule : kRules) {
        if (Applies(rule, t))
            return Sentence(rule, t);
    }
    return t;
}

ActivityLog::ActivityLog(const timing::Clock& clock, QObject* parent) : QObject(parent), clock_(clock) {}

void ActivityLog::LogEvent(const QString& message)
{
    const QString friendly = TextoAmigavel(message);
    if (friendly.isEmpty())
        return;
    char stamp[9];
    QString line = QLatin1String(timing::FormatTimeOfDay(clock_.Timer(), stamp)) + " - " + friendly + "\r\n";
    text_.prepend(line);
    if (text_.size() > kMaxChars)
        text_.truncate(kMaxChars);
    emit changed();
}

}  // namespace shell
