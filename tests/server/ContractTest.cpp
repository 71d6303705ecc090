// Two devices through the whole contract, over real HTTPS, read with the
// program's own transport and JSON reader.
#include "RelayWire.h"
#include "ServerTestSetup.h"

#include <QRegularExpression>

using namespace server_tests;

namespace {

class ContractTest : public ServerTest {};

QString Status(const ServiceClient& client, const TestDevice& device, const QString& codeId = {})
{
    return codeId.isEmpty() ? client.PostAs(device, "status_codigo.php")
                            : client.PostAs(device, "status_codigo.php", {{"codigo_id", codeId}});
}

}  // namespace

TEST_F(ContractTest, TwoDevicesGoFromSignUpToTheEndOfASession)
{
    const TestDevice cliente = client->Activate("Maria Cliente", "Maria@Example.com", "uid-cliente");
    // A name with ã travels as one ISO-8859-1 byte and comes back as UTF-8.
    const TestDevice tecnico = client->Activate(QString::fromUtf8("João Técnico"), "joao@example.com", "uid-tecnico");
    ASSERT_FALSE(cliente.token.isEmpty());
    ASSERT_GE(tecnico.token.size(), 32) << "at least 128 bits, in hex";
    EXPECT_TRUE(IsOk(client->PostAs(cliente, "validar_token.php")));
    EXPECT_TRUE(IsOk(client->PostAs(tecnico, "validar_token.php")));

    const QString code = client->PostAs(cliente, "gerar_codigo.php");
    ASSERT_TRUE(IsOk(code)) << code.toStdString();
    const QString codeId = Field(code, "codigo_id");
    EXPECT_EQ(Field(code, "id"), codeId);
    EXPECT_TRUE(QRegularExpression("^\\d{3} \\d{3} \\d{3}$").match(Field(code, "codigo")).hasMatch())
        << Field(code, "codigo").toStdString();

    QString waiting = Status(*client, cliente);
    EXPECT_EQ(Field(waiting, "status"), "aguardando");
    EXPECT_EQ(Field(waiting, "papel"), "cliente");
    EXPECT_EQ(Field(waiting, "id"), codeId) << "without codigo_id: the device's latest code";

    // Typed without the spaces, as a technician might.
    const QString request =
        client->PostAs(tecnico, "solicitar_acesso.php", {{"codigo", Field(code, "codigo").remove(' ')}});
    ASSERT_TRUE(IsOk(request)) << request.toStdString();
    EXPECT_EQ(Field(request, "codigo_id"), codeId);

    const QString asked = Status(*client, cliente, codeId);
    EXPECT_EQ(Field(asked, "status"), "solicitado");
    EXPECT_EQ(Field(asked, "papel"), "cliente");
    EXPECT_EQ(Field(asked, "tecnico_nome"), QString::fromUtf8("João Técnico"));
    const QString asking = Status(*client, tecnico, codeId);
    EXPECT_EQ(Field(asking, "status"), "solicitado");
    EXPECT_EQ(Field(asking, "papel"), "tecnico");

    const QString answer = client->PostAs(cliente, "responder_acesso.php", {{"acao", "permitir"}, {"codigo_id", codeId}});
    ASSERT_TRUE(IsOk(answer)) << answer.toStdString();
    const QString sessaoId = Field(answer, "sessao_id");
    ASSERT_FALSE(sessaoId.isEmpty());

    const QString keyCliente = client->PostAs(cliente, "credenciais_sessao.php", {{"sessao_id", sessaoId}, {"codigo_id", codeId}});
    // The technician may know only the code id yet.
    const QString keyTecnico = client->PostAs(tecnico, "credenciais_sessao.php", {{"sessao_id", ""}, {"codigo_id", codeId}});
    ASSERT_TRUE(IsOk(keyCliente) && IsOk(keyTecnico)) << keyCliente.toStdString() << keyTecnico.toStdString();
    EXPECT_EQ(Field(keyCliente, "stream_key"), Field(keyTecnico, "stream_key"));
    EXPECT_GE(Field(keyCliente, "stream_key").size(), 32);
    EXPECT_EQ(Field(keyCliente, "papel"), "cliente");
    EXPECT_EQ(Field(keyTecnico, "papel"), "tecnico");
    EXPECT_EQ(Field(keyTecnico, "sessao_id"), sessaoId);

    const QString registered = client->PostAs(cliente, "registrar_conexao.php",
        {{"sessao_id", sessaoId}, {"codigo_id", codeId}, {"papel", "cliente"}, {"ip_local", "192.168.0.10"}, {"porta", "50555"}});
    ASSERT_TRUE(IsOk(registered)) << registered.toStdString();
    EXPECT_EQ(Field(registered, "sessao_id"), sessaoId);

    for (const QString& asIs : {Status(*client, tecnico, codeId), Status(*client, tecnico)}) {
        EXPECT_EQ(Field(asIs, "status"), "aceito") << asIs.toStdString();
        EXPECT_EQ(Field(asIs, "papel"), "tecnico");
        EXPECT_EQ(Field(asIs, "id"), codeId);
        EXPECT_EQ(Field(asIs, "sessao_id"), sessaoId);
        EXPECT_EQ(Field(asIs, "ip_cliente"), "127.0.0.1");
        EXPECT_EQ(Field(asIs, "ip_local_cliente"), "192.168.0.10");
        EXPECT_EQ(Field(asIs, "porta_cliente"), "50555");
        EXPECT_EQ(Field(asIs, "ip_atual"), "127.0.0.1");
    }

    EXPECT_TRUE(IsOk(client->PostAs(tecnico, "encerrar_sessao.php", {{"sessao_id", sessaoId}, {"motivo", "tecnico"}})));
    EXPECT_EQ(Field(Status(*client, cliente, codeId), "status"), "encerrado");
    EXPECT_EQ(Field(Status(*client, tecnico, codeId), "status"), "encerrado");
    EXPECT_EQ(Field(client->PostAs(cliente, "credenciais_sessao.php", {{"sessao_id", sessaoId}}), "erro"),
              "sessao_indisponivel");

    const std::string log = server.Log();
    for (const QString& secret : {cliente.token, tecnico.token, Field(keyCliente, "stream_key")})
        EXPECT_EQ(log.find(secret.toStdString()), std::string::npos) << "a secret reached the log";
}

TEST_F(ContractTest, ARefusalIsSeenByBothDevices)
{
    const TestDevice cliente = client->Activate("Ana", "ana@example.com", "uid-a");
    const TestDevice tecnico = client->Activate("Beto", "beto@example.com", "uid-b");
    const QString codeId = RequestAccess(cliente, tecnico);
    const QString answer = client->PostAs(cliente, "responder_acesso.php", {{"acao", "recusar"}, {"codigo_id", codeId}});
    ASSERT_TRUE(IsOk(answer)) << answer.toStdString();
    EXPECT_EQ(Field(answer, "sessao_id"), "");
    EXPECT_EQ(Field(Status(*client, cliente, codeId), "status"), "recusado");
    EXPECT_EQ(Field(Status(*client, tecnico, codeId), "status"), "recusado");
}

// Older programs announce nothing; an unknown version counts as none.
TEST_F(ContractTest, TheLinkVersionIsTwoOnlyWhenBothSidesAnnounceIt)
{
    const TestDevice cliente = client->Activate("Ana", "ana@example.com", "uid-a");
    const TestDevice tecnico = client->Activate("Beto", "beto@example.com", "uid-b");
    const struct {
        const char* tecnico;
        const char* cliente;
        const char* versao;
    } cases[] = {{"2", "2", "2"}, {"2", "", "1"}, {"", "2", "1"}, {"", "", "1"}, {"3", "2", "1"}};
    for (const auto& c : cases) {
        const QString sessaoId = OpenSession(cliente, tecnico, nullptr, c.tecnico, c.cliente);
        for (const TestDevice* side : {&cliente, &tecnico})
            EXPECT_EQ(Field(client->PostAs(*side, "credenciais_sessao.php", {{"sessao_id", sessaoId}}), "versao_link"),
                      c.versao) << c.tecnico << "/" << c.cliente;
        client->PostAs(cliente, "encerrar_sessao.php", {{"sessao_id", sessaoId}});
    }
}

// The store's answer for each version: a Join of the session's version with
// the right key pairs, a wrong key or the other version's Join does not, and
// an ended session no longer pairs.
TEST_F(ContractTest, TheRelayPairsOnlyWhatTheStoreAccepted)
{
    if (server.RelayPort() == 0)
        GTEST_SKIP() << "this server was built without the relay";
    const TestDevice cliente = client->Activate("Ana", "ana@example.com", "uid-a");
    const TestDevice tecnico = client->Activate("Beto", "beto@example.com", "uid-b");
    for (const QString versao : {"1", "2"}) {
        const QString id = OpenSession(cliente, tecnico, nullptr, versao, versao);
        const std::string sessaoId = id.toStdString();
        const std::string key =
            Field(client->PostAs(cliente, "credenciais_sessao.php", {{"sessao_id", id}}), "stream_key").toStdString();
        const bool v2 = versao == "2";
        // Sends a Join of the given version; the first reply that is not a challenge.
        const auto join = [&](RelayWire& side, bool asV2, const std::string& withKey, const char* role) {
            if (!asV2)
                side.Send(JoinLine(sessaoId, withKey, role));
            else if (SendJoinV2(side, sessaoId, withKey, role).empty())
                return std::string("no challenge");
            return side.ReadLine();
        };
        RelayWire wrong(server.RelayPort());
        EXPECT_EQ(join(wrong, v2, std::string(key.size(), '0'), "cliente"), "ERR|sessao nao autorizada\n");
        RelayWire otherVersion(server.RelayPort());
        EXPECT_EQ(join(otherVersion, !v2, key, "cliente"), "ERR|sessao nao autorizada\n");

        RelayWire sideA(server.RelayPort());
        RelayWire sideB(server.RelayPort());
        EXPECT_NE(join(sideA, v2, key, "cliente").find("AGUARDANDO"), std::string::npos);
        EXPECT_NE(join(sideB, v2, key, "tecnico").find("CONECTADO"), std::string::npos);

        EXPECT_TRUE(IsOk(client->PostAs(cliente, "encerrar_sessao.php", {{"sessao_id", id}, {"motivo", "cliente"}})));
        RelayWire late(server.RelayPort());
        EXPECT_EQ(join(late, v2, key, "cliente").rfind("ERR|", 0), 0u) << "an ended session no longer pairs";
    }
}

TEST_F(ContractTest, PagesAnswerTheVersionDownloadAndHelp)
{
    EXPECT_EQ(client->Get("/versao.php?t=123.45"), "116,116");
    EXPECT_TRUE(client->Get("/download.html").contains("Baixar o Marquelin"));
    EXPECT_TRUE(client->Get("/ajuda").contains("Ajuda do Marquelin"));
    EXPECT_EQ(client->Get("/healthz"), "ok\n");
}

class VersionOptionsTest : public ServerTest {
protected:
    VersionOptionsTest() : ServerTest(LooseLimits({"--latest-build", "117", "--min-build", "110"})) {}
};

TEST_F(VersionOptionsTest, TheVersionComesFromTheCommandLine)
{
    EXPECT_EQ(client->Get("/versao.php"), "117,110");
}
