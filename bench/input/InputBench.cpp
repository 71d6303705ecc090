#include "core/input/CommandEncoder.h"
#include "core/input/modRemoteInput.h"
#include "platform/x11/InputSinkXTest.h"

#include <QStringList>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <vector>

namespace {

class NoControlCommands final : public input::RemoteCommandTarget {
public:
    void EncerradaPeloOutro() override {}
    void AplicarQualidadeRemota(int, int) override {}
    void LogEvent(const QString&) override {}
};

// Runs `lines` in turn through the dispatcher onto the real X server and
// reports the median and 99th percentile of one line.
void RunLines(benchmark::State& state, const QStringList& lines)
{
    QString error;
    const auto sink = platform::InputSinkXTest::Open(nullptr, &error);
    if (!sink) {
        state.SkipWithError(error.toStdString().c_str());
        return;
    }
    NoControlCommands target;
    input::modRemoteInput commands(*sink, target);
    std::vector<double> nanoseconds;
    nanoseconds.reserve(1 << 20);
    qsizetype next = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const auto result = commands.ExecuteRemoteCommand(lines[next]);
        const auto end = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(result);
        next = (next + 1) % lines.size();
        if (nanoseconds.size() < nanoseconds.capacity())
            nanoseconds.push_back(std::chrono::duration<double, std::nano>(end - start).count());
    }
    commands.ReleaseAllHeld();
    sink->Flush();
    if (nanoseconds.empty())
        return;
    std::sort(nanoseconds.begin(), nanoseconds.end());
    state.counters["median_ns"] = nanoseconds[nanoseconds.size() / 2];
    state.counters["p99_ns"] = nanoseconds[nanoseconds.size() * 99 / 100];
}

QStringList Moves()
{
    QStringList lines;
    for (int i = 0; i < 64; ++i)
        lines << QStringLiteral("CMD:MM:%1:%2:0").arg(100 + i * 17).arg(80 + i * 11);
    return lines;
}

void BM_MoveLineToXTest(benchmark::State& state) { RunLines(state, Moves()); }

void BM_KeyLineToXTest(benchmark::State& state)
{
    RunLines(state, {QStringLiteral("CMD:KD:65:0:1"), QStringLiteral("CMD:KU:65:0:1")});
}

// The technician's side of the same move: view point to the line handed to
// the socket.
class DiscardingLink final : public input::CommandLink {
public:
    DiscardingLink()
    {
        session.PapelTela = session::kTecnico;
        session.TelaConectada = true;
        session.RemoteWidth = 1920;
        session.RemoteHeight = 1080;
    }
    const session::SessionRecord& Session() const override { return session; }
    bool SocketConnected() const override { return true; }
    void Send(const QByteArray& line) override { benchmark::DoNotOptimize(line.data()); }
    void SolicitarEncerrarTelaRemota() override {}
    session::SessionRecord session;
};

// Each reading is 50 ms after the last, so no move is throttled.
class SteppingClock final : public timing::Clock {
public:
    float Timer() const override
    {
        now_ += 0.05f;
        if (now_ > 80000.0f)
            now_ = 1.0f;
        return now_;
    }

private:
    mutable float now_ = 1.0f;
};

void BM_ViewMoveToLine(benchmark::State& state)
{
    DiscardingLink link;
    SteppingClock clock;
    input::CommandEncoder encoder(link, clock);
    const QString move = QStringLiteral("MM");
    int x = 0;
    for (auto _ : state) {
        encoder.RemoteMouseFromView(move, x, 300, 0, 800, 600);
        x = (x + 7) % 800;
    }
}

BENCHMARK(BM_MoveLineToXTest);
BENCHMARK(BM_KeyLineToXTest);
BENCHMARK(BM_ViewMoveToLine);

}  // namespace

BENCHMARK_MAIN();
