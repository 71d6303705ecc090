// The sender's CPU per frame for the capture (grab and area-averaging into
// the frame; the JPEG stage after it is the same code on both) on a
// headless GNOME desktop through the portal, and on Xvfb through XShm, both
// 1280 × 800, in the same run. Process CPU time, so PipeWire's thread counts.
// The desktop does not change, so the Wayland figure is the cost of reading
// the held buffer, not of receiving new ones.
//
//   wayland_capture_bench [benchmark options]
#include "HeadlessGnome.h"
#include "support/XvfbDisplay.h"

#include "core/imaging/Frame.h"
#include "platform/wayland/PortalDesktop.h"
#include "platform/wayland/ScreenSourcePortal.h"
#include "platform/x11/ScreenSourceX11.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>
#include <cstdio>

namespace {

void Grab(benchmark::State& state, imaging::ScreenSource* source)
{
    const QSize size(int(state.range(0)), int(state.range(1)));
    imaging::Frame frame;
    QString error;
    for (auto _ : state)
        if (!source->Grab(size, &frame, &error))
            state.SkipWithError(error.toStdString().c_str());
    state.SetLabel(QStringLiteral("%1x%2").arg(size.width()).arg(size.height()).toStdString());
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    testing_support::XvfbDisplay xvfb(1280, 800, "/dev/null");
    testing_support::HeadlessGnome gnome;
    QString error;
    auto x11 = xvfb.Ready() ? platform::ScreenSourceX11::Open(xvfb.Name().c_str(), &error) : nullptr;
    auto desktop = std::make_shared<platform::PortalDesktop>();
    auto portal = gnome.Ready() ? platform::ScreenSourcePortal::Open(desktop, &error) : nullptr;
    if (!x11 || !portal || !gnome.AnswerNextDialog(true) || !desktop->Ready(&error)) {
        std::fprintf(stderr, "wayland_capture_bench: %s\n", qPrintable(error));
        return 1;
    }
    gnome.StopAnswering();
    for (const auto& [name, source] : {std::pair{"X11/XShm", static_cast<imaging::ScreenSource*>(x11.get())},
                                       std::pair{"Wayland/portal", static_cast<imaging::ScreenSource*>(portal.get())}})
        benchmark::RegisterBenchmark(name, Grab, source)
            ->Args({1280, 800})
            ->Args({1024, 640})
            ->MeasureProcessCPUTime()
            ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
