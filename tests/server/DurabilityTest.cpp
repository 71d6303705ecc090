// What the service acknowledged survives a clean restart and kill -9:
// accounts and tokens, pending activation codes, support codes, sessions.
#include "ServerTestSetup.h"

using namespace server_tests;

using DurabilityTest = ServerTest;

TEST_F(DurabilityTest, RestartAndKill9KeepAccountsCodesAndSessions)
{
    ActivateBoth();
    QString codeId;
    const QString sessaoId = OpenSession(&codeId);
    ASSERT_TRUE(IsOk(PostAs(cliente, "registrar_conexao.php",
        {{"sessao_id", sessaoId}, {"codigo_id", codeId}, {"papel", "cliente"}, {"ip_local", "10.1.2.3"}, {"porta", "50555"}})));
    const QString key = Field(PostAs(cliente, "credenciais_sessao.php", {{"sessao_id", sessaoId}}), "stream_key");
    // A support code issued just before the crash, and a pending sign-up.
    const QString code = PostAs(cliente, "gerar_codigo.php");
    ASSERT_TRUE(IsOk(Post("cadastro.php", {{"nome", "Caio"}, {"email", "caio@example.com"}})));
    auto expectSessionSurvives = [&] {
        EXPECT_TRUE(IsOk(PostAs(cliente, "validar_token.php")));
        ExpectFields(Status(tecnico, codeId), {{"status", "aceito"}, {"sessao_id", sessaoId}, {"porta_cliente", "50555"}});
        ExpectFields(PostAs(tecnico, "credenciais_sessao.php", {{"sessao_id", sessaoId}}), {{"stream_key", key}});
    };

    server.Kill9();
    ASSERT_TRUE(server.Running());
    expectSessionSurvives();
    EXPECT_TRUE(IsOk(PostAs(tecnico, "solicitar_acesso.php", {{"codigo", Field(code, "codigo")}})));
    EXPECT_TRUE(IsOk(Post("ativar.php", {{"email", "caio@example.com"},
        {"codigo", QString::fromStdString(server.LatestCode("caio@example.com"))}, {"dispositivo_uid", "uid-c"}})));

    server.Stop();
    EXPECT_EQ(server.ExitCode(), 0) << "SIGTERM ends the server cleanly";
    server.Start();
    ASSERT_TRUE(server.Running());
    expectSessionSurvives();
    ExpectFields(Status(cliente, Field(code, "codigo_id")), {{"status", "solicitado"}, {"tecnico_nome", "Beto"}});
}
