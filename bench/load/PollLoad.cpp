// Devices polling their status every 2 s, each poll on a new TLS connection
// as the program makes it, against nginx serving a static reply of the same
// size to the same clients in the same pattern.
#include "load/PollLoad.h"

#include "load/NginxReference.h"
#include "load/OneShotHttps.h"
#include "load/ParallelSteps.h"
#include "load/PollRun.h"
#include "load/RunSupport.h"
#include "load/ServerRig.h"
#include "load/ServiceClient.h"

#include <cmath>
#include <cstdio>

namespace load {
namespace {

namespace asio = boost::asio;

// How a device stands, by its place in each ten: an accepted session
// (cliente, tecnico), a request not yet answered (cliente, tecnico), four
// live codes nobody asked for, two devices without a code.
enum class Standing { AcceptedCliente, AcceptedTecnico, AskedCliente, AskingTecnico, LiveCode, NoCode };

struct StandingRow {
    Standing standing;
    const char* status;  // what every poll of such a device must answer
};

constexpr StandingRow kTen[10] = {
    {Standing::AcceptedCliente, "aceito"},   {Standing::AcceptedTecnico, "aceito"},
    {Standing::AskedCliente, "solicitado"},  {Standing::AskingTecnico, "solicitado"},
    {Standing::LiveCode, "aguardando"},      {Standing::LiveCode, "aguardando"},
    {Standing::LiveCode, "aguardando"},      {Standing::LiveCode, "aguardando"},
    {Standing::NoCode, "sem_codigo"},        {Standing::NoCode, "sem_codigo"},
};

// A cliente whose tecnico would be past the last device just holds its code.
const StandingRow& RowOf(std::size_t i, std::size_t devices)
{
    const StandingRow& row = kTen[i % 10];
    const bool alone = (row.standing == Standing::AcceptedCliente || row.standing == Standing::AskedCliente)
        && i + 1 >= devices;
    return alone ? kTen[4] : row;
}

bool HoldsCode(Standing s)
{
    return s == Standing::AcceptedCliente || s == Standing::AskedCliente || s == Standing::LiveCode;
}
bool Asks(Standing s) { return s == Standing::AcceptedTecnico || s == Standing::AskingTecnico; }

asio::awaitable<void> Broker(ServiceClient& client, std::vector<Device>& devices, std::size_t parallel)
{
    const std::size_t n = devices.size();
    auto standing = [n](std::size_t i) { return RowOf(i, n).standing; };
    co_await ForEach(n, parallel, [&](std::size_t i) { return client.SignUp(devices[i]); });
    co_await ForEach(n, parallel, [&](std::size_t i) -> asio::awaitable<void> {
        if (HoldsCode(standing(i)))
            co_await client.IssueCode(devices[i]);
    });
    co_await ForEach(n, parallel, [&](std::size_t i) -> asio::awaitable<void> {
        if (Asks(standing(i)))
            co_await client.AskAccess(devices[i], devices[i - 1]);
    });
    co_await ForEach(n, parallel, [&](std::size_t i) -> asio::awaitable<void> {
        if (standing(i) == Standing::AcceptedCliente)
            co_await client.Permit(devices[i]);
    });
}

}  // namespace

void PrintPolls(const char* who, const char* process, const PollResult& r, const Usage& u, std::size_t devices)
{
    std::printf("%s: %zu devices, %.1f s: %zu polls (%.0f/s), %zu errors, %zu late ticks\n", who, devices,
                r.seconds, r.polls, static_cast<double>(r.polls) / r.seconds, r.errors, r.lateTicks);
    std::printf("    latency ms: p50 %.2f  p99 %.2f  max %.2f  (to the whole reply, from the connect when one is opened)\n",
                r.latency.Quantile(0.5), r.latency.Quantile(0.99), r.latency.Quantile(1));
    const double perPoll = r.polls ? 1000 * u.Cpu() / static_cast<double>(r.polls) : 0;
    std::printf("    %s CPU %.2f s (%.1f%% of one core, %.3f ms per poll), peak RSS %.1f MiB; client CPU %.2f s\n",
                process, u.Cpu(), 100 * u.Cpu() / r.seconds, perPoll, u.after.peakRssMiB, u.ClientCpu());
    std::string statuses;
    for (const auto& [status, n] : r.statuses)
        statuses += " " + status + "=" + std::to_string(n);
    if (!statuses.empty())
        std::printf("    statuses:%s\n", statuses.c_str());
    PrintErrors(r.errors, r.firstErrors);
}

std::vector<std::string> PollServerOptions(const LoadOptions& o)
{
    // Codes outlive the setup and every run.
    const long codeLife = std::min(86400L, static_cast<long>(std::ceil(o.pollSeconds)) * 3 + 900);
    return {"--code-ttl", std::to_string(codeLife)};
}

std::optional<std::vector<Poller>> BrokeredPollers(asio::io_context& io, asio::ssl::context& tls,
                                                   const ServerRig& rig, const LoadOptions& o)
{
    ServiceClient client(tls, rig.HttpsPort(), rig.DataFolder());
    std::vector<Device> devices;
    for (std::size_t i = 0; i < o.devices; ++i)
        devices.emplace_back(i);
    if (!RunToEnd(io, "setting up the devices", [&] { return Broker(client, devices, o.setupParallel); }))
        return std::nullopt;
    std::vector<Poller> pollers;
    for (const Device& d : devices)
        pollers.push_back({d.address, StatusRequest(d), RowOf(d.index, o.devices).status});
    return pollers;
}

namespace {

double CpuPerPoll(const Usage& u, const PollResult& r) { return u.Cpu() / static_cast<double>(r.polls); }

// The same pollers against nginx, the same run's reference.
void AgainstNginx(asio::io_context& io, asio::ssl::context& tls, const ServerRig& rig, std::vector<Poller> pollers,
                  const LoadOptions& o, const PollResult& served, const Usage& serverUse)
{
    NginxReference nginx(rig.DataFolder() + "/tls-cert.pem", rig.DataFolder() + "/tls-key.pem", served.sampleReply);
    if (!nginx.Started() || served.sampleReply.empty()) {
        std::printf("reference skipped: nginx did not start (scripts/deps --bench installs it)\n");
        return;
    }
    for (Poller& p : pollers)
        p = {p.from, PlainGet(NginxReference::Path()), "aguardando"};
    PollResult reference;
    Usage nginxUse;
    Measured(io, "the nginx reference", nginx.Pid(), nginxUse,
             [&] { return RunPolls(tls, nginx.Port(), pollers, o.pollSeconds, reference); });
    PrintPolls("reference, nginx static reply (same size, same certificate, one worker)", "nginx", reference,
               nginxUse, o.devices);
    if (reference.polls && served.polls && nginxUse.Cpu() > 0)
        std::printf("    server over nginx: CPU per poll %.2f, p50 latency %.2f, p99 latency %.2f\n",
                    CpuPerPoll(serverUse, served) / CpuPerPoll(nginxUse, reference),
                    served.latency.Quantile(0.5) / reference.latency.Quantile(0.5),
                    served.latency.Quantile(0.99) / reference.latency.Quantile(0.99));
}

}  // namespace

bool PollLoad(const LoadOptions& o, asio::ssl::context& tls)
{
    ServerRig rig(PollServerOptions(o));
    if (!rig.StartedOrKept())
        return false;
    asio::io_context io;
    std::optional<std::vector<Poller>> pollers = BrokeredPollers(io, tls, rig, o);
    if (!pollers) {
        rig.KeepFolder();
        return false;
    }

    PollResult served;
    Usage serverUse;
    const bool ran = Measured(io, "the poll run", rig.Pid(), serverUse,
                              [&] { return RunPolls(tls, rig.HttpsPort(), *pollers, o.pollSeconds, served); });
    PrintPolls("polls, marquelin-server", "server", served, serverUse, o.devices);
    const bool ok = ran && served.errors == 0;
    if (!ok) {
        rig.KeepFolder();
        std::printf("    server log kept in %s\n", rig.LogFile().c_str());
    }
    if (o.references)
        AgainstNginx(io, tls, rig, std::move(*pollers), o, served, serverUse);
    return ok;
}

}  // namespace load
