// Two devices through the whole contract, over real HTTPS, read with the
// program's own transport and JSON reader.
#include "ServerTestSetup.h"

#include <QRegularExpression>

#include <filesystem>

using namespace server_tests;
namespace fs = std::filesystem;

namespace {

// Started with a version of its own, to see the options reach the version page.
class ContractTest : public ServerTest {
protected:
    ContractTest() : ServerTest(LooseLimits({"--latest-build", "117", "--min-build", "110"})) {}
};

// The data folder and everything in it whose mode lets anyone but the owner in.
std::vector<std::string> OpenToOthers(const std::string& dataDir)
{
    std::vector<fs::path> paths{dataDir};
    paths.insert(paths.end(), fs::recursive_directory_iterator(dataDir), fs::recursive_directory_iterator());
    std::vector<std::string> open;
    for (const fs::path& path : paths) {
        if ((fs::symlink_status(path).permissions() & fs::perms(077)) != fs::perms::none)
            open.push_back(path.filename());
    }
    return open;
}

}  // namespace

// What the service acknowledged survives kill -9 and a clean restart, and
// only the server's own user can read its data folder, whatever modes it
// was left with.
TEST_F(ContractTest, TwoDevicesGoFromSignUpToTheEndOfASessionThroughACrashAndARestart)
{
    const TestDevice first = Activate("Maria Cliente", "Maria@Example.com", "uid-cliente");
    cliente = Activate("Maria Cliente", "Maria@Example.com", "uid-cliente");
    EXPECT_EQ(Erro(PostAs(first, "validar_token.php")), "token_invalido") << "activated again: a new token";
    // A name with ã travels as one ISO-8859-1 byte and comes back as UTF-8.
    const QString joao = QString::fromUtf8("João Técnico");
    tecnico = Activate(joao, "joao@example.com", "uid-tecnico");
    ASSERT_GE(tecnico.token.size(), 32) << "at least 128 bits, in hex";
    EXPECT_EQ(OpenToOthers(server.DataDir()), std::vector<std::string>());

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
    // Still pending at the crash: another code of the cliente's, and a sign-up.
    const QString pending = PostAs(cliente, "gerar_codigo.php");
    ASSERT_TRUE(IsOk(Post("cadastro.php", {{"nome", "Caio"}, {"email", "caio@example.com"}})));

    server.Kill9();
    ASSERT_TRUE(server.Running());
    EXPECT_TRUE(IsOk(PostAs(cliente, "validar_token.php")));
    for (const QString& asIs : {Status(tecnico, codeId), Status(tecnico)})
        ExpectFields(asIs, {{"status", "aceito"}, {"papel", "tecnico"}, {"id", codeId}, {"sessao_id", sessaoId},
                            {"ip_cliente", "127.0.0.1"}, {"ip_local_cliente", "192.168.0.10"},
                            {"porta_cliente", "50555"}, {"ip_atual", "127.0.0.1"}});
    EXPECT_TRUE(IsOk(PostAs(tecnico, "solicitar_acesso.php", {{"codigo", Field(pending, "codigo")}})));
    EXPECT_TRUE(IsOk(Post("ativar.php", {{"email", "caio@example.com"}, {"dispositivo_uid", "uid-c"},
                                         {"codigo", QString::fromStdString(server.LatestCode("caio@example.com"))}})));

    server.Stop();
    EXPECT_EQ(server.ExitCode(), 0) << "SIGTERM ends the server cleanly";
    for (const auto& entry : fs::recursive_directory_iterator(server.DataDir()))
        fs::permissions(entry.path(), entry.is_directory() ? fs::perms(0755) : fs::perms(0644));
    fs::permissions(server.DataDir(), fs::perms(0755));
    server.Start();
    ASSERT_TRUE(server.Running());
    EXPECT_EQ(OpenToOthers(server.DataDir()), std::vector<std::string>()) << "loose modes are tightened";
    ExpectFields(Status(cliente, Field(pending, "codigo_id")), {{"status", "solicitado"}, {"tecnico_nome", joao}});
    ExpectFields(PostAs(tecnico, "credenciais_sessao.php", {{"sessao_id", sessaoId}}), {{"stream_key", key}});

    EXPECT_TRUE(IsOk(PostAs(tecnico, "encerrar_sessao.php", {{"sessao_id", sessaoId}, {"motivo", "tecnico"}})));
    for (const TestDevice* device : {&cliente, &tecnico})
        EXPECT_EQ(Field(Status(*device, codeId), "status"), "encerrado");

    const std::string log = server.Log();
    for (const QString& secret : {cliente.token, tecnico.token, key})
        EXPECT_EQ(log.find(secret.toStdString()), std::string::npos) << "a secret reached the log";
}

// Older programs announce nothing and an unknown version counts as none.
// The relay then pairs only a Join of the agreed version with the right key,
// and only while the session is open.
TEST_F(ContractTest, TheRelayPairsOnlyJoinsOfTheVersionBothSidesAnnounced)
{
    ActivateBoth();
    const struct {
        const char* tecnico;
        const char* cliente;
        const char* versao;
    } cases[] = {{"2", "2", "2"}, {"2", "", "1"}, {"", "2", "1"}, {"", "", "1"},
                 {"4", "2", "1"}, {"3", "3", "3"}, {"3", "2", "2"}, {"", "3", "1"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.tecnico) + "/" + c.cliente);
        const QString sessaoId = OpenSession(nullptr, c.tecnico, c.cliente);
        std::string key;
        for (const TestDevice* side : {&cliente, &tecnico}) {
            const QString credentials = PostAs(*side, "credenciais_sessao.php", {{"sessao_id", sessaoId}});
            EXPECT_EQ(Field(credentials, "versao_link"), c.versao);
            key = Field(credentials, "stream_key").toStdString();
        }
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
        const bool v2 = c.versao != std::string("1");
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
    EXPECT_EQ(Http("GET", "/versao.php?t=123.45"), "117,110");
    EXPECT_TRUE(Http("GET", "/download.html").contains("Baixar o Marquelin"));
    EXPECT_TRUE(Http("GET", "/ajuda").contains("Ajuda do Marquelin"));
    EXPECT_EQ(Http("GET", "/healthz"), "ok\n");
}
