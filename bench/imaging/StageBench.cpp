// Each stage of the two frame pipelines on its own, on the painted screen.
#include "BenchStage.h"
#include "core/imaging/AreaScaler.h"
#include "core/imaging/CaptureSize.h"
#include "core/imaging/CursorOverlay.h"
#include "core/imaging/FileBytes.h"
#include "core/imaging/JpegCodec.h"
#include "core/imaging/YuvPlanes.h"
#include "core/link/LinkMessages.h"
#include "platform/x11/CaptureRootImage.h"

#include <QImage>
#include <cstring>
#include <X11/Xlib.h>

namespace {

struct DisplayConnection {
    Display* display = XOpenDisplay(nullptr);
    ~DisplayConnection()
    {
        if (display)
            XCloseDisplay(display);
    }
};

// The root window into the kept shared-memory image, as every frame starts.
void GrabRoot(benchmark::State& state)
{
    BenchStage& stage = SharedStage();
    if (!stage.Ready(state))
        return;
    DisplayConnection connection;
    platform::CaptureRootImage root(connection.display);
    const int w = stage.screen->ScreenWidth(), h = stage.screen->ScreenHeight();
    QString error;
    for (auto _ : state)
        if (!root.Read(w, h, &error))
            state.SkipWithError(error.toStdString().c_str());
    state.counters["shared_memory"] = root.shared();
}
BENCHMARK(GrabRoot)->Unit(benchmark::kMillisecond);

// The grabbed screen shrunk to each frame size of the quality table (and
// 1707 × 960, a ratio the exact path declines).
void ShrinkScreen(benchmark::State& state)
{
    BenchStage& stage = SharedStage();
    if (!stage.Ready(state))
        return;
    DisplayConnection connection;
    platform::CaptureRootImage root(connection.display);
    const int w = stage.screen->ScreenWidth(), h = stage.screen->ScreenHeight();
    QString error;
    if (!root.Read(w, h, &error)) {
        state.SkipWithError(error.toStdString().c_str());
        return;
    }
    imaging::AreaScaler scaler;
    imaging::Frame frame;
    frame.Resize(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        scaler.Scale(root.pixels(), w, h, root.stride(), &frame);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(ShrinkScreen)
    ->Args({1920, 1080})
    ->Args({1600, 900})
    ->Args({1280, 720})
    ->Args({1707, 960})
    ->Unit(benchmark::kMillisecond);

// The pointer read from the server and blended in.
void Cursor(benchmark::State& state)
{
    BenchStage& stage = SharedStage();
    if (!stage.Ready(state))
        return;
    imaging::Frame frame = stage.frame;
    imaging::CursorImage cursor;
    const imaging::ScreenRect screen{0, 0, stage.screen->ScreenWidth(), stage.screen->ScreenHeight()};
    QString error;
    for (auto _ : state) {
        QPoint at;
        if (stage.source->ReadCursor(&cursor, &error)
            && imaging::CursorDrawPoint(screen, QSize(frame.width(), frame.height()), cursor, &at, &error))
            imaging::BlendCursor(cursor, at, &frame);
    }
    state.counters["cursor_pixels"] = static_cast<double>(cursor.width * cursor.height);
}
BENCHMARK(Cursor)->Unit(benchmark::kMicrosecond);

void Encode(benchmark::State& state)
{
    BenchStage& stage = SharedStage();
    if (!stage.Ready(state))
        return;
    imaging::JpegEncoder encoder;
    QString error;
    for (auto _ : state)
        if (!encoder.Encode(stage.frame, kQuality, &error))
            state.SkipWithError(error.toStdString().c_str());
}
BENCHMARK(Encode)->Unit(benchmark::kMillisecond);

// The frame into JPEG's own 4:2:0 planes, row pair by row pair as the
// scaler hands them over (FillPlanes), and those planes encoded.
void ConvertToPlanes(benchmark::State& state)
{
    BenchStage& stage = SharedStage();
    if (!stage.Ready(state))
        return;
    imaging::YuvPlanes planes;
    imaging::YuvRowWriter rows;
    for (auto _ : state) {
        FillPlanes(stage.frame, rows, &planes);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(ConvertToPlanes)->Unit(benchmark::kMillisecond);

void EncodePlanes(benchmark::State& state)
{
    BenchStage& stage = SharedStage();
    if (!stage.Ready(state))
        return;
    imaging::YuvPlanes planes;
    imaging::YuvRowWriter rows;
    FillPlanes(stage.frame, rows, &planes);
    imaging::JpegEncoder encoder;
    QString error;
    for (auto _ : state)
        if (!encoder.Encode(planes, kQuality, &error))
            state.SkipWithError(error.toStdString().c_str());
    state.counters["jpeg_bytes"] = static_cast<double>(encoder.bytes().size());
}
BENCHMARK(EncodePlanes)->Unit(benchmark::kMillisecond);

void FileWrite(benchmark::State& state)
{
    BenchStage& stage = SharedStage();
    if (!stage.Ready(state))
        return;
    for (auto _ : state)
        imaging::ReplaceFile(stage.folder.FramePath(), stage.jpeg, nullptr);
}
BENCHMARK(FileWrite)->Unit(benchmark::kMicrosecond);

void FileRead(benchmark::State& state)
{
    BenchStage& stage = SharedStage();
    if (!stage.Ready(state))
        return;
    imaging::ReplaceFile(stage.folder.FramePath(), stage.jpeg, nullptr);
    QByteArray bytes;
    for (auto _ : state)
        imaging::ReadWholeFile(stage.folder.FramePath(), &bytes, nullptr);
}
BENCHMARK(FileRead)->Unit(benchmark::kMicrosecond);

void Base64EncodeFrame(benchmark::State& state)
{
    BenchStage& stage = SharedStage();
    if (!stage.Ready(state))
        return;
    QByteArray text;
    for (auto _ : state)
        modScreen::Base64Encode(stage.jpeg, &text);
    state.SetBytesProcessed(state.iterations() * stage.jpeg.size());
}
BENCHMARK(Base64EncodeFrame)->Unit(benchmark::kMicrosecond);

// The geometry of the moment (four requests to the server) and the header;
// the Base64 text goes straight after it (Base64EncodeFrame).
void Message(benchmark::State& state)
{
    BenchStage& stage = SharedStage();
    if (!stage.Ready(state))
        return;
    modScreen& screen = *stage.screen;
    QByteArray message;
    for (auto _ : state)
        screenlink::WriteFrameHeader(message, screen.ScreenLeft(), screen.ScreenTop(), screen.ScreenWidth(),
                                     screen.ScreenHeight(), stage.text.size());
}
BENCHMARK(Message)->Unit(benchmark::kMicrosecond);

void Base64DecodeFrame(benchmark::State& state)
{
    BenchStage& stage = SharedStage();
    if (!stage.Ready(state))
        return;
    QByteArray bytes;
    for (auto _ : state)
        modScreen::Base64Decode(stage.text, &bytes, nullptr);
    state.SetBytesProcessed(state.iterations() * stage.text.size());
}
BENCHMARK(Base64DecodeFrame)->Unit(benchmark::kMicrosecond);

void QtFromBase64Frame(benchmark::State& state)
{
    BenchStage& stage = SharedStage();
    if (!stage.Ready(state))
        return;
    for (auto _ : state)
        benchmark::DoNotOptimize(QByteArray::fromBase64(stage.text));
    state.SetBytesProcessed(state.iterations() * stage.text.size());
}
BENCHMARK(QtFromBase64Frame)->Unit(benchmark::kMicrosecond);

void Decode(benchmark::State& state)
{
    BenchStage& stage = SharedStage();
    if (!stage.Ready(state))
        return;
    QImage picture;
    QString error;
    for (auto _ : state)
        if (!stage.screen->DecodePicture(stage.jpeg, &picture, &error))
            state.SkipWithError(error.toStdString().c_str());
}
BENCHMARK(Decode)->Unit(benchmark::kMillisecond);

}  // namespace
