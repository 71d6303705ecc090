#include "core/account/Activation.h"
#include "core/api/ApiClient.h"
#include "core/api/FormEncoding.h"
#include "core/api/Json.h"
#include "core/session/SessionCredentials.h"
#include "support/CannedService.h"
#include "support/MainWindowHarness.h"
#include "support/ScopedEnv.h"
#include "support/ServerFixture.h"
#include "support/WaitUntil.h"

#include <gtest/gtest.h>

using testing_support::CannedService;
using testing_support::MainWindowHarness;
using testing_support::ScopedEnv;
using testing_support::WaitUntil;

TEST(AddressRules, UsableAndPrivateAddresses)
{
    EXPECT_TRUE(session::EnderecoUtil(" 10.0.0.5 "));
    EXPECT_TRUE(session::EnderecoUtil("50555"));
    for (const char* absent : {"", "   ", "null", "NuLL", "0.0.0.0", " 0.0.0.0 "})
        EXPECT_FALSE(session::EnderecoUtil(absent)) << absent;
    // Only the first two parts count.
    for (const char* yes : {"172.16.x.y", "10.1.2.3", " 192.168.0.10 "})
        EXPECT_TRUE(session::IpPrivado(yes)) << yes;
    for (const char* no : {"172.32.0.1", "192.169.0.1", "10.0.1", "a.b.c.d"})
        EXPECT_FALSE(session::IpPrivado(no)) << no;
}

namespace {

struct Targets {
    const char *publico, *atual, *local, *porta;
    const char *first, *alternative;  // "" when none
    bool privateFirst;
};

// Same network: the local address first; other networks: the public one;
// no public address: the local one alone; no usable port or address: nothing.
const Targets kTargets[] = {
    {"203.0.113.5", "203.0.113.5", "192.168.0.10", "50555", "192.168.0.10", "203.0.113.5", true},
    {"203.0.113.5", "198.51.100.7", "192.168.0.10", "50555", "203.0.113.5", "192.168.0.10", false},
    {"null", "198.51.100.7", "10.0.0.5", "50555", "10.0.0.5", "", true},
    {"203.0.113.5", "", "", "0.0.0.0", "", "", false},
    {"203.0.113.5", "", "", "", "", "", false},
    {"", "1.2.3.4", "0.0.0.0", "50555", "", "", false},
};

}  // namespace

TEST(TargetChoice, ReadsTheFirstAndAlternativeTargetsOncePerRoute)
{
    CannedService service;  // credentials refused: reading never leads to a connection
    for (const Targets& t : kTargets) {
        MainWindowHarness device;
        device.SaveAccount();
        device.w().s.papel = "tecnico";
        device.w().s.sessao_id = "s1";
        const auto read = [&](const QString& publico) {
            device.w().creds.ReceberDadosTela(
                QString(R"({"ok":true,"ip_cliente":"%1","ip_atual":"%2","ip_local_cliente":"%3","porta_cliente":"%4"})")
                    .arg(publico, t.atual, t.local, t.porta));
        };
        read(t.publico);
        if (device.w().s.DadosTelaRecebidos)
            read("198.51.100.9");  // once per route: a second reading changes nothing
        const session::SessionRecord& s = device.w().s;
        EXPECT_EQ(device.w().c.txtTelaIp.text(), t.first) << t.publico << " " << t.atual << " " << t.local;
        EXPECT_EQ(s.IpAlternativo, t.alternative) << t.first;
        EXPECT_EQ(s.PortaAlternativa, *t.alternative ? 50555 : 0) << t.first;
        EXPECT_EQ(s.DestinoPrivado, t.privateFirst) << t.first;
        EXPECT_EQ(s.DadosTelaRecebidos, *t.first != 0) << t.first;
        EXPECT_EQ(device.w().log.text().contains("Tela do cliente localizada."), *t.first != 0) << t.first;
    }
}

TEST(Registration, RenewsEverySixSecondsAndAtOnceWhenTheAddressChangesAndLogsAFailureOnlyWhenAsked)
{
    CannedService service;
    MainWindowHarness device;
    device.SaveAccount();
    shell::frmMain& w = device.w();
    w.s.sessao_id = "s1";
    w.creds.RegistrarConexao("cliente", "10.0.0.1", 1, false);
    EXPECT_TRUE(w.log.text().isEmpty());
    w.creds.RegistrarConexao("cliente", "10.0.0.1", 1, true);
    EXPECT_TRUE(w.log.text().contains("Nao foi possivel preparar a conexao."));
    EXPECT_TRUE(w.s.IpRegistrado.isEmpty());

    service.Reply("registrar_conexao.php", R"({"ok":true,"sessao_id":"s1"})");
    w.s.PapelTela = "cliente";
    w.s.TransmissaoIniciada = true;
    w.creds.RegistrarConexao("cliente", "", 50555, true);
    EXPECT_NE(service.Bodies("registrar_conexao.php").back().find("&papel=cliente&ip_local=0.0.0.0&porta=50555"),
              std::string::npos);
    EXPECT_EQ(w.s.IpRegistrado, "0.0.0.0");

    // The machine's real address differs from the one registered: at once.
    const size_t before = service.Count("registrar_conexao.php");
    w.creds.AtualizarRotaLocal();
    if (w.s.IpRegistrado == "0.0.0.0")
        GTEST_SKIP() << "this machine has no usable IPv4 address to register";
    EXPECT_EQ(service.Count("registrar_conexao.php"), before + 1);
    EXPECT_TRUE(w.log.text().contains("Rota local atualizada automaticamente."));
    device.clock.Advance(5.9f);
    w.creds.AtualizarRotaLocal();
    EXPECT_EQ(service.Count("registrar_conexao.php"), before + 1);
    device.clock.Advance(0.1f);
    w.creds.AtualizarRotaLocal();
    EXPECT_EQ(service.Count("registrar_conexao.php"), before + 2);
}

TEST(Registration, OpeningTheDirectRouteForgetsTheLastOne)
{
    CannedService service;
    service.Reply("registrar_conexao.php", R"({"ok":false})");
    MainWindowHarness device;
    device.SaveAccount();
    session::SessionRecord& s = device.w().s;
    s.sessao_id = "s1";
    s.stream_key = "k1";
    s.IpRegistrado = "10.0.0.1";
    s.PortaRegistrada = 50555;
    device.w().c.txtTelaPorta.setText("0");  // any free port
    device.w().routes.cmdClienteTransmitirTela_Click();
    EXPECT_TRUE(s.TransmissaoIniciada);
    EXPECT_TRUE(s.IpRegistrado.isEmpty());
    EXPECT_EQ(s.PortaRegistrada, 0);
}

// An older service names no link version: the session runs version 1.
TEST(Credentials, TheLinkVersionIsTwoOnlyWhenTheServiceSaysSo)
{
    CannedService service;
    MainWindowHarness device;
    device.SaveAccount();
    device.w().s.sessao_id = "s1";
    const std::pair<const char*, int> cases[] = {{R"(,"versao_link":"2")", 2}, {R"(,"versao_link":"3")", 1}, {"", 1}};
    for (const auto& [member, versao] : cases) {
        service.Reply("credenciais_sessao.php", QString(R"({"ok":true,"stream_key":"k"%1})").arg(member));
        EXPECT_TRUE(device.w().creds.ObterCredenciais());
        EXPECT_EQ(device.w().s.versao_link, versao) << member;
    }
}

// Two programs of this version agree on link version 2 through the real
// service and pair on the real relay by proof alone, no key on the wire.
TEST(Credentials, TwoCurrentProgramsAgreeOnVersionTwoAndPairOnTheRelayByProof)
{
    const testing_support::ServerFixture server;
    const ScopedEnv site("MARQUELIN_SITE", QByteArray::fromStdString(server.SiteOrigin()));
    const ScopedEnv ca("MARQUELIN_CA_FILE", QByteArray::fromStdString(server.CaFile()));
    const ScopedEnv relay("MARQUELIN_RELAY", QByteArray::fromStdString(server.RelayEndpoint()));
    MainWindowHarness cliente;
    MainWindowHarness tecnico;
    for (auto [device, email] : {std::pair{&cliente, "ana@example.com"}, {&tecnico, "beto@example.com"}}) {
        ASSERT_TRUE(api::JsonIsOk(api::ApiPost("cadastro.php", "nome=Ana" + api::FormField("email", email))));
        const QString code = QString::fromStdString(server.LatestCode(email));
        const QString body = account::ActivationBody(email, code, device->store.GetDeviceUid());
        device->SaveAccount("Ana", email, api::JsonGetValue(api::ApiPost("ativar.php", body), "token"));
    }
    cliente.w().code.GerarCodigo(false);
    tecnico.w().c.txtCodigoAcessar.setText(cliente.w().c.txtCodigoReceber.text());
    tecnico.w().access.cmdSolicitar_Click();
    cliente.w().status.ConsultarStatus();
    cliente.w().access.cmdPermitir_Click();
    ASSERT_TRUE(tecnico.w().creds.ObterCredenciais());
    EXPECT_EQ(cliente.w().s.versao_link + tecnico.w().s.versao_link, 4);

    cliente.w().s.RotaAutomatica = tecnico.w().s.RotaAutomatica = true;
    cliente.w().routes.IniciarRelayTcp("cliente");
    tecnico.w().routes.IniciarRelayTcp("tecnico");
    EXPECT_TRUE(WaitUntil([&] { return cliente.w().s.TelaConectada && tecnico.w().s.TelaConectada; }))
        << tecnico.w().log.text().toStdString();
    const std::string log = server.Log();
    EXPECT_NE(log.find("paired session=" + cliente.w().s.sessao_id.toStdString()), std::string::npos) << log;
}
