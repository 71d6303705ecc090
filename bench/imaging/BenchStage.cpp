#include "BenchStage.h"

#include <chrono>
#include <cstring>
#include <ctime>

BenchStage::BenchStage()
{
    if (!painter.Ready() || !folder.Prepare(&error))
        return;
    source = platform::ScreenSourceX11::Open(nullptr, &error);
    if (!source)
        return;
    screen = std::make_unique<modScreen>(*source);
    const imaging::Frame* captured = screen->CaptureScreenPicture(kMaxWidth, kMaxHeight, &error);
    if (!captured) {
        screen.reset();
        return;
    }
    frame = *captured;
    if (!screen->CaptureScreenJpeg(folder.FramePath(), kQuality, kMaxWidth, kMaxHeight, &error)) {
        screen.reset();
        return;
    }
    jpeg = screen->LastJpeg().toByteArray();
    modScreen::Base64Encode(jpeg, &text);
}

bool BenchStage::Ready(benchmark::State& state) const
{
    if (!screen)
        state.SkipWithError(error.isEmpty() ? "no display" : error.toStdString().c_str());
    return screen != nullptr;
}

BenchStage& SharedStage()
{
    static BenchStage stage;
    return stage;
}

void FillPlanes(const imaging::Frame& frame, imaging::YuvRowWriter& rows, imaging::YuvPlanes* planes)
{
    rows.Start(planes, frame.width(), frame.height(), nullptr, QPoint());
    for (int y = 0; y < frame.height(); ++y) {
        std::memcpy(rows.Row(y), frame.row(y), static_cast<size_t>(frame.stride()));
        rows.Done(y);
    }
}

double ThreadSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double WallSeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}
