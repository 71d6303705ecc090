#include "core/link/LinkMessages.h"
#include "core/link/TecnicoStreamParser.h"

#include <benchmark/benchmark.h>
#include <cstring>

namespace {

constexpr qsizetype kPayloadChars = 2 * 1024 * 1024;
constexpr qsizetype kChunk = 64 * 1024;

class CountingHandler final : public screenlink::TecnicoStreamHandler {
public:
    void OnRelayLine(const QByteArray&) override {}
    screenlink::LinkOutcome OnCommandLine(const QByteArray&) override { return {}; }
    void OnAccept() override {}
    void OnFrameOrigin(int, int) override {}
    screenlink::LinkOutcome OnFrame(const screenlink::ReceivedFrame& frame) override
    {
        payloadChars += frame.payload.size();
        return {};
    }
    QSize PreviewSize() const override { return {}; }
    bool SessaoEncerrada() const override { return false; }
    void Log(const QString&) override {}

    qint64 payloadChars = 0;
};

QByteArray LargeFrame()
{
    QByteArray frame;
    screenlink::WriteFrameHeader(frame, 0, 0, 3200, 1800, kPayloadChars);
    frame.append("/9j/");
    frame.append(QByteArray(kPayloadChars - 4, 'A'));
    return frame;
}

void FeedInChunks(screenlink::TecnicoStreamParser& parser, const QByteArray& frame)
{
    for (qsizetype at = 0; at < frame.size(); at += kChunk)
        parser.Feed(QByteArrayView(frame).sliced(at, std::min(kChunk, frame.size() - at)));
}

void CheckNothingLost(benchmark::State& state, const CountingHandler& handler, qsizetype frameSize)
{
    if (handler.payloadChars != kPayloadChars * static_cast<qint64>(state.iterations()))
        state.SkipWithError("frames lost");
    state.SetBytesProcessed(state.iterations() * frameSize);
}

// The same parser for every frame, as on a live link: its buffer is warm.
void TecnicoParserFrameIn64KiBChunks(benchmark::State& state)
{
    const QByteArray frame = LargeFrame();
    CountingHandler handler;
    screenlink::TecnicoStreamParser parser(handler);
    for (auto _ : state)
        FeedInChunks(parser, frame);
    CheckNothingLost(state, handler, frame.size());
}
BENCHMARK(TecnicoParserFrameIn64KiBChunks);

// A new parser per frame: the buffer grows from nothing each time.
void TecnicoParserFrameIn64KiBChunksColdBuffer(benchmark::State& state)
{
    const QByteArray frame = LargeFrame();
    CountingHandler handler;
    for (auto _ : state) {
        screenlink::TecnicoStreamParser parser(handler);
        FeedInChunks(parser, frame);
    }
    CheckNothingLost(state, handler, frame.size());
}
BENCHMARK(TecnicoParserFrameIn64KiBChunksColdBuffer);

void CopyOfTheFrameOnce(benchmark::State& state)
{
    const QByteArray frame = LargeFrame();
    QByteArray target(frame.size(), Qt::Uninitialized);
    for (auto _ : state) {
        std::memcpy(target.data(), frame.constData(), frame.size());
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * frame.size());
}
BENCHMARK(CopyOfTheFrameOnce);

}  // namespace

BENCHMARK_MAIN();
