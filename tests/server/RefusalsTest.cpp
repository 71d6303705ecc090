// Every reason the service refuses with, each where the program meets it.
#include "ServerTestSetup.h"

#include <thread>

using namespace server_tests;

namespace {

// One request and the answer it must get; rows run in order, so a row may
// rely on those before it. No device: a request without the account part.
struct Row {
    const TestDevice* who;
    const char* endpoint;
    Fields fields;
    const char* erro;  // "(ok)" for success
};

class RefusalsTest : public ServerTest {
protected:
    RefusalsTest() : ServerTest(LooseLimits({"--code-ttl", "2", "--mail-interval", "60"})) {}

    void SetUp() override { ActivateBoth(); }

    void Expect(const std::vector<Row>& rows)
    {
        for (const Row& row : rows) {
            const QString reply = row.who ? PostAs(*row.who, row.endpoint, row.fields)
                                          : Post(row.endpoint, row.fields);
            EXPECT_EQ(Erro(reply), row.erro) << row.endpoint << " " << EncodeForm(row.fields).toStdString();
        }
    }
};

}  // namespace

TEST_F(RefusalsTest, TheAccountPartMustBeCompleteAndBelongTogether)
{
    QString wrongToken = cliente.token;
    wrongToken[0] = wrongToken[0] == 'a' ? 'b' : 'a';
    const struct {
        QString TestDevice::*part;
        QString value;
        const char* erro;
    } cases[] = {
        {&TestDevice::token, "", "autenticacao_incompleta"},
        {&TestDevice::email, "  ", "autenticacao_incompleta"},
        {&TestDevice::token, wrongToken, "token_invalido"},
        {&TestDevice::uid, tecnico.uid, "token_invalido"},
        {&TestDevice::email, tecnico.email, "token_invalido"},
        // The e-mail is matched without regard to case or surrounding spaces.
        {&TestDevice::email, " ANA@example.COM ", "(ok)"},
    };
    for (const auto& c : cases) {
        TestDevice device = cliente;
        device.*c.part = c.value;
        EXPECT_EQ(Erro(PostAs(device, "gerar_codigo.php")), c.erro) << c.value.toStdString();
    }
}

TEST_F(RefusalsTest, SupportCodesRefuseTheirOwnDeviceASecondTechnicianAndDeadCodes)
{
    const TestDevice third = Activate("Cida", "cida@example.com", "uid-c");
    const QString code = PostAs(cliente, "gerar_codigo.php");
    const Fields typed = {{"codigo", Field(code, "codigo")}};
    Expect({
        {nullptr, "cadastro.php", {{"nome", "Caio"}, {"email", "sem-arroba"}}, "dados_invalidos"},
        {nullptr, "cadastro.php", {{"nome", "  "}, {"email", "caio@example.com"}}, "dados_invalidos"},
        {nullptr, "cadastro.php", {{"nome", "Caio"}, {"email", "caio@example.com"}}, "(ok)"},
        // One mail per interval to a mailbox, however its address is written.
        {nullptr, "cadastro.php", {{"nome", "Caio"}, {"email", "CAIO@example.com"}}, "muitas_tentativas"},
        {&cliente, "solicitar_acesso.php", typed, "nao_pode_acessar_propria_maquina"},
        {&tecnico, "solicitar_acesso.php", typed, "(ok)"},
        {&tecnico, "solicitar_acesso.php", typed, "(ok)"},  // asking again is fine
        {&third, "solicitar_acesso.php", typed, "codigo_indisponivel"},
        {&tecnico, "solicitar_acesso.php", {{"codigo", "000 000 000"}}, "codigo_invalido_ou_expirado"},
        {&tecnico, "solicitar_acesso.php", {{"codigo", ""}}, "codigo_invalido_ou_expirado"},
    });
    EXPECT_EQ(server.OutboxCodes("caio@example.com").size(), 1u);

    // A new code ends the device's older one.
    const QString newer = PostAs(cliente, "gerar_codigo.php");
    EXPECT_EQ(Field(Status(cliente, Field(code, "codigo_id")), "status"), "encerrado");
    Expect({{&third, "solicitar_acesso.php", typed, "codigo_invalido_ou_expirado"}});

    // An unused code expires (2 s here) and then reads as ended.
    std::this_thread::sleep_for(std::chrono::milliseconds(2200));
    Expect({{&third, "solicitar_acesso.php", {{"codigo", Field(newer, "codigo")}}, "codigo_invalido_ou_expirado"}});
    EXPECT_EQ(Field(Status(cliente), "status"), "encerrado");
}

TEST_F(RefusalsTest, OnlyTheCodesOwnDeviceAnswersAndOnlyPermitOrRefuse)
{
    const QString codeId = RequestAccess();
    auto answer = [](const char* acao, const QString& id) { return Fields{{"acao", acao}, {"codigo_id", id}}; };
    Expect({
        {&cliente, "responder_acesso.php", answer("talvez", codeId), "acao_invalida"},
        {&tecnico, "responder_acesso.php", answer("permitir", codeId), "solicitacao_indisponivel"},
        {&cliente, "responder_acesso.php", answer("permitir", ""), "solicitacao_indisponivel"},
        {&cliente, "responder_acesso.php", answer("permitir", codeId), "(ok)"},
        {&cliente, "responder_acesso.php", answer("recusar", codeId), "solicitacao_indisponivel"},  // answered once
    });
    // Nobody asked for this one yet; once asked, a refusal is seen by both devices.
    const QString fresh = Field(PostAs(cliente, "gerar_codigo.php"), "codigo_id");
    Expect({{&cliente, "responder_acesso.php", answer("permitir", fresh), "solicitacao_indisponivel"}});
    const QString refused = RequestAccess();
    ExpectFields(PostAs(cliente, "responder_acesso.php", answer("recusar", refused)), {{"ok", "true"}, {"sessao_id", ""}});
    for (const TestDevice* device : {&cliente, &tecnico})
        EXPECT_EQ(Field(Status(*device, refused), "status"), "recusado");
}

// The third device is another account's on the cliente's computer: its
// device id carries none of the cliente's device, token or session over.
TEST_F(RefusalsTest, SessionsServeOnlyTheirTwoDevicesWhileOpen)
{
    Expect({{&cliente, "credenciais_sessao.php", {{"sessao_id", ""}, {"codigo_id", ""}}, "sessao_indisponivel"}});
    QString codeId;
    const QString sessaoId = OpenSession(&codeId);
    const TestDevice third = Activate("Cida", "cida@example.com", cliente.uid);
    EXPECT_EQ(Field(PostAs(third, "status_codigo.php"), "status"), "sem_codigo");
    auto registration = [&](const char* papel, const char* porta) {
        return Fields{{"sessao_id", sessaoId}, {"codigo_id", codeId}, {"papel", papel}, {"ip_local", "10.0.0.5"},
                      {"porta", porta}};
    };
    const Fields session = {{"sessao_id", sessaoId}, {"motivo", "cliente"}};
    Expect({
        {&third, "credenciais_sessao.php", session, "sessao_indisponivel"},
        {&third, "encerrar_sessao.php", session, "sessao_indisponivel"},
        {&third, "gerar_codigo.php", {}, "(ok)"},
        {&cliente, "credenciais_sessao.php", session, "(ok)"},
        {&cliente, "encerrar_sessao.php", {{"sessao_id", "999999"}, {"motivo", "x"}}, "sessao_indisponivel"},
        {&cliente, "registrar_conexao.php", registration("tecnico", "50555"), "acao_invalida"},
        {&tecnico, "registrar_conexao.php", registration("cliente", "50555"), "sessao_indisponivel"},  // the cliente only
        {&cliente, "registrar_conexao.php", registration("cliente", "70000"), "dados_invalidos"},
        {&cliente, "registrar_conexao.php", registration("cliente", "50555"), "(ok)"},
        {&cliente, "encerrar_sessao.php", session, "(ok)"},
        {&tecnico, "encerrar_sessao.php", session, "(ok)"},  // ending twice is harmless
        {&cliente, "registrar_conexao.php", registration("cliente", "50555"), "sessao_indisponivel"},
        {&tecnico, "credenciais_sessao.php", session, "sessao_indisponivel"},
    });
}
