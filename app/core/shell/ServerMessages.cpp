#include "core/shell/ServerMessages.h"

#include "core/api/Json.h"

namespace shell {
namespace {

struct KnownReason {
    const char* erro;
    const char* sentence;
};

constexpr KnownReason kKnownReasons[] = {
    {"codigo_indisponivel", "Codigo indisponivel ou expirado."},
    {"codigo_invalido_ou_expirado", "Codigo invalido ou expirado."},
    {"nao_pode_acessar_propria_maquina", "Nao e permitido acessar este mesmo computador."},
    {"sessao_indisponivel", "Sessao indisponivel ou encerrada."},
    {"solicitacao_indisponivel", "Sessao indisponivel ou encerrada."},
    {"token_invalido", "Conta nao validada neste computador."},
    {"autenticacao_incompleta", "Conta nao validada neste computador."},
    {"acao_invalida", "Comando nao permitido."},
};

}  // namespace

QString MensagemErroServidor(const QString& reply, const QString& fallback)
{
    const QString erro = api::JsonGetValue(reply, QStringLiteral("erro"));
    for (const KnownReason& known : kKnownReasons) {
        if (erro == QLatin1String(known.erro))
            return QString::fromUtf8(known.sentence);
    }
    return fallback;
}

}  // namespace shell
