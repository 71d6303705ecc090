#include "AllocationCounter.h"
#include "DesktopPainter.h"
#include "core/imaging/AreaScaler.h"
#include "core/imaging/TempFolder.h"
#include "core/imaging/modScreen.h"
#include "platform/x11/ScreenSourceX11.h"

#include <QByteArray>
#include <QImage>
#include <benchmark/benchmark.h>
#include <chrono>
#include <memory>
#include <turbojpeg.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kQuality = 64;
constexpr int kMaxWidth = 1920;
constexpr int kMaxHeight = 1080;

double Seconds(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

// The desktop on screen, the program's source and module over it, and one
// sent frame at every stage, for the baselines and the receiving side.
struct Stage {
    DesktopPainter painter;
    std::unique_ptr<platform::ScreenSourceX11> source;
    std::unique_ptr<modScreen> screen;
    imaging::TempFolder folder;
    imaging::Frame frame;  // a copy of one capture
    QByteArray jpeg;
    QByteArray text;
    QString error;

    Stage()
    {
        if (!painter.Ready() || !folder.Prepare(&error))
            return;
        source = platform::ScreenSourceX11::Open(nullptr, &error);
        if (!source)
            return;
        screen = std::make_unique<modScreen>(*source);
        const imaging::Frame* captured = screen->CaptureScreenPicture(kMaxWidth, kMaxHeight, &error);
        if (!captured || !screen->CaptureScreenJpeg(folder.FramePath(), kQuality, kMaxWidth, kMaxHeight, &error)
            || !modScreen::ReadFileBytes(folder.FramePath(), &jpeg, &error)) {
            screen.reset();
            return;
        }
        frame = *captured;
        modScreen::Base64Encode(jpeg, &text);
    }
    bool Ready(benchmark::State& state) const
    {
        if (!screen)
            state.SkipWithError(error.isEmpty() ? "no display" : error.toStdString().c_str());
        return screen != nullptr;
    }
};

Stage& Shared()
{
    static Stage stage;
    return stage;
}

// TurboJPEG alone, as a program that only encodes would call it.
class PlainEncoder {
public:
    PlainEncoder(const imaging::Frame& frame) : frame_(frame), handle_(tjInitCompress())
    {
        capacity_ = tjBufSize(frame.width(), frame.height(), TJSAMP_420);
        buffer_ = tjAlloc(static_cast<int>(capacity_));
    }
    ~PlainEncoder()
    {
        tjFree(buffer_);
        tjDestroy(handle_);
    }
    unsigned long Encode()
    {
        unsigned long size = capacity_;
        tjCompress2(handle_, frame_.row(0), frame_.width(), frame_.stride(), frame_.height(), TJPF_BGRX, &buffer_,
                    &size, TJSAMP_420, kQuality, TJFLAG_NOREALLOC | TJFLAG_FASTDCT);
        return size;
    }

private:
    const imaging::Frame& frame_;
    tjhandle handle_;
    unsigned char* buffer_;
    unsigned long capacity_;
};

class PlainDecoder {
public:
    PlainDecoder(const QByteArray& jpeg) : jpeg_(jpeg), handle_(tjInitDecompress())
    {
        int subsampling = 0, colorspace = 0;
        tjDecompressHeader3(handle_, Bytes(), jpeg.size(), &width_, &height_, &subsampling, &colorspace);
        pixels_.resize(static_cast<size_t>(width_) * height_ * 4);
    }
    ~PlainDecoder() { tjDestroy(handle_); }
    int Decode()
    {
        return tjDecompress2(handle_, Bytes(), jpeg_.size(), pixels_.data(), width_, width_ * 4, height_, TJPF_BGRX,
                             TJFLAG_FASTDCT);
    }

private:
    const unsigned char* Bytes() const { return reinterpret_cast<const unsigned char*>(jpeg_.constData()); }

    const QByteArray& jpeg_;
    tjhandle handle_;
    int width_ = 0, height_ = 0;
    std::vector<unsigned char> pixels_;
};

// Runs `pipeline` and `baseline` in turn; the iteration time is the
// pipeline's, and "ratio" is its total over the baseline's in this same run.
template <typename Pipeline, typename Baseline>
void Compare(benchmark::State& state, Pipeline pipeline, Baseline baseline)
{
    pipeline();  // the first frame sizes every buffer
    double pipelineSeconds = 0, baselineSeconds = 0;
    size_t large = 0;
    for (auto _ : state) {
        allocation::StartCounting();
        const auto start = Clock::now();
        pipeline();
        const auto middle = Clock::now();
        large += allocation::StopCounting();
        baseline();
        const auto end = Clock::now();
        state.SetIterationTime(Seconds(start, middle));
        pipelineSeconds += Seconds(start, middle);
        baselineSeconds += Seconds(middle, end);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["ratio"] = pipelineSeconds / baselineSeconds;
    state.counters["baseline_ms"] = baselineSeconds / n * 1e3;
    state.counters["large_allocs_per_frame"] = static_cast<double>(large) / n;
}

// Capture of the 2560 × 1440 screen shrunk to 1920 × 1080 with the pointer,
// JPEG file, its bytes and Base64: against TurboJPEG encoding the same pixels.
void SenderFrame(benchmark::State& state)
{
    Stage& stage = Shared();
    if (!stage.Ready(state))
        return;
    PlainEncoder plain(stage.frame);
    QByteArray bytes, text;
    QString error;
    bool ok = true;
    Compare(
        state,
        [&] {
            ok = ok && stage.screen->CaptureScreenJpeg(stage.folder.FramePath(), kQuality, kMaxWidth, kMaxHeight, &error)
                && modScreen::ReadFileBytes(stage.folder.FramePath(), &bytes, &error);
            modScreen::Base64Encode(bytes, &text);
        },
        [&] { benchmark::DoNotOptimize(plain.Encode()); });
    if (!ok)
        state.SkipWithError(error.toStdString().c_str());
    state.counters["jpeg_bytes"] = bytes.size();
}
BENCHMARK(SenderFrame)->UseManualTime()->Unit(benchmark::kMillisecond);

// Base64 text to bytes, the received-frame file and the decoded picture:
// against TurboJPEG decoding the same JPEG.
void ReceiverFrame(benchmark::State& state)
{
    Stage& stage = Shared();
    if (!stage.Ready(state))
        return;
    PlainDecoder plain(stage.jpeg);
    QByteArray bytes;
    QImage picture;
    QString error;
    bool ok = true;
    Compare(
        state,
        [&] {
            ok = ok && modScreen::Base64Decode(stage.text, &bytes, &error)
                && modScreen::WriteFileBytes(stage.folder.RemotePath(), bytes, &error)
                && stage.screen->DecodePicture(bytes, &picture, &error);
        },
        [&] { benchmark::DoNotOptimize(plain.Decode()); });
    if (!ok)
        state.SkipWithError(error.toStdString().c_str());
}
BENCHMARK(ReceiverFrame)->UseManualTime()->Unit(benchmark::kMillisecond);

// The parts on their own.
void GrabAndShrink(benchmark::State& state)
{
    Stage& stage = Shared();
    if (!stage.Ready(state))
        return;
    imaging::Frame frame;
    QString error;
    for (auto _ : state)
        if (!stage.source->Grab(QSize(kMaxWidth, kMaxHeight), &frame, &error))
            state.SkipWithError(error.toStdString().c_str());
}
BENCHMARK(GrabAndShrink)->Unit(benchmark::kMillisecond);

void ShrinkOnly(benchmark::State& state)
{
    std::vector<uint8_t> screen(2560 * 1440 * 4);
    for (size_t i = 0; i < screen.size(); ++i)
        screen[i] = static_cast<uint8_t>(i * 2654435761u >> 24);
    imaging::AreaScaler scaler;
    imaging::Frame frame;
    frame.Resize(state.range(0), state.range(1));
    for (auto _ : state) {
        scaler.Scale(screen.data(), 2560, 1440, 2560 * 4, &frame);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(ShrinkOnly)->Args({1920, 1080})->Args({1707, 960})->Args({1280, 720})->Unit(benchmark::kMillisecond);

void Base64EncodeFrame(benchmark::State& state)
{
    Stage& stage = Shared();
    if (!stage.Ready(state))
        return;
    QByteArray text;
    for (auto _ : state)
        modScreen::Base64Encode(stage.jpeg, &text);
    state.SetBytesProcessed(state.iterations() * stage.jpeg.size());
}
BENCHMARK(Base64EncodeFrame)->Unit(benchmark::kMicrosecond);

void Base64DecodeFrame(benchmark::State& state)
{
    Stage& stage = Shared();
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
    Stage& stage = Shared();
    if (!stage.Ready(state))
        return;
    for (auto _ : state)
        benchmark::DoNotOptimize(QByteArray::fromBase64(stage.text));
    state.SetBytesProcessed(state.iterations() * stage.text.size());
}
BENCHMARK(QtFromBase64Frame)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
