// One paired session's forwarding rate against a direct loopback connection,
// measured in the same run on the same machine.
#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <thread>
#include <unistd.h>
#include <vector>

#include "BenchSockets.h"
#include "RelayUnderTest.h"

namespace relaybench {
namespace {

constexpr std::size_t kBytesPerRound = 64u << 20;
constexpr std::size_t kWriteChunk = 64 * 1024;

double ThreadCpuSeconds()
{
    timespec used{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &used);
    return static_cast<double>(used.tv_sec) + static_cast<double>(used.tv_nsec) / 1e9;
}

struct Round {
    double seconds = -1;     // wall clock; negative when the stream ended early
    double cpuSeconds = 0;   // of the writer and the reader together
};

// One writer thread, the calling thread reads: kBytesPerRound from one socket to the other.
Round OneRound(int writer, int reader)
{
    static const std::vector<char> chunk(kWriteChunk, 'f');
    const auto start = std::chrono::steady_clock::now();
    double writerCpu = 0;
    std::thread sender([writer, &writerCpu] {
        const double before = ThreadCpuSeconds();
        for (std::size_t sent = 0; sent < kBytesPerRound; sent += kWriteChunk)
            SendAll(writer, chunk.data(), kWriteChunk);
        writerCpu = ThreadCpuSeconds() - before;
    });
    const double readerBefore = ThreadCpuSeconds();
    const bool complete = ReceiveAll(reader, kBytesPerRound);
    const double readerCpu = ThreadCpuSeconds() - readerBefore;
    sender.join();
    if (!complete)
        return {};
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), writerCpu + readerCpu};
}

struct Connection {
    int writer = -1;
    int reader = -1;
    ~Connection()
    {
        close(writer);
        close(reader);
    }
};

// A cliente and a tecnico paired through the relay; the cliente writes, as with frames.
void RelayedPair(unsigned short port, Connection& c)
{
    c.writer = ConnectLoopback(port);
    SendAll(c.writer, JoinLine("bench", "cliente").data(), JoinLine("bench", "cliente").size());
    ReceiveLine(c.writer);  // waiting
    c.reader = ConnectLoopback(port);
    SendAll(c.reader, JoinLine("bench", "tecnico").data(), JoinLine("bench", "tecnico").size());
    ReceiveLine(c.reader);  // paired
    ReceiveLine(c.writer);  // paired
}

void Transfer(benchmark::State& state, Connection& c)
{
    for (auto _ : state) {
        const Round round = OneRound(c.writer, c.reader);
        if (round.seconds < 0)
            return state.SkipWithError("the stream ended early");
        state.SetIterationTime(round.seconds);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytesPerRound));
}

void DirectLoopback(benchmark::State& state)
{
    Connection c;
    DirectPair(c.writer, c.reader);
    Transfer(state, c);
}
BENCHMARK(DirectLoopback)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2);

void RelayedSession(benchmark::State& state)
{
    relay::RelayLimits limits;
    limits.bufferBytes = static_cast<std::size_t>(state.range(0)) * 1024;
    RelayUnderTest relay(limits);
    Connection c;
    RelayedPair(relay.Port(), c);
    Transfer(state, c);
}
BENCHMARK(RelayedSession)->ArgName("buffer_KiB")->Arg(64)->Arg(256)->UseManualTime()
    ->Unit(benchmark::kMillisecond)->MinTime(2);

// Both in turn within one benchmark, so drift of the machine hits both alike;
// "ratio" is relayed over direct. On a busy machine the relayed stream, which
// needs a third thread, loses more than the direct one, so "cpu_ratio" adds
// what each costs in CPU: direct (writer and reader) over relayed (writer,
// reader and the relay's thread), the rate ratio when CPU is what limits both.
void RelayToDirectRatio(benchmark::State& state)
{
    RelayUnderTest relay;
    Connection direct, relayed;
    DirectPair(direct.writer, direct.reader);
    RelayedPair(relay.Port(), relayed);
    Round directTotal{0, 0}, relayedTotal{0, 0};
    const double relayCpuBefore = relay.CpuSeconds();
    for (auto _ : state) {
        const Round d = OneRound(direct.writer, direct.reader);
        const Round r = OneRound(relayed.writer, relayed.reader);
        if (d.seconds < 0 || r.seconds < 0)
            return state.SkipWithError("a stream ended early");
        directTotal = {directTotal.seconds + d.seconds, directTotal.cpuSeconds + d.cpuSeconds};
        relayedTotal = {relayedTotal.seconds + r.seconds, relayedTotal.cpuSeconds + r.cpuSeconds};
        state.SetIterationTime(d.seconds + r.seconds);
    }
    const double relayCpu = relay.CpuSeconds() - relayCpuBefore;
    const double gib = static_cast<double>(state.iterations() * kBytesPerRound) / (1 << 30);
    state.counters["direct_MiB_s"] = gib * 1024 / directTotal.seconds;
    state.counters["relayed_MiB_s"] = gib * 1024 / relayedTotal.seconds;
    state.counters["ratio"] = directTotal.seconds / relayedTotal.seconds;
    state.counters["direct_cpu_ms_per_GiB"] = directTotal.cpuSeconds * 1000 / gib;
    state.counters["relay_cpu_ms_per_GiB"] = relayCpu * 1000 / gib;
    state.counters["cpu_ratio"] = directTotal.cpuSeconds / (relayedTotal.cpuSeconds + relayCpu);
}
BENCHMARK(RelayToDirectRatio)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(12);

}  // namespace
}  // namespace relaybench

BENCHMARK_MAIN();
