// 1,000 devices polling from addresses of their own while one host floods
// the web service from another: silent connections, a slowloris and a
// trickle after a refused request. Quiet and flooded phases take turns, so
// the load that other work puts on the machine falls on both alike; the
// devices' quiet phases are the reference for their flooded ones. The
// server's memory is read before the first flood and after the last.
#include "load/FloodLoad.h"

#include "load/FloodTraffic.h"
#include "load/PollLoad.h"
#include "load/ServerRig.h"

#include <algorithm>
#include <cstdio>
#include <thread>

namespace load {
namespace {

namespace asio = boost::asio;

// Outside the devices' 127.1.x.y.
const asio::ip::address_v4 kFlooder = asio::ip::make_address_v4("127.9.0.1");
constexpr int kRounds = 3;
// Time for the server to see the flood's connections end and give memory back.
constexpr auto kSettle = std::chrono::seconds(5);
constexpr double kLatencyGoal = 2.0;
constexpr double kMemoryGoalMiB = 50;

void Add(FloodTally& into, const FloodTally& more)
{
    into.opened += more.opened;
    into.admitted += more.admitted;
    into.longestHeldSeconds = std::max(into.longestHeldSeconds, more.longestHeldSeconds);
}

void PrintTally(const char* kind, const FloodTally& t, const char* admitted)
{
    std::printf("    %-34s %7zu opened, ", kind, t.opened);
    if (admitted)
        std::printf("%6zu %s, ", t.admitted, admitted);
    std::printf("longest held %.1f s\n", t.longestHeldSeconds);
}

const char* Verdict(bool met) { return met ? "met" : "NOT MET"; }

struct Phases {
    PollResult quiet, flooded;
    Usage quietUse, floodedUse;
    FloodResult attack;
    double rssBefore = 0, rssPeak = 0, rssAfter = 0;
    unsigned long long overflowsQuiet = 0, overflowsFlooded = 0;
};

bool RunPhase(asio::io_context& io, asio::ssl::context& tls, const ServerRig& rig, const std::vector<Poller>& pollers,
              double seconds, PollResult& total, Usage& use)
{
    PollResult phase;
    Usage phaseUse;
    const bool ran = Measured(io, "a phase of the flood run", rig.Pid(), phaseUse,
                              [&] { return RunPolls(tls, rig.HttpsPort(), pollers, seconds, phase); });
    Merge(total, phase);
    use.after.cpuSeconds += phaseUse.Cpu();
    use.after.peakRssMiB = phaseUse.after.peakRssMiB;
    use.clientCpuAfter += phaseUse.ClientCpu();
    return ran;
}

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
    FloodPlan plan = o.flood;
    plan.from = kFlooder;
    plan.port = rig.HttpsPort();
    const double seconds = o.pollSeconds / kRounds;
    Phases p;
    bool ran = true;
    for (int round = 0; round < kRounds; ++round) {
        unsigned long long overflows = ListenOverflows();
        ran = RunPhase(io, tls, rig, *pollers, seconds, p.quiet, p.quietUse) && ran;
        p.overflowsQuiet += ListenOverflows() - overflows;
        if (round == 0)
            p.rssBefore = CurrentRssMiB(rig.Pid());
        overflows = ListenOverflows();
        FloodTraffic flood(plan, tls);
        ran = RunPhase(io, tls, rig, *pollers, seconds, p.flooded, p.floodedUse) && ran;
        p.rssPeak = std::max(p.rssPeak, CurrentRssMiB(rig.Pid()));
        const FloodResult attack = flood.Stop();
        p.overflowsFlooded += ListenOverflows() - overflows;
        Add(p.attack.silent, attack.silent);
        Add(p.attack.slow, attack.slow);
        Add(p.attack.trickle, attack.trickle);
    }
    std::this_thread::sleep_for(kSettle);
    p.rssAfter = CurrentRssMiB(rig.Pid());

    std::printf("flood run: %d rounds of %.0f s quiet, then %.0f s while 127.9.0.1 floods\n", kRounds, seconds,
                seconds);
    PrintPolls("    the devices, quiet phases", "server", p.quiet, p.quietUse, o.devices);
    PrintPolls("    the devices, flooded phases", "server", p.flooded, p.floodedUse, o.devices);
    std::printf("    the flood, reopening what the server ends after %lld ms (times held as the flooder, at the "
                "lowest priority, sees them: late by up to its own scheduling delay):\n",
                static_cast<long long>(plan.reconnect.count()));
    PrintTally("silent connections", p.attack.silent, nullptr);
    PrintTally("slowloris (a header byte a second)", p.attack.slow, "past TLS");
    PrintTally("a byte every 1.5 s after a 413", p.attack.trickle, "refused with 413");
    std::printf("    connections the kernel dropped at full accept queues (the machine's count): %llu in the quiet "
                "phases, %llu in the flooded ones\n",
                p.overflowsQuiet, p.overflowsFlooded);
    const double ratio = p.flooded.latency.Quantile(0.99) / p.quiet.latency.Quantile(0.99);
    std::printf("    server resident memory: %.1f MiB before the first flood, %.1f MiB at the most at a flood's "
                "end, %.1f MiB %lld s after the last\n",
                p.rssBefore, p.rssPeak, p.rssAfter, static_cast<long long>(kSettle.count()));
    std::printf("    goals: devices' errors 0 (%s), p99 within %.0fx of the quiet phases: %.2f (%s), memory after "
                "within %.0f MiB of before: %+.1f MiB (%s)\n",
                Verdict(p.flooded.errors == 0), kLatencyGoal, ratio, Verdict(ratio <= kLatencyGoal), kMemoryGoalMiB,
                p.rssAfter - p.rssBefore, Verdict(p.rssAfter - p.rssBefore <= kMemoryGoalMiB));
    const bool ok = ran && p.quiet.errors == 0 && p.flooded.errors == 0;
    if (!ok)
        rig.KeepFolder();
    return ok;
}

}  // namespace load
