#include "core/api/ApiClient.h"
#include "core/shell/ServerMessages.h"

#include <gtest/gtest.h>

using shell::MensagemErroServidor;

// Both authentication reasons give one sentence; unknown, missing or
// differently cased reasons fall back to the default.
TEST(MensagemErroServidor, GivesTheReasonsSentenceOrTheDefault)
{
    const std::pair<QString, QString> cases[] = {
        {R"({"ok":false,"erro":"token_invalido"})", "Conta nao validada neste computador."},
        {R"({"ok":false,"erro":"autenticacao_incompleta"})", "Conta nao validada neste computador."},
        {R"({"erro":"nao_pode_acessar_propria_maquina"})", "Nao e permitido acessar este mesmo computador."},
        {R"({"ok":false,"ERRO":"TOKEN_INVALIDO"})", "d"},
        {R"({"ok":false})", "d"},
        {api::SyntheticFailureReply("down"), "d"},
    };
    for (const auto& [reply, sentence] : cases)
        EXPECT_EQ(MensagemErroServidor(reply, "d"), sentence) << reply.toStdString();
}
