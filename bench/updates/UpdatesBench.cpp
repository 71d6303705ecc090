#include "core/imaging/JpegCodec.h"
#include "core/updates/ComposedScreen.h"
#include "core/updates/UpdateEncoder.h"
#include "core/updates/SyntheticScreens.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int kWidth = 1600;
constexpr int kHeight = 900;
constexpr int kQuality = 70;  // the direct route's highest sharpness
const imaging::ScreenRect kScreen{0, 0, kWidth, kHeight};

using Paint = void (*)(imaging::Frame&, const QRect&, int);

// A desktop with a text window and a photo on it, and an area of it that
// changes at every update.
imaging::Frame StartingDesktop()
{
    imaging::Frame frame = updatestest::Desktop(kWidth, kHeight);
    for (int y = 100; y < 700; y += 16)
        updatestest::Text(frame, QRect(100, y, 700, 16), y);
    updatestest::Photo(frame, QRect(900, 100, 600, 400), 1);
    return frame;
}

class NullSink final : public updates::ScreenUpdateSink {
public:
    void Repaint(const QRegion&) override {}
    void Acknowledge(quint32) override {}
    screenlink::LinkOutcome OnCommand(const QByteArray&) override { return {}; }
    void OnStreamError(const QString&) override { failed = true; }
    bool failed = false;
};

void Encode(benchmark::State& state, Paint paint, const QRect& area)
{
    imaging::Frame frame = StartingDesktop();
    updates::UpdateEncoder encoder;
    QByteArray bytes;
    QString error;
    encoder.AppendUpdate(frame, kScreen, kQuality, 0, bytes, &error);
    qint64 sent = 0;
    quint32 sequence = 0;
    for (auto _ : state) {
        paint(frame, area, static_cast<int>(++sequence) + 100);  // never the starting picture
        bytes.clear();
        if (!encoder.AppendUpdate(frame, kScreen, kQuality, sequence, bytes, &error))
            state.SkipWithError(error.isEmpty() ? "no update" : qPrintable(error));
        sent += bytes.size();
    }
    state.counters["bytes_per_update"] = static_cast<double>(sent) / static_cast<double>(state.iterations());
}

// A 400 x 200 area of text retyped per update: goes lossless.
void EncodeTextChange(benchmark::State& state) { Encode(state, updatestest::Text, QRect(128, 128, 400, 200)); }
// A 400 x 300 area of a photo per update (a video): goes as JPEG.
void EncodePhotoChange(benchmark::State& state) { Encode(state, updatestest::Photo, QRect(960, 128, 400, 300)); }

// The same text area coded as JPEG, for the choice of coding.
void JpegOfTheTextArea(benchmark::State& state)
{
    imaging::Frame frame = StartingDesktop();
    const QRect area(128, 128, 400, 200);
    imaging::JpegEncoder jpeg;
    QString error;
    qint64 sent = 0;
    int seed = 0;
    for (auto _ : state) {
        updatestest::Text(frame, area, ++seed);
        jpeg.Encode(frame.row(area.top()) + area.left() * 4, area.width(), area.height(), frame.stride(), kQuality,
                    &error);
        sent += jpeg.bytes().size();
    }
    state.counters["bytes_per_update"] = static_cast<double>(sent) / static_cast<double>(state.iterations());
}

void DetectIdleScreen(benchmark::State& state)
{
    const imaging::Frame frame = StartingDesktop();
    updates::ChangeDetector detector;
    detector.Compare(frame);
    for (auto _ : state)
        benchmark::DoNotOptimize(detector.Compare(frame).size());
}

// Parsing and composing one update of each kind, as the technician does.
void ParseAndCompose(benchmark::State& state, Paint paint, const QRect& area)
{
    imaging::Frame frame = StartingDesktop();
    updates::UpdateEncoder encoder;
    QByteArray first, next;
    QString error;
    encoder.AppendUpdate(frame, kScreen, kQuality, 0, first, &error);
    paint(frame, area, 7);
    encoder.AppendUpdate(frame, kScreen, kQuality, 1, next, &error);
    NullSink sink;
    updates::ComposedScreen screen(sink);
    updates::UpdateParser parser(updates::Direction::ToTecnico, screen);
    parser.Feed(first);
    for (auto _ : state)
        parser.Feed(next);
    if (sink.failed)
        state.SkipWithError("stream refused");
    state.SetBytesProcessed(state.iterations() * next.size());
}

void ComposeTextChange(benchmark::State& state) { ParseAndCompose(state, updatestest::Text, QRect(128, 128, 400, 200)); }
void ComposePhotoChange(benchmark::State& state)
{
    ParseAndCompose(state, updatestest::Photo, QRect(960, 128, 400, 300));
}
void ComposeWholeScreen(benchmark::State& state)
{
    ParseAndCompose(state, updatestest::Photo, QRect(0, 0, kWidth, kHeight));
}

}  // namespace

BENCHMARK(DetectIdleScreen)->Unit(benchmark::kMicrosecond);
BENCHMARK(EncodeTextChange)->Unit(benchmark::kMicrosecond);
BENCHMARK(JpegOfTheTextArea)->Unit(benchmark::kMicrosecond);
BENCHMARK(EncodePhotoChange)->Unit(benchmark::kMicrosecond);
BENCHMARK(ComposeTextChange)->Unit(benchmark::kMicrosecond);
BENCHMARK(ComposePhotoChange)->Unit(benchmark::kMicrosecond);
BENCHMARK(ComposeWholeScreen)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
