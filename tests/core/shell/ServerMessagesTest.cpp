#include "core/api/ApiClient.h"
#include "core/shell/ServerMessages.h"

#include <gtest/gtest.h>

using shell::MensagemErroServidor;

TEST(MensagemErroServidor, GivesTheSameSentenceForBothAuthenticationReasons)
{
    EXPECT_EQ(MensagemErroServidor(R"({"ok":false,"erro":"token_invalido"})", "d"),
              "Conta nao validada neste computador.");
    EXPECT_EQ(MensagemErroServidor(R"({"ok":false,"erro":"autenticacao_incompleta"})", "d"),
              "Conta nao validada neste computador.");
    EXPECT_EQ(MensagemErroServidor(R"({"erro":"nao_pode_acessar_propria_maquina"})", "d"),
              "Nao e permitido acessar este mesmo computador.");
}

TEST(MensagemErroServidor, FallsBackForUnknownMissingOrDifferentlyCasedReasons)
{
    EXPECT_EQ(MensagemErroServidor(R"({"ok":false,"ERRO":"TOKEN_INVALIDO"})", "d"), "d");
    EXPECT_EQ(MensagemErroServidor(R"({"ok":false})", "d"), "d");
    EXPECT_EQ(MensagemErroServidor(api::SyntheticFailureReply("down"), "d"), "d");
}
