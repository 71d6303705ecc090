// Every reason the service refuses with, each where the program meets it.
#include "ServerTestSetup.h"

#include <thread>

using namespace server_tests;

namespace {

class RefusalsTest : public ServerTest {
protected:
    RefusalsTest() : ServerTest(LooseLimits({"--code-ttl", "2"})) {}

    void SetUp() override
    {
        cliente = client->Activate("Ana", "ana@example.com", "uid-a");
        tecnico = client->Activate("Beto", "beto@example.com", "uid-b");
    }

    QString Erro(const QString& reply) { return IsOk(reply) ? QString("(ok)") : Field(reply, "erro"); }

    TestDevice cliente;
    TestDevice tecnico;
};

}  // namespace

TEST_F(RefusalsTest, TheAccountPartMustBeCompleteAndBelongTogether)
{
    TestDevice noToken = cliente;
    noToken.token.clear();
    TestDevice noEmail = cliente;
    noEmail.email = "  ";
    EXPECT_EQ(Erro(client->PostAs(noToken, "validar_token.php")), "autenticacao_incompleta");
    EXPECT_EQ(Erro(client->PostAs(noEmail, "gerar_codigo.php")), "autenticacao_incompleta");

    TestDevice wrongToken = cliente;
    wrongToken.token[0] = wrongToken.token[0] == 'a' ? 'b' : 'a';
    TestDevice otherDevice = cliente;
    otherDevice.uid = tecnico.uid;
    TestDevice otherEmail = cliente;
    otherEmail.email = tecnico.email;
    for (const TestDevice& d : {wrongToken, otherDevice, otherEmail})
        EXPECT_EQ(Erro(client->PostAs(d, "status_codigo.php")), "token_invalido");

    // The e-mail is matched without regard to case or surrounding spaces.
    TestDevice sameEmail = cliente;
    sameEmail.email = " ANA@example.COM ";
    EXPECT_EQ(Erro(client->PostAs(sameEmail, "validar_token.php")), "(ok)");
}

TEST_F(RefusalsTest, SignUpsNeedANameAndAnEMailAddress)
{
    EXPECT_EQ(Erro(client->Post("cadastro.php", {{"nome", "Caio"}, {"email", "sem-arroba"}})), "dados_invalidos");
    EXPECT_EQ(Erro(client->Post("cadastro.php", {{"nome", "  "}, {"email", "caio@example.com"}})), "dados_invalidos");
}

TEST_F(RefusalsTest, SupportCodesRefuseTheirOwnDeviceASecondTechnicianAndDeadCodes)
{
    const TestDevice third = client->Activate("Cida", "cida@example.com", "uid-c");
    const QString code = client->PostAs(cliente, "gerar_codigo.php");
    const QString typed = Field(code, "codigo");
    EXPECT_EQ(Erro(client->PostAs(cliente, "solicitar_acesso.php", {{"codigo", typed}})), "nao_pode_acessar_propria_maquina");
    EXPECT_EQ(Erro(client->PostAs(tecnico, "solicitar_acesso.php", {{"codigo", typed}})), "(ok)");
    EXPECT_EQ(Erro(client->PostAs(tecnico, "solicitar_acesso.php", {{"codigo", typed}})), "(ok)") << "asking again is fine";
    EXPECT_EQ(Erro(client->PostAs(third, "solicitar_acesso.php", {{"codigo", typed}})), "codigo_indisponivel");
    EXPECT_EQ(Erro(client->PostAs(tecnico, "solicitar_acesso.php", {{"codigo", "000 000 000"}})),
              "codigo_invalido_ou_expirado");
    EXPECT_EQ(Erro(client->PostAs(tecnico, "solicitar_acesso.php", {{"codigo", ""}})), "codigo_invalido_ou_expirado");

    // A new code ends the device's older one.
    const QString newer = client->PostAs(cliente, "gerar_codigo.php");
    EXPECT_EQ(Field(client->PostAs(cliente, "status_codigo.php", {{"codigo_id", Field(code, "codigo_id")}}), "status"),
              "encerrado");
    EXPECT_EQ(Erro(client->PostAs(third, "solicitar_acesso.php", {{"codigo", typed}})), "codigo_invalido_ou_expirado");

    // An unused code expires (2 s here) and then reads as ended.
    std::this_thread::sleep_for(std::chrono::milliseconds(2200));
    EXPECT_EQ(Erro(client->PostAs(third, "solicitar_acesso.php", {{"codigo", Field(newer, "codigo")}})),
              "codigo_invalido_ou_expirado");
    EXPECT_EQ(Field(client->PostAs(cliente, "status_codigo.php"), "status"), "encerrado");
}

TEST_F(RefusalsTest, OnlyTheCodesOwnDeviceAnswersAndOnlyPermitOrRefuse)
{
    const QString codeId = RequestAccess(cliente, tecnico);
    EXPECT_EQ(Erro(client->PostAs(cliente, "responder_acesso.php", {{"acao", "talvez"}, {"codigo_id", codeId}})),
              "acao_invalida");
    EXPECT_EQ(Erro(client->PostAs(tecnico, "responder_acesso.php", {{"acao", "permitir"}, {"codigo_id", codeId}})),
              "solicitacao_indisponivel");
    EXPECT_EQ(Erro(client->PostAs(cliente, "responder_acesso.php", {{"acao", "permitir"}, {"codigo_id", ""}})),
              "solicitacao_indisponivel");
    EXPECT_EQ(Erro(client->PostAs(cliente, "responder_acesso.php", {{"acao", "permitir"}, {"codigo_id", codeId}})), "(ok)");
    EXPECT_EQ(Erro(client->PostAs(cliente, "responder_acesso.php", {{"acao", "recusar"}, {"codigo_id", codeId}})),
              "solicitacao_indisponivel")
        << "answered once";

    const QString fresh = Field(client->PostAs(cliente, "gerar_codigo.php"), "codigo_id");
    EXPECT_EQ(Erro(client->PostAs(cliente, "responder_acesso.php", {{"acao", "permitir"}, {"codigo_id", fresh}})),
              "solicitacao_indisponivel")
        << "nobody asked";
}

TEST_F(RefusalsTest, SessionsServeOnlyTheirTwoDevicesWhileOpen)
{
    const TestDevice third = client->Activate("Cida", "cida@example.com", "uid-c");
    EXPECT_EQ(Erro(client->PostAs(cliente, "credenciais_sessao.php", {{"sessao_id", ""}, {"codigo_id", ""}})),
              "sessao_indisponivel");
    QString codeId;
    const QString sessaoId = OpenSession(cliente, tecnico, &codeId);
    EXPECT_EQ(Erro(client->PostAs(third, "credenciais_sessao.php", {{"sessao_id", sessaoId}})), "sessao_indisponivel");
    EXPECT_EQ(Erro(client->PostAs(third, "encerrar_sessao.php", {{"sessao_id", sessaoId}, {"motivo", "x"}})),
              "sessao_indisponivel");
    EXPECT_EQ(Erro(client->PostAs(cliente, "encerrar_sessao.php", {{"sessao_id", "999999"}, {"motivo", "x"}})),
              "sessao_indisponivel");

    auto registration = [&](const TestDevice& d, const QString& papel, const QString& porta) {
        return client->PostAs(d, "registrar_conexao.php", {{"sessao_id", sessaoId}, {"codigo_id", codeId},
                                                           {"papel", papel}, {"ip_local", "10.0.0.5"}, {"porta", porta}});
    };
    EXPECT_EQ(Erro(registration(cliente, "tecnico", "50555")), "acao_invalida");
    EXPECT_EQ(Erro(registration(tecnico, "cliente", "50555")), "sessao_indisponivel") << "the cliente only";
    EXPECT_EQ(Erro(registration(cliente, "cliente", "70000")), "dados_invalidos");
    EXPECT_EQ(Erro(registration(cliente, "cliente", "50555")), "(ok)");

    EXPECT_EQ(Erro(client->PostAs(cliente, "encerrar_sessao.php", {{"sessao_id", sessaoId}, {"motivo", "cliente"}})), "(ok)");
    EXPECT_EQ(Erro(client->PostAs(tecnico, "encerrar_sessao.php", {{"sessao_id", sessaoId}, {"motivo", "tecnico"}})), "(ok)")
        << "ending twice is harmless";
    EXPECT_EQ(Erro(registration(cliente, "cliente", "50555")), "sessao_indisponivel");
    EXPECT_EQ(Erro(client->PostAs(tecnico, "credenciais_sessao.php", {{"sessao_id", sessaoId}})), "sessao_indisponivel");
}
