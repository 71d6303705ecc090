// What the service acknowledged survives a clean restart and kill -9:
// accounts and tokens, pending activation codes, support codes, sessions.
#include "ServerTestSetup.h"

using namespace server_tests;

namespace {

class DurabilityTest : public ServerTest {
protected:
    void ExpectSessionSurvives(const TestDevice& cliente, const TestDevice& tecnico, const QString& codeId,
                               const QString& sessaoId, const QString& key)
    {
        EXPECT_TRUE(IsOk(client->PostAs(cliente, "validar_token.php")));
        EXPECT_TRUE(IsOk(client->PostAs(tecnico, "validar_token.php")));
        const QString status = client->PostAs(tecnico, "status_codigo.php", {{"codigo_id", codeId}});
        EXPECT_EQ(Field(status, "status"), "aceito") << status.toStdString();
        EXPECT_EQ(Field(status, "sessao_id"), sessaoId);
        EXPECT_EQ(Field(status, "porta_cliente"), "50555");
        const QString credentials = client->PostAs(tecnico, "credenciais_sessao.php", {{"sessao_id", sessaoId}});
        EXPECT_EQ(Field(credentials, "stream_key"), key);
    }
};

}  // namespace

TEST_F(DurabilityTest, RestartAndKill9KeepAccountsCodesAndSessions)
{
    const TestDevice cliente = client->Activate("Ana", "ana@example.com", "uid-a");
    const TestDevice tecnico = client->Activate("Beto", "beto@example.com", "uid-b");
    QString codeId;
    const QString sessaoId = OpenSession(cliente, tecnico, &codeId);
    ASSERT_TRUE(IsOk(client->PostAs(cliente, "registrar_conexao.php",
        {{"sessao_id", sessaoId}, {"codigo_id", codeId}, {"papel", "cliente"}, {"ip_local", "10.1.2.3"}, {"porta", "50555"}})));
    const QString key = Field(client->PostAs(cliente, "credenciais_sessao.php", {{"sessao_id", sessaoId}}), "stream_key");
    // A support code issued just before the crash, and a pending sign-up.
    const QString code = client->PostAs(cliente, "gerar_codigo.php");
    ASSERT_TRUE(IsOk(client->Post("cadastro.php", {{"nome", "Caio"}, {"email", "caio@example.com"}})));

    server.Kill9();
    ASSERT_TRUE(server.Running());
    ExpectSessionSurvives(cliente, tecnico, codeId, sessaoId, key);
    EXPECT_TRUE(IsOk(client->PostAs(tecnico, "solicitar_acesso.php", {{"codigo", Field(code, "codigo")}})));
    const QString activation = client->Post("ativar.php", {{"email", "caio@example.com"},
        {"codigo", QString::fromStdString(server.LatestCode("caio@example.com"))}, {"dispositivo_uid", "uid-c"},
        {"nome_maquina", "PC"}, {"sistema_operacional", "Windows"}, {"versao_app", "1.1.6"}});
    EXPECT_TRUE(IsOk(activation)) << activation.toStdString();

    server.Stop();
    EXPECT_EQ(server.ExitCode(), 0) << "SIGTERM ends the server cleanly";
    server.Start();
    ASSERT_TRUE(server.Running());
    ExpectSessionSurvives(cliente, tecnico, codeId, sessaoId, key);
    const QString requested = client->PostAs(cliente, "status_codigo.php", {{"codigo_id", Field(code, "codigo_id")}});
    EXPECT_EQ(Field(requested, "status"), "solicitado");
    EXPECT_EQ(Field(requested, "tecnico_nome"), "Beto");
}
