#include "core/session/SessionCredentials.h"
#include "support/CannedService.h"
#include "support/LinkPair.h"
#include "support/MainWindowHarness.h"

#include <gtest/gtest.h>

using session::EnderecoUtil;
using session::IpPrivado;
using testing_support::CannedService;
using testing_support::MainWindowHarness;

TEST(EnderecoUtil, TreatsEmptyNullAndUnspecifiedAsAbsent)
{
    EXPECT_TRUE(EnderecoUtil(" 10.0.0.5 "));
    EXPECT_TRUE(EnderecoUtil("50555"));
    for (const char* absent : {"", "   ", "null", "NuLL", "0.0.0.0", " 0.0.0.0 "})
        EXPECT_FALSE(EnderecoUtil(absent)) << absent;
}

TEST(IpPrivado, LooksOnlyAtTheFirstTwoParts)
{
    EXPECT_TRUE(IpPrivado("172.16.x.y"));
    EXPECT_TRUE(IpPrivado("10.1.2.3"));
    EXPECT_TRUE(IpPrivado(" 192.168.0.10 "));
    EXPECT_FALSE(IpPrivado("172.32.0.1"));
    EXPECT_FALSE(IpPrivado("192.169.0.1"));
    EXPECT_FALSE(IpPrivado("10.0.1"));
    EXPECT_FALSE(IpPrivado("a.b.c.d"));
}

namespace {

// A technician whose credentials are refused, so reading the addresses
// never leads to a real connection attempt.
class TargetChoice : public ::testing::Test {
protected:
    void SetUp() override
    {
        device.SaveAccount();
        device.w().s.papel = "tecnico";
        device.w().s.sessao_id = "s1";
    }
    void Read(const QString& publico, const QString& atual, const QString& local, const QString& porta = "50555")
    {
        device.w().creds.ReceberDadosTela(QString(R"({"ok":true,"ip_cliente":"%1","ip_atual":"%2","ip_local_cliente":"%3","porta_cliente":"%4"})")
                                              .arg(publico, atual, local, porta));
    }
    const session::SessionRecord& s() { return device.w().s; }
    QString first() { return device.w().c.txtTelaIp.text(); }

    CannedService service;
    MainWindowHarness device;
};

}  // namespace

TEST_F(TargetChoice, SameNetworkGoesToTheLocalAddressFirst)
{
    Read("203.0.113.5", "203.0.113.5", "192.168.0.10");
    EXPECT_EQ(first(), "192.168.0.10");
    EXPECT_EQ(s().IpAlternativo, "203.0.113.5");
    EXPECT_EQ(s().PortaAlternativa, 50555);
    EXPECT_TRUE(s().DestinoPrivado);
    EXPECT_TRUE(s().DadosTelaRecebidos);
    EXPECT_TRUE(device.w().log.text().contains("Tela do cliente localizada."));
    EXPECT_TRUE(device.w().log.text().contains("Aguardando o cliente permitir o acesso."));
}

TEST_F(TargetChoice, OtherNetworksGoToThePublicAddressFirst)
{
    Read("203.0.113.5", "198.51.100.7", "192.168.0.10");
    EXPECT_EQ(first(), "203.0.113.5");
    EXPECT_EQ(s().IpAlternativo, "192.168.0.10");
    EXPECT_FALSE(s().DestinoPrivado);
}

TEST_F(TargetChoice, AMissingPublicAddressLeavesOnlyTheLocalOne)
{
    Read("null", "198.51.100.7", "10.0.0.5");
    EXPECT_EQ(first(), "10.0.0.5");
    EXPECT_TRUE(s().IpAlternativo.isEmpty());
    EXPECT_EQ(s().PortaAlternativa, 0);
    EXPECT_TRUE(s().DestinoPrivado);
}

TEST_F(TargetChoice, AnUnusablePortOrNoAddressReadsNothing)
{
    Read("203.0.113.5", "", "", "0.0.0.0");
    Read("203.0.113.5", "", "", "");
    Read("", "1.2.3.4", "0.0.0.0");
    EXPECT_FALSE(s().DadosTelaRecebidos);
    EXPECT_TRUE(first().isEmpty());
}

TEST_F(TargetChoice, ReadsOncePerRoute)
{
    Read("203.0.113.5", "", "");
    Read("198.51.100.9", "", "");
    EXPECT_EQ(first(), "203.0.113.5");
}

TEST(Registration, RenewsEverySixSecondsAndAtOnceWhenTheAddressChanges)
{
    CannedService service;
    MainWindowHarness device;
    device.SaveAccount();
    service.Reply("registrar_conexao.php", R"({"ok":true,"sessao_id":"s1"})");
    shell::frmMain& w = device.w();
    w.s.sessao_id = "s1";
    w.s.codigo_id = "c1";
    w.s.PapelTela = "cliente";
    w.s.TransmissaoIniciada = true;

    w.creds.RegistrarConexao("cliente", "", 50555, true);
    ASSERT_EQ(service.Count("registrar_conexao.php"), 1u);
    EXPECT_NE(service.Bodies("registrar_conexao.php")[0].find("&papel=cliente&ip_local=0.0.0.0&porta=50555"),
              std::string::npos);
    EXPECT_EQ(w.s.IpRegistrado, "0.0.0.0");

    // The machine's real address differs from the one registered: at once.
    w.creds.AtualizarRotaLocal();
    const size_t afterChange = service.Count("registrar_conexao.php");
    EXPECT_EQ(afterChange, w.s.IpRegistrado == "0.0.0.0" ? 1u : 2u);
    if (w.s.IpRegistrado == "0.0.0.0")
        GTEST_SKIP() << "this machine has no usable IPv4 address to register";
    EXPECT_TRUE(w.log.text().contains("Rota local atualizada automaticamente."));

    device.clock.Advance(5.9f);
    w.creds.AtualizarRotaLocal();
    EXPECT_EQ(service.Count("registrar_conexao.php"), afterChange);
    device.clock.Advance(0.1f);
    w.creds.AtualizarRotaLocal();
    EXPECT_EQ(service.Count("registrar_conexao.php"), afterChange + 1);
}

TEST(Registration, AFailureIsLoggedOnlyWhenAsked)
{
    CannedService service;
    MainWindowHarness device;
    device.SaveAccount();
    device.w().s.sessao_id = "s1";
    device.w().creds.RegistrarConexao("cliente", "10.0.0.1", 1, false);
    EXPECT_TRUE(device.w().log.text().isEmpty());
    device.w().creds.RegistrarConexao("cliente", "10.0.0.1", 1, true);
    EXPECT_TRUE(device.w().log.text().contains("Nao foi possivel preparar a conexao."));
    EXPECT_TRUE(device.w().s.IpRegistrado.isEmpty());
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
    device.w().c.txtTelaPorta.setText(QString::number(testing_support::LinkPair::FreePort()));
    device.w().routes.cmdClienteTransmitirTela_Click();
    EXPECT_TRUE(s.TransmissaoIniciada);
    EXPECT_TRUE(s.IpRegistrado.isEmpty());
    EXPECT_EQ(s.PortaRegistrada, 0);
}
