#include "core/api/ApiClient.h"
#include "core/shell/ActivityLog.h"
#include "support/SettableClock.h"

#include <gtest/gtest.h>

using shell::ActivityLog;
using shell::ComecaCom;
using shell::RestoApos;
using shell::TextoAmigavel;

TEST(TextoAmigavel, HidesStatusAndQualityMessagesInAnyCase)
{
    EXPECT_EQ(TextoAmigavel("Status: {\"ok\":true}"), "");
    EXPECT_EQ(TextoAmigavel("sTaTuS: whatever"), "");
    EXPECT_EQ(TextoAmigavel("Qualidade da tela ajustada automaticamente para nivel 4."), "");
    EXPECT_EQ(TextoAmigavel("   "), "");
}

TEST(TextoAmigavel, ReadsTheReplyAfterAPrefix)
{
    EXPECT_EQ(TextoAmigavel("Gerar codigo: {\"ok\":true,\"codigo\":\"1\"}"), "Codigo de suporte atualizado.");
    EXPECT_EQ(TextoAmigavel("Gerar codigo: " + api::SyntheticFailureReply("x")), "Nao foi possivel gerar o codigo.");
    EXPECT_EQ(TextoAmigavel("Solicitar acesso: {\"ok\":false,\"erro\":\"codigo_invalido_ou_expirado\"}"),
              "Codigo invalido ou expirado.");
    EXPECT_EQ(TextoAmigavel("Solicitar acesso: {\"ok\":false}"), "Nao foi possivel solicitar acesso.");
    EXPECT_EQ(TextoAmigavel("Ativar: not json at all"), "Codigo de ativacao invalido ou expirado.");
}

TEST(TextoAmigavel, AppendsTheTrimmedDetail)
{
    EXPECT_EQ(TextoAmigavel("Erro no relay TCP:   conexao recusada   "), "Falha na rota segura: conexao recusada");
    EXPECT_EQ(TextoAmigavel("Erro ao conectar tela: timeout"), "Falha ao conectar a tela: timeout");
}

TEST(TextoAmigavel, MatchesExactRulesCaseSensitivelyAfterTrimming)
{
    EXPECT_EQ(TextoAmigavel("Conexao de tela estabelecida. "), "Tela remota conectada.");
    EXPECT_EQ(TextoAmigavel("conexao de tela estabelecida."), "conexao de tela estabelecida.");
}

TEST(TextoAmigavel, TriesPrefixRulesBeforeExactOnesAndRepliesLast)
{
    // "Encerrar:" is a prefix rule that wins although the text carries a reply.
    EXPECT_EQ(TextoAmigavel("Encerrar: {\"ok\":true}"), "Sessao encerrada.");
    EXPECT_EQ(TextoAmigavel("Marquelin iniciado. API: https://host/api/"), "Marquelin iniciado.");
    EXPECT_EQ(TextoAmigavel("Outra coisa: {\"ok\":true}"), "Operacao concluida.");
    EXPECT_EQ(TextoAmigavel("Outra coisa: {\"ok\":false,\"erro\":\"acao_invalida\"}"), "Comando nao permitido.");
    EXPECT_EQ(TextoAmigavel("Rota direta pronta. Aguardando tecnico conectar automaticamente."),
              "Rota direta pronta. Aguardando tecnico conectar automaticamente.");
}

TEST(PrefixHelpers, CompareWithoutCaseAndTrimTheRest)
{
    EXPECT_TRUE(ComecaCom("STATUS: x", "status:"));
    EXPECT_FALSE(ComecaCom("Sta", "Status:"));
    EXPECT_TRUE(ComecaCom("", ""));
    EXPECT_EQ(RestoApos("Ativar:   {x}  ", "Ativar:"), "{x}");
    EXPECT_EQ(RestoApos("Ativar:", "Ativar:"), "");
}

TEST(ActivityLog, WritesTimedFriendlyLinesNewestFirst)
{
    testing_support::SettableClock clock(3600 * 9 + 60 * 5 + 7.6f);
    ActivityLog log(clock);
    int changes = 0;
    QObject::connect(&log, &ActivityLog::changed, [&] { ++changes; });
    log.LogEvent("Marquelin iniciado. API: https://127.0.0.1/api/");
    log.LogEvent("Status: {}");
    clock.Advance(3600 * 14);
    log.LogEvent("Codigo de suporte copiado.");
    EXPECT_EQ(log.text(), "23:05:07 - Codigo copiado.\r\n09:05:07 - Marquelin iniciado.\r\n");
    EXPECT_EQ(changes, 2);
}

TEST(ActivityLog, KeepsExactlyTheNewestTwelveThousandCharacters)
{
    testing_support::SettableClock clock;
    ActivityLog log(clock);
    for (int i = 0; i < 2000; ++i)
        log.LogEvent(QString("Linha numero %1").arg(i));
    EXPECT_EQ(log.text().size(), ActivityLog::kMaxChars);
    EXPECT_TRUE(log.text().startsWith("10:00:00 - Linha numero 1999\r\n"));
}
