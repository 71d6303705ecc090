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
    double writerCpu = 0;
    double readerCpu = 0;

    Round& operator+=(const Round& other)
    {
        seconds += other.seconds;
        writerCpu += other.writerCpu;
        readerCpu += other.readerCpu;
        return *this;
    }
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
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), writerCpu, readerCpu};
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

// The relay's one buffer per direction: a pipe of buffer_KiB, or with
// splice:0 a copy buffer of that size.
relay::RelayLimits LimitsFor(const benchmark::State& state)
{
    relay::RelayLimits limits;
    limits.splice = state.range(1) != 0;
    (limits.splice ? limits.pipeBytes : limits.bufferBytes) = static_cast<std::size_t>(state.range(0)) * 1024;
    return limits;
}

void RelayedSession(benchmark::State& state)
{
    RelayUnderTest relay(LimitsFor(state));
    Connection c;
    RelayedPair(relay.Port(), c);
    Transfer(state, c);
}
BENCHMARK(RelayedSession)->ArgNames({"buffer_KiB", "splice"})->ArgsProduct({{16, 1024}, {1, 0}})->UseManualTime()
    ->Unit(benchmark::kMillisecond)->MinTime(2);

// Both in turn within one benchmark, so drift of the machine hits both alike;
// "ratio" is relayed over direct. On a busy machine the relayed stream, which
// needs a third thread, loses more than the direct one, so the CPU each party
// spends per GiB is reported too (it does not depend on the load), and
// "cpu_ratio": direct (writer and reader) over relayed (writer, reader and the
// relay's thread), the rate ratio when CPU is what limits both.
void RelayToDirectRatio(benchmark::State& state)
{
    RelayUnderTest relay(LimitsFor(state));
    Connection direct, relayed;
    DirectPair(direct.writer, direct.reader);
    RelayedPair(relay.Port(), relayed);
    Round directTotal{0, 0, 0}, relayedTotal{0, 0, 0};
    const double relayCpuBefore = relay.CpuSeconds();
    for (auto _ : state) {
        const Round d = OneRound(direct.writer, direct.reader);
        const Round r = OneRound(relayed.writer, relayed.reader);
        if (d.seconds < 0 || r.seconds < 0)
            return state.SkipWithError("a stream ended early");
        directTotal += d;
        relayedTotal += r;
        state.SetIterationTime(d.seconds + r.seconds);
    }
    const double relayCpu = relay.CpuSeconds() - relayCpuBefore;
    const double gib = static_cast<double>(state.iterations() * kBytesPerRound) / (1 << 30);
    const auto perGiB = [gib](double seconds) { return seconds * 1000 / gib; };
    state.counters["direct_MiB_s"] = gib * 1024 / directTotal.seconds;
    state.counters["relayed_MiB_s"] = gib * 1024 / relayedTotal.seconds;
    state.counters["ratio"] = directTotal.seconds / relayedTotal.seconds;
    state.counters["direct_writer_ms_GiB"] = perGiB(directTotal.writerCpu);
    state.counters["direct_reader_ms_GiB"] = perGiB(directTotal.readerCpu);
    state.counters["relayed_writer_ms_GiB"] = perGiB(relayedTotal.writerCpu);
    state.counters["relayed_reader_ms_GiB"] = perGiB(relayedTotal.readerCpu);
    state.counters["relay_ms_GiB"] = perGiB(relayCpu);
    state.counters["cpu_ratio"] = (directTotal.writerCpu + directTotal.readerCpu)
        / (relayedTotal.writerCpu + relayedTotal.readerCpu + relayCpu);
}
BENCHMARK(RelayToDirectRatio)->ArgNames({"buffer_KiB", "splice"})->ArgsProduct({{16, 1024}, {1, 0}})
    ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(12);

}  // namespace
}  // namespace relaybench

BENCHMARK_MAIN();
