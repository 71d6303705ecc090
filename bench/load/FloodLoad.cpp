// 1,000 devices polling from addresses of their own while one host floods
// the web service from another: silent connections, a slowloris and a
// trickle after a refused request. The same devices' quiet run, just before,
// is the reference for their latency; the server's memory is read before the
// flood and after it is over.
#include "load/FloodLoad.h"

#include "load/FloodTraffic.h"
#include "load/PollLoad.h"
#include "load/ServerRig.h"

#include <cstdio>
#include <thread>

namespace load {
namespace {

namespace asio = boost::asio;

// Outside the devices' 127.1.x.y.
const asio::ip::address_v4 kFlooder = asio::ip::make_address_v4("127.9.0.1");
// Time for the server to see the flood's connections end and give memory back.
constexpr auto kSettle = std::chrono::seconds(5);
constexpr double kLatencyGoal = 2.0;
constexpr double kMemoryGoalMiB = 50;

void PrintTally(const char* kind, const FloodTally& t, const char* admitted)
{
    std::printf("    %-34s %7zu opened, %6zu %s, longest held %.1f s\n", kind, t.opened, t.admitted, admitted,
                t.longestHeldSeconds);
}

const char* Verdict(bool met) { return met ? "met" : "NOT MET"; }

}  // namespace

bool FloodLoad(const LoadOptions& o, asio::ssl::context& tls)
{
    ServerRig rig(PollServerOptions(o));
    asio::io_context io;
    const std::optional<std::vector<Poller>> pollers =
        rig.Started() ? BrokeredPollers(io, tls, rig, o) : std::nullopt;
    if (!pollers) {
        std::printf("load: the flood run could not start (server log in %s)\n", rig.LogFile().c_str());
        rig.KeepFolder();
        return false;
    }
    PollResult quiet, flooded;
    Usage quietUse, floodedUse;
    bool ran = Measured(io, "the quiet run", rig.Pid(), quietUse,
                        [&] { return RunPolls(tls, rig.HttpsPort(), *pollers, o.pollSeconds, quiet); });
    PrintPolls("flood run, the devices alone first", "server", quiet, quietUse, o.devices);

    const double before = CurrentRssMiB(rig.Pid());
    FloodPlan plan = o.flood;
    plan.from = kFlooder;
    plan.port = rig.HttpsPort();
    FloodTraffic flood(plan, tls);
    ran = Measured(io, "the flooded run", rig.Pid(), floodedUse,
                   [&] { return RunPolls(tls, rig.HttpsPort(), *pollers, o.pollSeconds, flooded); })
        && ran;
    const double during = CurrentRssMiB(rig.Pid());
    const FloodResult attack = flood.Stop();
    std::this_thread::sleep_for(kSettle);
    const double after = CurrentRssMiB(rig.Pid());

    PrintPolls("flood run, the devices while 127.9.0.1 floods", "server", flooded, floodedUse, o.devices);
    std::printf("    the flood, reopening what the server ends after %lld ms:\n",
                static_cast<long long>(plan.reconnect.count()));
    PrintTally("silent connections", attack.silent, "held over 1 s");
    PrintTally("slowloris (a header byte a second)", attack.slow, "past TLS");
    PrintTally("a byte every 1.5 s after a 413", attack.trickle, "refused with 413");
    const double ratio = flooded.latency.Quantile(0.99) / quiet.latency.Quantile(0.99);
    std::printf("    server resident memory: %.1f MiB before the flood, %.1f MiB at its end, %.1f MiB %lld s after\n",
                before, during, after, static_cast<long long>(kSettle.count()));
    std::printf("    goals: devices' errors 0 (%s), p99 within %.0fx of the quiet run: %.2f (%s), memory after "
                "within %.0f MiB of before: %+.1f MiB (%s)\n",
                Verdict(flooded.errors == 0), kLatencyGoal, ratio, Verdict(ratio <= kLatencyGoal), kMemoryGoalMiB,
                after - before, Verdict(after - before <= kMemoryGoalMiB));
    const bool ok = ran && quiet.errors == 0 && flooded.errors == 0;
    if (!ok)
        rig.KeepFolder();
    return ok;
}

}  // namespace load
