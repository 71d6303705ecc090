#include "core/api/ApiClient.h"
#include "core/shell/ActivityLog.h"
#include "support/SettableClock.h"

#include <gtest/gtest.h>

using shell::ActivityLog;
using shell::TextoAmigavel;

// Status polls and automatic quality changes are hidden; prefix rules read
// the reply after the prefix or append the trimmed detail and are tried
// before exact rules (case-sensitive, after trimming); bare replies last.
TEST(TextoAmigavel, DerivesTheFriendlySentenceByTheTable)
{
    const std::pair<QString, QString> cases[] = {
        {"Status: {\"ok\":true}", ""},
        {"sTaTuS: whatever", ""},
        {"Qualidade da tela ajustada automaticamente para nivel 4.", ""},
        {"   ", ""},
        {"Gerar codigo: {\"ok\":true,\"codigo\":\"1\"}", "Codigo de suporte atualizado."},
        {"Gerar codigo: " + api::SyntheticFailureReply("x"), "Nao foi possivel gerar o codigo."},
        {"Solicitar acesso: {\"ok\":false,\"erro\":\"codigo_invalido_ou_expirado\"}", "Codigo invalido ou expirado."},
        {"Solicitar acesso: {\"ok\":false}", "Nao foi possivel solicitar acesso."},
        {"Ativar: not json at all", "Codigo de ativacao invalido ou expirado."},
        {"Erro no relay TCP:   conexao recusada   ", "Falha na rota segura: conexao recusada"},
        {"Conexao de tela estabelecida. ", "Tela remota conectada."},
        {"conexao de tela estabelecida.", "conexao de tela estabelecida."},
        {"Marquelin iniciado. API: https://host/api/", "Marquelin iniciado."},
        {"Outra coisa: {\"ok\":true}", "Operacao concluida."},
        {"Outra coisa: {\"ok\":false,\"erro\":\"acao_invalida\"}", "Comando nao permitido."},
        {"Rota direta pronta. Aguardando tecnico conectar automaticamente.",
         "Rota direta pronta. Aguardando tecnico conectar automaticamente."},
    };
    for (const auto& [technical, friendly] : cases)
        EXPECT_EQ(TextoAmigavel(technical), friendly) << technical.toStdString();
}

// Timed lines, newest first, hidden ones leaving no trace; then exactly the
// newest twelve thousand characters.
TEST(ActivityLog, WritesTimedFriendlyLinesNewestFirstKeepingTheNewestTwelveThousandCharacters)
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
    for (int i = 0; i < 2000; ++i)
        log.LogEvent(QString("Linha numero %1").arg(i));
    EXPECT_EQ(log.text().size(), ActivityLog::kMaxChars);
    EXPECT_TRUE(log.text().startsWith("23:05:07 - Linha numero 1999\r\n"));
}
