#pragma once

#include "AllocationCounter.h"
#include "DesktopPainter.h"
#include "core/imaging/TempFolder.h"
#include "core/imaging/YuvPlanes.h"
#include "core/imaging/modScreen.h"
#include "platform/x11/ScreenSourceX11.h"

#include <QByteArray>
#include <QString>
#include <benchmark/benchmark.h>
#include <memory>

// The frame as the quality table's sharpest level sends it from a
// 2560 × 1440 screen.
constexpr int kQuality = 64;
constexpr int kMaxWidth = 1920;
constexpr int kMaxHeight = 1080;

// The desktop on screen, the program's source and module over it, and one
// sent frame at every stage, for the baselines and the receiving side.
struct BenchStage {
    DesktopPainter painter;
    std::unique_ptr<platform::ScreenSourceX11> source;
    std::unique_ptr<modScreen> screen;
    imaging::TempFolder folder;
    imaging::Frame frame;  // a copy of one capture
    QByteArray jpeg;
    QByteArray text;
    QString error;

    BenchStage();
    // False, with the benchmark skipped, when there is no usable display.
    bool Ready(benchmark::State& state) const;
};

BenchStage& SharedStage();

// The frame's rows copied one by one into `rows`, which fills `planes`.
void FillPlanes(const imaging::Frame& frame, imaging::YuvRowWriter& rows, imaging::YuvPlanes* planes);

// Seconds of this thread's processor time, whatever else runs beside it.
double ThreadSeconds();
// Seconds on the steady clock.
double WallSeconds();

// Runs `pipeline` and `baseline` in turn; the iteration time is the
// pipeline's. "ratio" is its wall time over the baseline's in this same run,
// "cpu_ratio" the same for processor time, which a busy machine disturbs less.
template <typename Pipeline, typename Baseline>
void Compare(benchmark::State& state, Pipeline pipeline, Baseline baseline)
{
    pipeline();  // the first frame sizes every buffer
    double wall[2] = {0, 0}, cpu[2] = {0, 0};
    size_t large = 0;
    for (auto _ : state) {
        allocation::StartCounting();
        const double wall0 = WallSeconds(), cpu0 = ThreadSeconds();
        pipeline();
        const double wall1 = WallSeconds(), cpu1 = ThreadSeconds();
        large += allocation::StopCounting();
        baseline();
        const double wall2 = WallSeconds(), cpu2 = ThreadSeconds();
        state.SetIterationTime(wall1 - wall0);
        wall[0] += wall1 - wall0, wall[1] += wall2 - wall1;
        cpu[0] += cpu1 - cpu0, cpu[1] += cpu2 - cpu1;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["ratio"] = wall[0] / wall[1];
    state.counters["cpu_ratio"] = cpu[0] / cpu[1];
    state.counters["cpu_ms"] = cpu[0] / n * 1e3;
    state.counters["baseline_ms"] = wall[1] / n * 1e3;
    state.counters["baseline_cpu_ms"] = cpu[1] / n * 1e3;
    state.counters["large_allocs_per_frame"] = static_cast<double>(large) / n;
}
