// Two devices, each a headless main window with its own settings, brokered
// by the real marquelin-server: sign-up and activation from the outbox, code,
// request, permit, credentials, the direct link, the relay, and the end.
#include "core/account/frmCadastro.h"
#include "support/MainWindowHarness.h"
#include "support/ScopedEnv.h"
#include "support/ServerFixture.h"
#include "support/WaitUntil.h"

#include <QTcpServer>
#include <gtest/gtest.h>

using testing_support::MainWindowHarness;
using testing_support::ScopedEnv;
using testing_support::ServerFixture;
using testing_support::WaitUntil;

namespace {

quint16 FreePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::AnyIPv4);
    return probe.serverPort();
}

class AgainstServer : public ::testing::Test {
protected:
    AgainstServer()
        : site("MARQUELIN_SITE", QByteArray::fromStdString(server.SiteOrigin())),
          ca("MARQUELIN_CA_FILE", QByteArray::fromStdString(server.CaFile())),
          relay("MARQUELIN_RELAY", QByteArray::fromStdString(server.RelayEndpoint()))
    {
    }

    void SetUp() override
    {
        ASSERT_TRUE(server.Running());
        SignUp(cliente, "Ana", "ana@example.com");
        SignUp(tecnico, "Bruno", "bruno@example.com");
        cliente.w().c.txtTelaPorta.setText(QString::number(FreePort()));
    }

    // Start-up without an account opens the sign-up window; its user fills
    // it in with the code from the mail.
    void SignUp(MainWindowHarness& device, const QString& nome, const QString& email)
    {
        device.dialogs.onCadastro = [&, nome, email](account::frmCadastro& form) {
            form.txtNome.setText(nome);
            form.txtEmail.setText(email);
            form.cmdCriar_Click();
            form.txtCodigo.setText(QString::fromStdString(server.LatestCode(email.toStdString())));
            form.cmdAtivar_Click();
        };
        ASSERT_TRUE(device.w().Load());
        EXPECT_EQ(device.dialogs.cadastroShown, 1);
        ASSERT_TRUE(device.w().ContaCompleta()) << device.dialogs.Texts().join('\n').toStdString();
    }

    static void Poll(MainWindowHarness& device) { device.w().status.tmrStatus_Timer(); }

    // Code on the supported side, request from the technician, permit.
    void Accepted()
    {
        ASSERT_FALSE(cliente.w().c.txtCodigoReceber.text().isEmpty());
        tecnico.w().c.txtCodigoAcessar.setText(cliente.w().c.txtCodigoReceber.text());
        tecnico.w().access.cmdSolicitar_Click();
        Poll(cliente);
        ASSERT_EQ(cliente.w().c.lblStatus.text(), "Bruno quer acessar este computador.");
        EXPECT_TRUE(cliente.w().c.lblStatus.look().bold);
        cliente.w().access.cmdPermitir_Click();
        Poll(cliente);
        Poll(tecnico);
    }

    bool BothValidated()
    {
        return WaitUntil([this] { return cliente.w().s.TelaConectada && tecnico.w().s.TelaConectada; });
    }

    ServerFixture server;
    ScopedEnv site, ca, relay;
    MainWindowHarness cliente, tecnico;
};

}  // namespace

TEST_F(AgainstServer, ASessionIsBrokeredLinkedDirectlyAndEndedByTheTechnician)
{
    Accepted();
    EXPECT_EQ(cliente.w().s.papel, "cliente");
    EXPECT_EQ(tecnico.w().s.papel, "tecnico");
    ASSERT_FALSE(cliente.w().s.sessao_id.isEmpty());
    EXPECT_EQ(cliente.w().s.sessao_id, tecnico.w().s.sessao_id);
    EXPECT_GE(cliente.w().s.stream_key.size(), 22) << "at least 128 bits";
    EXPECT_EQ(cliente.w().s.stream_key, tecnico.w().s.stream_key);
    EXPECT_TRUE(cliente.w().s.TransmissaoIniciada);
    // The technician's targets come from the supported side's registration.
    EXPECT_EQ(tecnico.w().c.txtTelaPorta.text(), cliente.w().c.txtTelaPorta.text());
    EXPECT_TRUE(tecnico.w().s.DadosTelaRecebidos);
    ASSERT_TRUE(BothValidated());
    EXPECT_FALSE(cliente.w().s.RelayAtivo);

    const QString firstCode = cliente.w().c.txtCodigoReceber.text();
    tecnico.w().end.cmdEncerrar_Click();
    EXPECT_TRUE(tecnico.w().s.sessao_id.isEmpty());
    ASSERT_TRUE(WaitUntil([this] { return !cliente.w().s.TelaConectada; }));
    Poll(cliente);
    EXPECT_TRUE(cliente.w().s.sessao_id.isEmpty());
    EXPECT_FALSE(cliente.w().c.txtCodigoReceber.text().isEmpty());
    EXPECT_NE(cliente.w().c.txtCodigoReceber.text(), firstCode) << "a fresh code after the end";
}

TEST_F(AgainstServer, TheSupportedSideRenewsItsRegistrationAndMayEndTheSession)
{
    Accepted();
    ASSERT_TRUE(BothValidated());
    const float registered = cliente.w().s.UltimoRegistroEm;
    cliente.clock.Advance(5.5f);
    Poll(cliente);
    EXPECT_EQ(cliente.w().s.UltimoRegistroEm, registered);
    cliente.clock.Advance(0.5f);
    Poll(cliente);
    EXPECT_GT(cliente.w().s.UltimoRegistroEm, registered) << "renewed after 6 s";

    cliente.w().end.cmdEncerrar_Click();
    Poll(tecnico);
    EXPECT_TRUE(tecnico.w().s.SessaoEncerrada);
    EXPECT_FALSE(tecnico.w().s.TelaConectada);
    EXPECT_TRUE(tecnico.w().c.lblStatus.text().startsWith("Sessao encerrada")) << tecnico.w().c.lblStatus.text().toStdString();
}

TEST_F(AgainstServer, BothSidesMeetOnTheRelayAndAWrongKeyIsRefused)
{
    Accepted();
    ASSERT_TRUE(BothValidated());
    cliente.w().routes.IniciarRelayTcp("cliente");
    tecnico.w().routes.IniciarRelayTcp("tecnico");
    ASSERT_TRUE(BothValidated());
    EXPECT_TRUE(cliente.w().s.RelayAtivo);
    EXPECT_TRUE(tecnico.w().log.text().contains("Rota segura pronta."));

    // The technician's quality command crosses the relay.
    tecnico.w().c.scrNitidez.setValue(2);
    tecnico.w().quality.scrNitidez_Change();
    EXPECT_TRUE(WaitUntil([this] { return cliente.w().quality.state().NitidezManual(); }));

    tecnico.w().loss.PararTelaRemota(false);
    tecnico.w().s.stream_key = "not-the-key";
    tecnico.w().routes.IniciarRelayTcp("tecnico");
    EXPECT_TRUE(WaitUntil([this] { return !tecnico.w().s.RelayAtivo; }));
    EXPECT_TRUE(tecnico.w().log.text().contains("Falha na rota segura: "));
}
