// Sessions that meet trouble on the way and must get through on their own:
// routes that go nowhere, a cut cable, the server and relay killed or
// restarted, a technician's computer that stops reading. Each runs on the lab
// network (three hosts and a router) and prints its timeline.
#include "SupportSessionFixture.h"

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace e2e {
namespace {

using namespace std::chrono_literals;

constexpr long long kRssGrowthLimitKb = 64 * 1024;
constexpr int kTecnicoWindowBytes = 64 * 1024;

long long ResidentKb(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string word;
    long long kb = -1;
    while (status >> word)
        if (word == "VmRSS:" && status >> kb)
            break;
    return kb;
}

class Faults : public SupportSession {
protected:
    void SetUp() override
    {
        if (!InLab())
            GTEST_SKIP() << LabProblem();
        SupportSession::SetUp();
    }
};

// A refused first target jumps at once to the alternative, well before the cliente's 5 s move to the relay.
TEST_F(Faults, AlternativeAddressWhenThePortForwardIsMissing)
{
    NetworkFault fault(kPortForwardMissing);
    ASSERT_TRUE(fault.Active());
    ASSERT_NO_FATAL_FAILURE(StartSession());
    EXPECT_TRUE(Contains(tecnico_->Log(), "Tentando outra rota de conexao.")) << tecnico_->Log();
    EXPECT_FALSE(Contains(cliente_->Log(), "Rota segura")) << cliente_->Log();
    EXPECT_FALSE(RelayWasUsed(server_->Log())) << server_->Log();
    Mark("direct link through the alternative (local) address after the public one refused");
    ASSERT_NO_FATAL_FAILURE(CheckViewerShowsScreen());
    ASSERT_NO_FATAL_FAILURE(EndSession());
}

// Both direct targets go nowhere: the relay, reached by the route's own
// waits (no loss on the way); then the server and relay die (-9) and the
// relayed link comes back on the restarted store's session and key.
TEST_F(Faults, RelayWhenTheDirectRouteIsBlockedSurvivesTheRelaysRestart)
{
    NetworkFault fault(kDirectPortBlocked);
    ASSERT_TRUE(fault.Active());
    ASSERT_NO_FATAL_FAILURE(StartSession());
    for (ProgramInstance* p : {cliente_.get(), tecnico_.get()})
        EXPECT_TRUE(Contains(p->Log(), "Rota segura pronta.")) << p->Log();
    EXPECT_TRUE(Contains(tecnico_->Log(), "Tentando outra rota de conexao."));
    EXPECT_FALSE(Contains(tecnico_->Log(), "Tela sem atualizacao")) << tecnico_->Log();
    EXPECT_TRUE(RelayWasUsed(server_->Log())) << server_->Log();
    Mark("relay route after both direct targets went nowhere");
    ASSERT_NO_FATAL_FAILURE(CheckViewerShowsScreen());

    const int links = ValidatedLinks();
    server_->Kill9();
    ASSERT_TRUE(server_->Running());
    Mark("server and relay killed (-9) and started again");
    ASSERT_TRUE(AwaitLog(*cliente_, "Conexao de tela perdida. Tentando recuperar automaticamente."));
    ASSERT_TRUE(AwaitLog(*tecnico_, "Conexao de tela perdida. Tentando recuperar automaticamente."));
    Mark("both saw the link lost");
    ASSERT_NO_FATAL_FAILURE(AwaitRebuilt(links, "relayed link rebuilt, new frames on the viewer"));
    ASSERT_NO_FATAL_FAILURE(EndSession());
}

// A direct session goes on without the service and re-registers once it is
// back; a cut cable between the two computers is noticed and healed.
TEST_F(Faults, DirectSessionOutlivesTheServersRestartAndACutCable)
{
    ASSERT_NO_FATAL_FAILURE(StartSession());
    ASSERT_NO_FATAL_FAILURE(CheckViewerShowsScreen());
    server_->Stop();
    Mark("server stopped");
    ASSERT_NO_FATAL_FAILURE(CheckNewFramesArrive());
    std::this_thread::sleep_for(5s);  // the outage lasts a few failed polls and registrations on both sides
    ASSERT_NO_FATAL_FAILURE(CheckNewFramesArrive());
    Mark("the screen kept flowing without the service");
    const std::size_t logBefore = server_->Log().size();
    server_->Start();
    ASSERT_TRUE(server_->Running());
    ASSERT_TRUE(WaitFor([&] { return Contains(server_->Log().substr(logBefore), "/api/registrar_conexao.php 200"); },
                        kHangMs, 250))
        << server_->Log();
    Mark("the cliente's registration renewed on the restarted server");
    EXPECT_FALSE(Contains(tecnico_->Log(), "Sessao encerrada")) << tecnico_->Log();

    const int links = ValidatedLinks();
    NetworkFault cut(kClienteTecnicoCut);
    ASSERT_TRUE(cut.Active());
    Mark("cable between the two computers cut");
    ASSERT_TRUE(AwaitLog(*tecnico_, "Tela sem atualizacao. Tentando reconectar."));
    Mark("tecnico saw the screen go stale");
    std::this_thread::sleep_for(3s);  // the cable stays out while the tecnico tries again
    cut.Lift();
    Mark("cable back");
    ASSERT_NO_FATAL_FAILURE(AwaitRebuilt(links, "link rebuilt, new frames on the viewer"));
    ASSERT_NO_FATAL_FAILURE(EndSession());
}

TEST_F(Faults, TechnicianThatStopsReading)
{
    ASSERT_TRUE(CapReceiveBuffer(Host::Tecnico, kTecnicoWindowBytes));
    ASSERT_NO_FATAL_FAILURE(StartSession());
    ASSERT_NO_FATAL_FAILURE(CheckViewerShowsScreen());
    // Once the small window is full nothing completes: a stalled frame is written off and the sharpness lowered.
    const auto level = [&] { return std::atoi(cliente_->Text("frmMain/scrNitidez").text.c_str()); };
    const long long rssBefore = ResidentKb(cliente_->Pid());
    ASSERT_EQ(kill(tecnico_->Pid(), SIGSTOP), 0);
    Mark("tecnico frozen (SIGSTOP), cliente at sharpness level " + std::to_string(level()) + ", "
         + std::to_string(rssBefore / 1024) + " MiB");
    long long rssPeak = rssBefore;
    int highest = level();
    const auto lowered = [&] {
        rssPeak = std::max(rssPeak, ResidentKb(cliente_->Pid()));
        const int now = level();
        highest = std::max(highest, now);
        return now < highest;
    };
    EXPECT_TRUE(WaitFor(lowered, kHangMs, 250)) << "no write-off lowered the sharpness\n" << cliente_->Log();
    Mark("cliente lowered the sharpness behind the stalled frames: " + std::to_string(highest) + " -> " + std::to_string(level()));
    WaitFor([&] { lowered(); return false; }, 10000, 250);  // watches the memory 10 s more
    Mark("cliente peak " + std::to_string(rssPeak / 1024) + " MiB over 10 s more of a frozen tecnico");
    EXPECT_LE(rssPeak - rssBefore, kRssGrowthLimitKb) << "the cliente's memory grew while nobody read";
    ASSERT_EQ(kill(tecnico_->Pid(), SIGCONT), 0);
    Mark("tecnico thawed");
    ASSERT_NO_FATAL_FAILURE(CheckNewFramesArrive());
    ASSERT_NO_FATAL_FAILURE(EndSession());
}

}  // namespace
}  // namespace e2e
