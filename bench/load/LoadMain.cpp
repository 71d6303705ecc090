// Load runs against the real marquelin-server, each beside a same-run
// reference: (1) devices polling their status every 2 s, each poll on a new
// TLS connection as the program makes it, against nginx serving a static
// reply of the same size to the same clients; (2) sessions streaming frames
// and commands through the relay, against the same streams over direct
// loopback connections. Exit status 1 when any request, frame or command
// failed, 2 for bad options.
#include "load/LoadOptions.h"
#include "load/LoopbackAddress.h"
#include "load/NginxReference.h"
#include "load/OneShotHttps.h"
#include "load/ParallelSteps.h"
#include "load/PollRun.h"
#include "load/ProcessMeter.h"
#include "load/ServerRig.h"
#include "load/ServiceClient.h"
#include "load/StreamRun.h"

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>

#include <cmath>
#include <cstdio>
#include <functional>

namespace load {
namespace {

namespace asio = boost::asio;

// How a device of the poll run stands, by its place in each ten: an
// accepted session (cliente, tecnico), an access request not yet answered
// (cliente, tecnico), four live codes nobody asked for, two without a code.
enum class Standing { AcceptedCliente, AcceptedTecnico, AskedCliente, AskingTecnico, LiveCode, NoCode };

Standing StandingOf(std::size_t i, std::size_t devices)
{
    static constexpr Standing kTen[10] = {Standing::AcceptedCliente, Standing::AcceptedTecnico,
                                          Standing::AskedCliente,    Standing::AskingTecnico,
                                          Standing::LiveCode,        Standing::LiveCode,
                                          Standing::LiveCode,        Standing::LiveCode,
                                          Standing::NoCode,          Standing::NoCode};
    const Standing s = kTen[i % 10];
    const bool partnerMissing = (s == Standing::AcceptedCliente || s == Standing::AskedCliente) && i + 1 >= devices;
    return partnerMissing ? Standing::LiveCode : s;
}

const char* ExpectedStatus(Standing s)
{
    switch (s) {
    case Standing::AcceptedCliente:
    case Standing::AcceptedTecnico: return "aceito";
    case Standing::AskedCliente:
    case Standing::AskingTecnico: return "solicitado";
    case Standing::LiveCode: return "aguardando";
    case Standing::NoCode: break;
    }
    return "sem_codigo";
}

// Runs one coroutine on `io` to its end; false (with the reason printed) when it threw.
bool RunToEnd(asio::io_context& io, const char* what, std::function<asio::awaitable<void>()> body)
{
    std::string failure;
    asio::co_spawn(io, body(), [&](std::exception_ptr e) {
        try {
            if (e)
                std::rethrow_exception(e);
        } catch (const std::exception& error) {
            failure = error.what();
        }
    });
    io.restart();
    io.run();
    if (!failure.empty())
        std::printf("load: %s failed: %s\n", what, failure.c_str());
    return failure.empty();
}

struct Usage {
    ProcessUse before, after;
    double clientCpuBefore = 0, clientCpuAfter = 0;
    double Cpu() const { return after.cpuSeconds - before.cpuSeconds; }
    double ClientCpu() const { return clientCpuAfter - clientCpuBefore; }
};

// Runs `body` and records what `pid` (-1: nobody) and this client used meanwhile.
bool Measured(asio::io_context& io, const char* what, pid_t pid, Usage& usage,
              std::function<asio::awaitable<void>()> body)
{
    if (pid > 0)
        usage.before = ReadProcessUse(pid);
    usage.clientCpuBefore = OwnCpuSeconds();
    const bool ok = RunToEnd(io, what, std::move(body));
    usage.clientCpuAfter = OwnCpuSeconds();
    if (pid > 0)
        usage.after = ReadProcessUse(pid);
    return ok;
}

void PrintErrors(std::size_t errors, const std::vector<std::string>& first)
{
    for (const std::string& e : first)
        std::printf("    error: %s\n", e.c_str());
    if (errors > first.size())
        std::printf("    ... and %zu more\n", errors - first.size());
}

void PrintPolls(const char* who, const char* process, const PollResult& r, const Usage& u, std::size_t devices)
{
    std::printf("%s: %zu devices, %.1f s: %zu polls (%.0f/s), %zu errors, %zu late ticks\n", who, devices, r.seconds,
                r.polls, static_cast<double>(r.polls) / r.seconds, r.errors, r.lateTicks);
    std::printf("    latency ms: p50 %.2f  p99 %.2f  max %.2f  (connect, TLS handshake, request, reply)\n",
                r.latency.Quantile(0.5), r.latency.Quantile(0.99), r.latency.Quantile(1));
    std::printf("    %s CPU %.2f s (%.1f%% of one core, %.3f ms per poll), peak RSS %.1f MiB; client CPU %.2f s\n",
                process, u.Cpu(), 100 * u.Cpu() / r.seconds, r.polls ? 1000 * u.Cpu() / static_cast<double>(r.polls) : 0,
                u.after.peakRssMiB, u.ClientCpu());
    std::string statuses;
    for (const auto& [status, n] : r.statuses)
        statuses += " " + status + "=" + std::to_string(n);
    if (!statuses.empty())
        std::printf("    statuses:%s\n", statuses.c_str());
    PrintErrors(r.errors, r.firstErrors);
}

void PrintStreams(const char* who, const StreamResult& r, const Usage& u, bool relayed)
{
    const double mib = 1024.0 * 1024.0;
    std::printf("%s: %zu sessions, %.1f s: %llu/%llu frames, %llu/%llu commands (received/sent), %zu errors, "
                "%zu late frames\n",
                who, r.sessions, r.seconds, static_cast<unsigned long long>(r.framesReceived),
                static_cast<unsigned long long>(r.framesSent), static_cast<unsigned long long>(r.commandsReceived),
                static_cast<unsigned long long>(r.commandsSent), r.errors, r.lateFrames);
    std::printf("    bytes to tecnico %.1f MiB (%.1f MiB/s), to cliente %.2f MiB\n",
                static_cast<double>(r.bytesToTecnico) / mib, static_cast<double>(r.bytesToTecnico) / mib / r.seconds,
                static_cast<double>(r.bytesToCliente) / mib);
    std::printf("    frame latency ms: p50 %.2f  p99 %.2f  max %.2f  (sending began to last byte read)\n",
                r.frameLatency.Quantile(0.5), r.frameLatency.Quantile(0.99), r.frameLatency.Quantile(1));
    const double gib = static_cast<double>(r.bytesToTecnico + r.bytesToCliente) / (mib * 1024);
    if (relayed)
        std::printf("    relay (server process) CPU %.2f s (%.1f%% of one core, %.0f ms per GiB), peak RSS %.1f MiB; ",
                    u.Cpu(), 100 * u.Cpu() / r.seconds, gib > 0 ? 1000 * u.Cpu() / gib : 0, u.after.peakRssMiB);
    else
        std::printf("    ");
    std::printf("client CPU %.2f s\n", u.ClientCpu());
    PrintErrors(r.errors, r.firstErrors);
}

// ---- the poll run ----

asio::awaitable<void> BrokerPollDevices(ServiceClient& client, std::vector<Device>& devices, std::size_t parallel)
{
    const std::size_t n = devices.size();
    auto when = [&](std::function<bool(Standing)> test, std::function<asio::awaitable<void>(Device&)> step) {
        return ForEach(n, parallel, [&devices, n, test, step](std::size_t i) -> asio::awaitable<void> {
            if (test(StandingOf(i, n)))
                co_await step(devices[i]);
        });
    };
    co_await ForEach(n, parallel, [&](std::size_t i) { return client.SignUp(devices[i]); });
    co_await when([](Standing s) { return s != Standing::NoCode && s != Standing::AcceptedTecnico && s != Standing::AskingTecnico; },
                  [&](Device& d) { return client.IssueCode(d); });
    co_await when([](Standing s) { return s == Standing::AcceptedTecnico || s == Standing::AskingTecnico; },
                  [&](Device& d) { return client.AskAccess(d, devices[d.index - 1]); });
    co_await when([](Standing s) { return s == Standing::AcceptedCliente; },
                  [&](Device& d) { return client.Permit(d); });
}

bool PollLoad(const LoadOptions& o, asio::ssl::context& tls)
{
    const long codeLife = static_cast<long>(std::ceil(o.pollSeconds)) * 2 + 900;  // outlives the setup and both runs
    ServerRig rig({"--code-ttl", std::to_string(std::min(codeLife, 86400L))});
    if (!rig.Started())
        return std::printf("load: marquelin-server did not start (log in %s)\n", rig.LogFile().c_str()), rig.KeepFolder(), false;
    asio::io_context io;
    ServiceClient client(tls, rig.HttpsPort(), rig.DataFolder());
    std::vector<Device> devices;
    for (std::size_t i = 0; i < o.devices; ++i)
        devices.emplace_back(i);
    if (!RunToEnd(io, "setting up the devices", [&] { return BrokerPollDevices(client, devices, o.setupParallel); }))
        return rig.KeepFolder(), false;
    std::vector<Poller> pollers;
    for (const Device& d : devices)
        pollers.push_back({d.address, StatusRequest(d), ExpectedStatus(StandingOf(d.index, o.devices))});

    PollResult served;
    Usage serverUse;
    const bool ran = Measured(io, "the poll run", rig.Pid(), serverUse,
                              [&] { return RunPolls(tls, rig.HttpsPort(), pollers, o.pollSeconds, served); });
    PrintPolls("polls, marquelin-server", "server", served, serverUse, o.devices);
    bool ok = ran && served.errors == 0;
    if (!ok)
        rig.KeepFolder(), std::printf("    server log kept in %s\n", rig.LogFile().c_str());
    if (!o.references)
        return ok;

    NginxReference nginx(rig.DataFolder() + "/tls-cert.pem", rig.DataFolder() + "/tls-key.pem", served.sampleReply);
    if (!nginx.Started() || served.sampleReply.empty())
        return std::printf("reference skipped: nginx did not start (scripts/deps --bench installs it)\n"), ok;
    for (Poller& p : pollers)
        p = {p.from, PlainGet(NginxReference::Path()), "aguardando"};
    PollResult reference;
    Usage nginxUse;
    Measured(io, "the nginx reference", nginx.Pid(), nginxUse,
             [&] { return RunPolls(tls, nginx.Port(), pollers, o.pollSeconds, reference); });
    PrintPolls("reference, nginx static reply (same size, same certificate, one worker)", "nginx", reference, nginxUse, o.devices);
    if (reference.polls && served.polls && nginxUse.Cpu() > 0)
        std::printf("    server CPU per poll over nginx's: %.2f; p50 latency over nginx's: %.2f\n",
                    (serverUse.Cpu() / static_cast<double>(served.polls)) / (nginxUse.Cpu() / static_cast<double>(reference.polls)),
                    served.latency.Quantile(0.5) / reference.latency.Quantile(0.5));
    return ok;
}

// ---- the streaming run ----

asio::awaitable<void> BrokerSessions(ServiceClient& client, std::vector<Device>& devices, std::size_t parallel)
{
    const std::size_t sessions = devices.size() / 2;
    co_await ForEach(devices.size(), parallel, [&](std::size_t i) { return client.SignUp(devices[i]); });
    co_await ForEach(sessions, parallel, [&](std::size_t s) -> asio::awaitable<void> {
        Device& cliente = devices[2 * s];
        Device& tecnico = devices[2 * s + 1];
        co_await client.IssueCode(cliente);
        co_await client.AskAccess(tecnico, cliente);
        co_await client.Permit(cliente);
        tecnico.sessaoId = cliente.sessaoId;
        co_await client.FetchCredentials(cliente);
        co_await client.FetchCredentials(tecnico);
        if (cliente.streamKey.empty() || cliente.streamKey != tecnico.streamKey)
            throw std::runtime_error("the two sides of " + cliente.sessaoId + " got different stream keys");
    });
}

SessionLinks MakeLinks(asio::io_context& io, const std::vector<Device>& devices)
{
    SessionLinks links;
    for (std::size_t s = 0; s * 2 + 1 < devices.size(); ++s) {
        links.push_back(std::make_unique<SessionLink>(io.get_executor()));
        links.back()->id = s;
        links.back()->sessaoId = devices[2 * s].sessaoId;
        links.back()->streamKey = devices[2 * s].streamKey;
    }
    return links;
}

bool StreamLoad(const LoadOptions& o, asio::ssl::context& tls)
{
    ServerRig rig({});
    if (!rig.Started())
        return std::printf("load: marquelin-server did not start (log in %s)\n", rig.LogFile().c_str()), rig.KeepFolder(), false;
    asio::io_context io;
    ServiceClient client(tls, rig.HttpsPort(), rig.DataFolder());
    std::vector<Device> devices;
    for (std::size_t i = 0; i < o.sessions * 2; ++i)
        devices.emplace_back(i);
    SessionLinks relayed;
    const bool set = RunToEnd(io, "setting up the sessions", [&]() -> asio::awaitable<void> {
        co_await BrokerSessions(client, devices, o.setupParallel);
        relayed = MakeLinks(io, devices);
        co_await ForEach(relayed.size(), o.setupParallel, [&](std::size_t s) -> asio::awaitable<void> {
            co_await JoinRelay(*relayed[s], rig.RelayPort());
            co_await ShakeHands(*relayed[s]);
        });
    });
    if (!set)
        return rig.KeepFolder(), false;
    StreamResult through;
    Usage relayUse;
    const bool ran = Measured(io, "the relayed streams", rig.Pid(), relayUse,
                              [&] { return RunStreams(relayed, o.stream, through); });
    PrintStreams("streams through the relay", through, relayUse, true);
    const bool ok = ran && through.errors == 0;
    if (!ok)
        rig.KeepFolder(), std::printf("    server log kept in %s\n", rig.LogFile().c_str());
    if (!o.references)
        return ok;

    SessionLinks direct = MakeLinks(io, devices);
    StreamResult straight;
    Usage directUse;
    const bool directSet = RunToEnd(io, "connecting the direct links", [&]() -> asio::awaitable<void> {
        for (auto& link : direct)
            ConnectDirect(*link);
        co_await ForEach(direct.size(), o.setupParallel, [&](std::size_t s) { return ShakeHands(*direct[s]); });
    });
    if (directSet && Measured(io, "the direct streams", -1, directUse, [&] { return RunStreams(direct, o.stream, straight); }))
        PrintStreams("reference, the same streams over direct loopback connections", straight, directUse, false);
    if (straight.frameLatency.Count() && through.frameLatency.Count())
        std::printf("    relayed over direct: frame latency p50 %.2f, p99 %.2f; client CPU %.2f\n",
                    through.frameLatency.Quantile(0.5) / straight.frameLatency.Quantile(0.5),
                    through.frameLatency.Quantile(0.99) / straight.frameLatency.Quantile(0.99),
                    directUse.ClientCpu() > 0 ? relayUse.ClientCpu() / directUse.ClientCpu() : 0);
    return ok;
}

}  // namespace
}  // namespace load

int main(int argc, char** argv)
{
    const load::ParsedLoadOptions parsed = load::ParseLoadOptions(argc, argv);
    if (!parsed.options) {
        std::fputs(parsed.message.c_str(), stdout);
        return parsed.message.rfind("usage:", 0) == 0 ? 0 : 2;
    }
    const load::LoadOptions& o = *parsed.options;
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::printf("load: descriptor limit %zu\n", load::RaiseDescriptorLimit());
    auto tls = load::ClientTls();
    bool ok = true;
    if (o.polls)
        ok = load::PollLoad(o, tls) && ok;
    if (o.streams)
        ok = load::StreamLoad(o, tls) && ok;
    std::printf("load: %s\n", ok ? "no errors" : "FAILED (errors above)");
    return ok ? 0 : 1;
}
