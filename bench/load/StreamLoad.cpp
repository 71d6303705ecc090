// Sessions streaming frames and commands through the relay, brokered through
// the service as the program does, against the same streams over direct
// loopback connections in the same run.
#include "load/StreamLoad.h"

#include "load/ParallelSteps.h"
#include "load/RunSupport.h"
#include "load/ServerRig.h"
#include "load/ServiceClient.h"
#include "load/StreamRun.h"

#include <cstdio>
#include <stdexcept>

namespace load {
namespace {

namespace asio = boost::asio;

// Device 2s is the cliente of session s, device 2s + 1 its tecnico.
asio::awaitable<void> Broker(ServiceClient& client, std::vector<Device>& devices, std::size_t parallel)
{
    co_await ForEach(devices.size(), parallel, [&](std::size_t i) { return client.SignUp(devices[i]); });
    co_await ForEach(devices.size() / 2, parallel, [&](std::size_t s) -> asio::awaitable<void> {
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

void PrintStreams(const char* who, const StreamResult& r, const Usage& u, bool relayed)
{
    constexpr double kMiB = 1024.0 * 1024.0;
    std::printf("%s: %zu sessions, %.1f s: %llu/%llu frames, %llu/%llu commands (received/sent), %zu errors, "
                "%zu late frames\n",
                who, r.sessions, r.seconds, static_cast<unsigned long long>(r.framesReceived),
                static_cast<unsigned long long>(r.framesSent), static_cast<unsigned long long>(r.commandsReceived),
                static_cast<unsigned long long>(r.commandsSent), r.errors, r.lateFrames);
    std::printf("    bytes to tecnico %.1f MiB (%.1f MiB/s), to cliente %.2f MiB\n",
                static_cast<double>(r.bytesToTecnico) / kMiB,
                static_cast<double>(r.bytesToTecnico) / kMiB / r.seconds, static_cast<double>(r.bytesToCliente) / kMiB);
    std::printf("    frame latency ms: p50 %.2f  p99 %.2f  max %.2f  (sending began to last byte read)\n",
                r.frameLatency.Quantile(0.5), r.frameLatency.Quantile(0.99), r.frameLatency.Quantile(1));
    const double gib = static_cast<double>(r.bytesToTecnico + r.bytesToCliente) / (kMiB * 1024);
    std::printf("    ");
    if (relayed)
        std::printf("relay (server process) CPU %.2f s (%.1f%% of one core, %.0f ms per GiB), peak RSS %.1f MiB; ",
                    u.Cpu(), 100 * u.Cpu() / r.seconds, gib > 0 ? 1000 * u.Cpu() / gib : 0, u.after.peakRssMiB);
    std::printf("client CPU %.2f s\n", u.ClientCpu());
    PrintErrors(r.errors, r.firstErrors);
}

// The same streams between the same devices over direct loopback connections.
void AgainstDirect(asio::io_context& io, const std::vector<Device>& devices, const LoadOptions& o,
                   const StreamResult& through, const Usage& relayUse)
{
    SessionLinks direct = MakeLinks(io, devices);
    const bool set = RunToEnd(io, "connecting the direct links", [&]() -> asio::awaitable<void> {
        for (auto& link : direct)
            ConnectDirect(*link);
        co_await ForEach(direct.size(), o.setupParallel, [&](std::size_t s) { return ShakeHands(*direct[s]); });
    });
    StreamResult straight;
    Usage directUse;
    const Body stream = [&] { return RunStreams(direct, o.stream, straight); };
    if (!set || !Measured(io, "the direct streams", -1, directUse, stream))
        return;
    PrintStreams("reference, the same streams over direct loopback connections", straight, directUse, false);
    if (straight.frameLatency.Count() && through.frameLatency.Count() && directUse.ClientCpu() > 0)
        std::printf("    relayed over direct: frame latency p50 %.2f, p99 %.2f; client CPU %.2f\n",
                    through.frameLatency.Quantile(0.5) / straight.frameLatency.Quantile(0.5),
                    through.frameLatency.Quantile(0.99) / straight.frameLatency.Quantile(0.99),
                    relayUse.ClientCpu() / directUse.ClientCpu());
}

}  // namespace

bool StreamLoad(const LoadOptions& o, asio::ssl::context& tls)
{
    ServerRig rig({});
    if (!rig.StartedOrKept())
        return false;
    asio::io_context io;
    ServiceClient client(tls, rig.HttpsPort(), rig.DataFolder());
    std::vector<Device> devices;
    for (std::size_t i = 0; i < o.sessions * 2; ++i)
        devices.emplace_back(i);
    SessionLinks relayed;
    const bool set = RunToEnd(io, "setting up the sessions", [&]() -> asio::awaitable<void> {
        co_await Broker(client, devices, o.setupParallel);
        relayed = MakeLinks(io, devices);
        co_await ForEach(relayed.size(), o.setupParallel, [&](std::size_t s) -> asio::awaitable<void> {
            co_await JoinRelay(*relayed[s], rig.RelayPort());
            co_await ShakeHands(*relayed[s]);
        });
    });
    if (!set) {
        rig.KeepFolder();
        return false;
    }
    StreamResult through;
    Usage relayUse;
    const bool ran = Measured(io, "the relayed streams", rig.Pid(), relayUse,
                              [&] { return RunStreams(relayed, o.stream, through); });
    PrintStreams("streams through the relay", through, relayUse, true);
    const bool ok = ran && through.errors == 0;
    if (!ok) {
        rig.KeepFolder();
        std::printf("    server log kept in %s\n", rig.LogFile().c_str());
    }
    if (o.references)
        AgainstDirect(io, devices, o, through, relayUse);
    return ok;
}

}  // namespace load
