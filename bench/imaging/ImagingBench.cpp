#include "BenchStage.h"
#include "TurboJpegAlone.h"
#include "core/imaging/Base64.h"
#include "core/link/LinkMessages.h"

#include <QByteArray>
#include <QImage>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

// What the supported side does for one frame: the capture shrunk to
// 1920 × 1080 with the pointer and written as a JPEG file, its bytes (kept
// in memory, or read back from the file as the calling order has it), and
// the Frame message with the geometry of the moment and the Base64 text
// written straight after its header.
class SenderLoop {
public:
    explicit SenderLoop(BenchStage& stage) : stage_(stage) {}

    bool Frame(bool readBack)
    {
        modScreen& screen = *stage_.screen;
        if (!screen.CaptureScreenJpeg(stage_.folder.FramePath(), kQuality, kMaxWidth, kMaxHeight, &error))
            return false;
        QByteArrayView jpeg = screen.LastJpeg();
        if (readBack) {
            if (!modScreen::ReadFileBytes(stage_.folder.FramePath(), &bytes_, &error))
                return false;
            jpeg = bytes_;
        }
        screenlink::WriteFrameHeader(message_, screen.ScreenLeft(), screen.ScreenTop(), screen.ScreenWidth(),
                                     screen.ScreenHeight(), imaging::Base64EncodedLength(jpeg.size()));
        modScreen::Base64EncodeAppend(jpeg, &message_);
        return true;
    }

    QString error;

private:
    BenchStage& stage_;
    QByteArray bytes_, message_;
};

// The sender against TurboJPEG encoding the same pixels; argument 1 reads
// the JPEG back from its file.
void SenderFrame(benchmark::State& state)
{
    BenchStage& stage = SharedStage();
    if (!stage.Ready(state))
        return;
    PlainEncoder plain(stage.frame);
    SenderLoop sender(stage);
    bool ok = true;
    Compare(
        state, [&] { ok = ok && sender.Frame(state.range(0) != 0); },
        [&] { benchmark::DoNotOptimize(plain.Encode()); });
    if (!ok)
        state.SkipWithError(sender.error.toStdString().c_str());
    state.counters["jpeg_bytes"] = static_cast<double>(stage.jpeg.size());
}
BENCHMARK(SenderFrame)->ArgName("read_back")->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// The encoding half alone: the captured frame's rows into planes and those
// compressed, against TurboJPEG converting and compressing the same pixels
// itself. The rows are copied in here, which the sender's scaler writes in
// place, so this slightly overstates our side.
void EncoderFrame(benchmark::State& state)
{
    BenchStage& stage = SharedStage();
    if (!stage.Ready(state))
        return;
    PlainEncoder plain(stage.frame);
    imaging::YuvPlanes planes;
    imaging::YuvRowWriter rows;
    imaging::JpegEncoder encoder;
    QString error;
    bool ok = true;
    Compare(
        state,
        [&] {
            FillPlanes(stage.frame, rows, &planes);
            ok = ok && encoder.Encode(planes, kQuality, &error);
        },
        [&] { benchmark::DoNotOptimize(plain.Encode()); });
    if (!ok)
        state.SkipWithError(error.toStdString().c_str());
}
BENCHMARK(EncoderFrame)->UseManualTime()->Unit(benchmark::kMillisecond);

// Base64 text to bytes, the received-frame file and the decoded picture:
// against TurboJPEG decoding the same JPEG.
void ReceiverFrame(benchmark::State& state)
{
    BenchStage& stage = SharedStage();
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

// Processor seconds (user and system, all threads) of one run of a program.
bool RunCounted(const std::vector<std::string>& args, double* seconds)
{
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return false;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return false;
    *seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
    return true;
}

// The tool a user would pick instead: the same display grabbed, shrunk by
// area averaging to the same size and encoded as Motion JPEG by ffmpeg,
// against our sender over as many frames; processor time per frame of each
// (the X server's share is in neither).
void AgainstFfmpegX11grab(benchmark::State& state)
{
    BenchStage& stage = SharedStage();
    if (!stage.Ready(state))
        return;
    constexpr int kFrames = 60;
    const std::string screenSize =
        std::to_string(stage.screen->ScreenWidth()) + "x" + std::to_string(stage.screen->ScreenHeight());
    const std::string scale =
        "scale=" + std::to_string(stage.frame.width()) + ":" + std::to_string(stage.frame.height()) + ":flags=area";
    const char* display = std::getenv("DISPLAY");
    SenderLoop sender(stage);
    for (auto _ : state) {
        double ffmpeg = 0;
        if (!RunCounted({"ffmpeg", "-nostdin", "-loglevel", "error", "-f", "x11grab", "-framerate", "1000",
                         "-video_size", screenSize, "-i", display ? display : ":0", "-vf", scale, "-c:v", "mjpeg",
                         "-q:v", "5", "-frames:v", std::to_string(kFrames), "-f", "null", "-"},
                        &ffmpeg)) {
            state.SkipWithError("ffmpeg did not run (scripts/deps --bench installs it)");
            return;
        }
        const double start = ThreadSeconds();
        for (int i = 0; i < kFrames; ++i)
            if (!sender.Frame(false)) {
                state.SkipWithError(sender.error.toStdString().c_str());
                return;
            }
        const double ours = ThreadSeconds() - start;
        state.counters["ffmpeg_cpu_ms_per_frame"] = ffmpeg / kFrames * 1e3;
        state.counters["ours_cpu_ms_per_frame"] = ours / kFrames * 1e3;
        state.counters["ours_over_ffmpeg"] = ours / ffmpeg;
    }
}
BENCHMARK(AgainstFfmpegX11grab)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
