// Memory held by many idle paired sessions: the relay's resident size in this
// process before and after they pair. The clients run in a child process, so
// their descriptors and memory are not counted. Idle sockets hold no kernel
// buffers either: a pair's pipes and buffers exist only while bytes flow.
#include <benchmark/benchmark.h>

#include <chrono>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "BenchSockets.h"
#include "RelayUnderTest.h"

namespace relaybench {
namespace {

constexpr rlim_t kSpareDescriptors = 256;

double ResidentMiB()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1 << 20);
}

// Two descriptors per session in each process. Raising the hard limit needs
// privilege; without it, as many sessions as the limit allows are measured.
long SessionsWithinLimit(long wanted)
{
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    const rlim_t needed = static_cast<rlim_t>(wanted) * 2 + kSpareDescriptors;
    if (limit.rlim_max < needed) {
        const rlimit raised{needed, needed};
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0)
            return wanted;
    }
    limit.rlim_cur = std::max(limit.rlim_cur, std::min(limit.rlim_max, needed));
    setrlimit(RLIMIT_NOFILE, &limit);
    return std::min<long>(wanted, static_cast<long>((limit.rlim_cur - kSpareDescriptors) / 2));
}

bool ReadUntilPaired(int fd)
{
    for (std::string line = ReceiveLine(fd); !line.empty(); line = ReceiveLine(fd))
        if (line.find("CONECTADO") != std::string::npos)
            return true;
    return false;
}

// The child: pairs `sessions` sessions, reports how many paired, holds them
// idle until told to go.
[[noreturn]] void RunClients(int commands, int reports, long sessions)
{
    unsigned short port = 0;
    if (read(commands, &port, sizeof port) != sizeof port)
        _exit(1);
    std::vector<int> sockets;
    long paired = 0;
    try {
        for (long i = 0; i < sessions; ++i) {
            const std::string id = "idle-" + std::to_string(i);
            const int cliente = ConnectLoopback(port);
            SendAll(cliente, JoinLine(id, "cliente").data(), JoinLine(id, "cliente").size());
            const int tecnico = ConnectLoopback(port);
            SendAll(tecnico, JoinLine(id, "tecnico").data(), JoinLine(id, "tecnico").size());
            sockets.insert(sockets.end(), {cliente, tecnico});
            paired += ReadUntilPaired(cliente) && ReadUntilPaired(tecnico);
        }
    } catch (const std::exception&) {
    }
    if (write(reports, &paired, sizeof paired) != sizeof paired)
        _exit(1);
    char go = 0;
    if (read(commands, &go, 1) < 0)
        _exit(1);
    _exit(0);
}

void IdlePairedSessions(benchmark::State& state)
{
    const long wanted = state.range(0);
    const long sessions = SessionsWithinLimit(wanted);
    int commands[2], reports[2];
    if (pipe(commands) != 0 || pipe(reports) != 0)
        return state.SkipWithError("pipe failed");
    // Forked before the relay's thread exists.
    const pid_t child = fork();
    if (child == 0)
        RunClients(commands[0], reports[1], sessions);

    for (auto _ : state) {
        relay::RelayLimits limits;
        limits.maxConnectionsPerAddress = static_cast<unsigned>(sessions * 2 + 16);
        RelayUnderTest relay(limits);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const double residentBefore = ResidentMiB();
        const auto start = std::chrono::steady_clock::now();
        const unsigned short port = relay.Port();
        long paired = 0;
        if (write(commands[1], &port, sizeof port) != sizeof port ||
            read(reports[0], &paired, sizeof paired) != sizeof paired)
            return state.SkipWithError("the client process failed");
        const double setupSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::this_thread::sleep_for(std::chrono::milliseconds(500));  // every last handler has run
        const double residentDelta = ResidentMiB() - residentBefore;
        state.counters["sessions"] = static_cast<double>(sessions);
        state.counters["paired"] = static_cast<double>(paired);
        state.counters["relay_rss_MiB"] = residentDelta;
        state.counters["per_session_KiB"] = paired > 0 ? residentDelta * 1024 / static_cast<double>(paired) : 0;
        state.counters["at_10000_MiB"] = paired > 0 ? residentDelta * 10000 / static_cast<double>(paired) : 0;
        state.counters["setup_s"] = setupSeconds;
        const char go = 1;
        if (write(commands[1], &go, 1) != 1)
            state.SkipWithError("the client process is gone");
        waitpid(child, nullptr, 0);
    }
}
BENCHMARK(IdlePairedSessions)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace relaybench
