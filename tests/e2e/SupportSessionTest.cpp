// The session as it should go: sign-up, code, request, permission, the
// screen and the input over the direct route, the end; and a second copy.
#include "SupportSessionFixture.h"

namespace e2e {
namespace {

TEST_F(SupportSession, DirectRouteFromSignUpToDisconnect)
{
    ASSERT_NO_FATAL_FAILURE(StartSession());
    const std::string clienteLog = cliente_->Log(), tecnicoLog = tecnico_->Log();
    EXPECT_FALSE(Contains(clienteLog, "Rota segura")) << clienteLog;
    EXPECT_FALSE(RelayWasUsed(server_->Log())) << "the relay was used:\n" << server_->Log();
    // The first target was good: in the lab, the office's public address and its port forward.
    EXPECT_FALSE(Contains(tecnicoLog, "Tentando outra rota de conexao.")) << tecnicoLog;
    if (InLab()) {
        EXPECT_TRUE(Contains(server_->Log(), std::string("http: ") + kClientePublicAddress + " "))
            << "the service should see the cliente from its office's public address:\n" << server_->Log();
    }
    Mark("direct route to the first target, the relay untouched");
    ASSERT_NO_FATAL_FAILURE(CheckViewerShowsScreen());
    ASSERT_NO_FATAL_FAILURE(CheckInputLands());
    ASSERT_NO_FATAL_FAILURE(EndSession());
}

TEST_F(SupportSession, SecondCopyShowsItsMessageAndExitsWithoutTheService)
{
    const std::unique_ptr<XvfbDisplay> display = NewDisplay("pc");
    ASSERT_TRUE(display->Ready());
    const std::unique_ptr<ProgramInstance> first = NewProgram("primeira", "pc", *display, Host::Cliente);
    ASSERT_TRUE(first->Start());
    ASSERT_TRUE(AwaitModal(*first, "frmCadastro", "Marquelin - Cadastro"));
    ASSERT_TRUE(Contains(server_->Log(), "/versao.php")) << "the first copy should have checked its version";
    Mark("first copy running (sign-up open)");

    const std::size_t logBefore = server_->Log().size();
    const std::unique_ptr<ProgramInstance> second = NewProgram("segunda", "pc", *display, Host::Cliente);
    ASSERT_TRUE(second->Start());
    ASSERT_TRUE(AwaitModal(*second, "QMessageBox", "Marquelin", "O Marquelin ja esta aberto neste computador."));
    ASSERT_TRUE(second->Act({"modal-click", "OK"}));
    ASSERT_TRUE(second->WaitExit(kHangMs)) << "the second copy did not end";
    EXPECT_EQ(second->ExitCode(), 0) << second->Output();
    Mark("second copy showed its message and ended");
    const std::string after = server_->Log().substr(logBefore);
    EXPECT_FALSE(Contains(after, "http: ")) << "the second copy contacted the service:\n" << after;

    // The first copy is untouched: still in its sign-up window, and it closes normally.
    ASSERT_TRUE(AwaitModal(*first, "frmCadastro", "Marquelin - Cadastro"));
    ASSERT_TRUE(first->Act({"click", "frmCadastro/cmdFechar"}));
    ASSERT_TRUE(AwaitWidget(*first, "frmMain", [](const WidgetState& w) { return w.visible; }, "shown"));
    ASSERT_NO_FATAL_FAILURE(Quit(*first));
    Mark("first copy closed");
}

}  // namespace
}  // namespace e2e
