// Two devices through the whole contract, over real HTTPS, read with the
// program's own transport and JSON reader.
#include "ServerTestSetup.h"

#include <QRegularExpression>

using namespace server_tests;

namespace {

// Started with a version of its own, to see the options reach the version page.
class ContractTest : public ServerTest {
protected:
    ContractTest() : ServerTest(LooseLimits({"--latest-build", "117", "--min-build", "110"})) {}
};

}  // namespace

TEST_F(ContractTest, TwoDevicesGoFromSignUpToTheEndOfASession)
{
    cliente = Activate("Maria Cliente", "Maria@Example.com", "uid-cliente");
    // A name with ã travels as one ISO-8859-1 byte and comes back as UTF-8.
    const QString joao = QString::fromUtf8("João Técnico");
    tecnico = Activate(joao, "joao@example.com", "uid-tecnico");
    ASSERT_GE(tecnico.token.size(), 32) << "at least 128 bits, in hex";
    EXPECT_TRUE(IsOk(PostAs(cliente, "validar_token.php")));

    const QString code = PostAs(cliente, "gerar_codigo.php");
    const QString codeId = Field(code, "codigo_id");
    EXPECT_EQ(Field(code, "id"), codeId);
    EXPECT_TRUE(QRegularExpression("^\\d{3} \\d{3} \\d{3}$").match(Field(code, "codigo")).hasMatch()) << code.toStdString();
    // Without codigo_id: the device's latest code.
    ExpectFields(Status(cliente), {{"status", "aguardando"}, {"papel", "cliente"}, {"id", codeId}});

    // Typed without the spaces, as a technician might.
    const QString typed = Field(code, "codigo").remove(' ');
    EXPECT_EQ(Field(PostAs(tecnico, "solicitar_acesso.php", {{"codigo", typed}}), "codigo_id"), codeId);
    ExpectFields(Status(cliente, codeId), {{"status", "solicitado"}, {"papel", "cliente"}, {"tecnico_nome", joao}});
    ExpectFields(Status(tecnico, codeId), {{"status", "solicitado"}, {"papel", "tecnico"}});

    const QString answer = PostAs(cliente, "responder_acesso.php", {{"acao", "permitir"}, {"codigo_id", codeId}});
    const QString sessaoId = Field(answer, "sessao_id");
    ASSERT_FALSE(sessaoId.isEmpty()) << answer.toStdString();
    const QString keyCliente =
        PostAs(cliente, "credenciais_sessao.php", {{"sessao_id", sessaoId}, {"codigo_id", codeId}});
    const QString key = Field(keyCliente, "stream_key");
    EXPECT_GE(key.size(), 32);
    ExpectFields(keyCliente, {{"papel", "cliente"}});
    // The technician may know only the code id yet.
    ExpectFields(PostAs(tecnico, "credenciais_sessao.php", {{"sessao_id", ""}, {"codigo_id", codeId}}),
                 {{"papel", "tecnico"}, {"sessao_id", sessaoId}, {"stream_key", key}});

    ExpectFields(PostAs(cliente, "registrar_conexao.php",
                                {{"sessao_id", sessaoId}, {"codigo_id", codeId}, {"papel", "cliente"},
                                 {"ip_local", "192.168.0.10"}, {"porta", "50555"}}),
                 {{"ok", "true"}, {"sessao_id", sessaoId}});
    for (const QString& asIs : {Status(tecnico, codeId), Status(tecnico)})
        ExpectFields(asIs, {{"status", "aceito"}, {"papel", "tecnico"}, {"id", codeId}, {"sessao_id", sessaoId},
                            {"ip_cliente", "127.0.0.1"}, {"ip_local_cliente", "192.168.0.10"},
                            {"porta_cliente", "50555"}, {"ip_atual", "127.0.0.1"}});

    EXPECT_TRUE(IsOk(PostAs(tecnico, "encerrar_sessao.php", {{"sessao_id", sessaoId}, {"motivo", "tecnico"}})));
    for (const TestDevice* device : {&cliente, &tecnico})
        EXPECT_EQ(Field(Status(*device, codeId), "status"), "encerrado");

    const std::string log = server.Log();
    for (const QString& secret : {cliente.token, tecnico.token, key})
        EXPECT_EQ(log.find(secret.toStdString()), std::string::npos) << "a secret reached the log";
}

// Older programs announce nothing; an unknown version counts as none.
TEST_F(ContractTest, TheLinkVersionIsTwoOnlyWhenBothSidesAnnounceIt)
{
    ActivateBoth();
    const struct {
        const char* tecnico;
        const char* cliente;
        const char* versao;
    } cases[] = {{"2", "2", "2"}, {"2", "", "1"}, {"", "2", "1"}, {"", "", "1"}, {"3", "2", "1"}};
    for (const auto& c : cases) {
        const QString sessaoId = OpenSession(nullptr, c.tecnico, c.cliente);
        for (const TestDevice* side : {&cliente, &tecnico})
            EXPECT_EQ(Field(PostAs(*side, "credenciais_sessao.php", {{"sessao_id", sessaoId}}), "versao_link"), c.versao)
                << c.tecnico << "/" << c.cliente;
        PostAs(cliente, "encerrar_sessao.php", {{"sessao_id", sessaoId}});
    }
}

// For each version: a Join of the session's version with the right key
// pairs; a wrong key, the other version's Join and an ended session do not.
TEST_F(ContractTest, TheRelayPairsOnlyWhatTheStoreAccepted)
{
    ActivateBoth();
    for (const QString versao : {"1", "2"}) {
        const QString sessaoId = OpenSession(nullptr, versao, versao);
        const std::string key =
            Field(PostAs(cliente, "credenciais_sessao.php", {{"sessao_id", sessaoId}}), "stream_key").toStdString();
        // The first reply that is not a challenge.
        auto join = [&](bool v2, const std::string& streamKey, const char* role) {
            auto wire = std::make_unique<RelayWire>(server.RelayPort());
            if (!v2)
                wire->Send(JoinLine(sessaoId.toStdString(), streamKey, role));
            else
                EXPECT_FALSE(SendJoinV2(*wire, sessaoId.toStdString(), streamKey, role).empty());
            std::string reply = wire->ReadLine();
            return std::pair(std::move(wire), std::move(reply));
        };
        const bool v2 = versao == "2";
        EXPECT_EQ(join(v2, std::string(key.size(), '0'), "cliente").second, "ERR|sessao nao autorizada\n");
        EXPECT_EQ(join(!v2, key, "cliente").second, "ERR|sessao nao autorizada\n") << "the other version";
        const auto sideA = join(v2, key, "cliente");
        EXPECT_NE(sideA.second.find("AGUARDANDO"), std::string::npos);
        const auto sideB = join(v2, key, "tecnico");
        EXPECT_NE(sideB.second.find("CONECTADO"), std::string::npos);

        EXPECT_TRUE(IsOk(PostAs(cliente, "encerrar_sessao.php", {{"sessao_id", sessaoId}, {"motivo", "cliente"}})));
        EXPECT_EQ(join(v2, key, "cliente").second.rfind("ERR|", 0), 0u) << "an ended session no longer pairs";
    }
}

TEST_F(ContractTest, PagesAnswerTheVersionDownloadAndHelp)
{
    EXPECT_EQ(Get("/versao.php?t=123.45"), "117,110");
    EXPECT_TRUE(Get("/download.html").contains("Baixar o Marquelin"));
    EXPECT_TRUE(Get("/ajuda").contains("Ajuda do Marquelin"));
    EXPECT_EQ(Get("/healthz"), "ok\n");
}
