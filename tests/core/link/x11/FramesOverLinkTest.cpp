// The supported side's real display streamed over a loopback link, plain and
// inside TLS: pacing of the frame timer on the settable clock, the stall
// write-off, what the technician ends up seeing, strangers that must not
// interrupt it, and what a sniffer on the path reads.
#include "core/imaging/DrawSurface.h"
#include "core/link/LinkMessages.h"
#include "platform/x11/ScreenSourceX11.h"
#include "support/LinkPair.h"
#include "support/TcpForwarder.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTimer>
#include <gtest/gtest.h>
#include <linux/sockios.h>
#include <sys/ioctl.h>

#include "XScene.h"

using testing_support::LinkPair;
using testing_support::WaitUntil;

namespace {

constexpr float kTick = 0.375f;

// By link version.
class FramesOverLink : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(scene.Ready()) << "no X display";
        QString error;
        screen = platform::ScreenSourceX11::Open(nullptr, &error);
        ASSERT_TRUE(screen) << error.toStdString();
        pair = std::make_unique<LinkPair>(nullptr, screen.get());
        pair->UseVersion(GetParam());
        tecnico().picRemote = &preview;
        pair->ConnectDirect();
        ASSERT_TRUE(pair->BothValidated());
        // The test is the frame timer from here on.
        cliente().tmrFrame.stop();
        ASSERT_TRUE(WaitUntil([this] { return !cliente().s.FrameEmTransito; }));
        testing_support::RunEvents(300);  // frames of the real timer still on their way
        frames0 = preview.refreshes();
    }

    shell::frmMain& cliente() { return pair->cliente.w(); }
    shell::frmMain& tecnico() { return pair->tecnico.w(); }
    void At(float seconds) { pair->cliente.clock.Set(start + seconds); }
    // One tick of the frame timer on a changing screen, with no event handled around it.
    void Tick()
    {
        scene.MovePointer();
        cliente().frames.EnviarFrame();
    }
    // A tick at `seconds` on a screen left as it is; whether it handed a
    // frame over (then awaits its completion).
    bool TickSends(float seconds)
    {
        At(seconds);
        const float before = cliente().s.FrameEnviadoEm;
        cliente().frames.EnviarFrame();
        const bool sent = cliente().s.FrameEnviadoEm != before;
        return sent && CompletionArrives();
    }
    // What the system holds of the supported side's link: unsent or unacknowledged.
    int KernelQueued()
    {
        int queued = 0;
        ioctl(static_cast<int>(cliente().link.Remote()->socketDescriptor()), SIOCOUTQ, &queued);
        return queued;
    }
    bool CompletionArrives() { return WaitUntil([this] { return !cliente().s.FrameEmTransito; }); }
    bool TecnicoHasFrames(int count)
    {
        return WaitUntil([this, count] { return preview.refreshes() - frames0 >= count; });
    }

    link_x11::XScene scene;
    std::unique_ptr<platform::ScreenSourceX11> screen;
    std::unique_ptr<LinkPair> pair;
    imaging::ImageSurface preview{QSize(640, 360), Qt::black};
    float start = 36000.0f;
    int frames0 = 0;
};

TEST_P(FramesOverLink, AFrameThatLeavesWithinATickLetsEveryTickSend)
{
    for (int i = 0; i < 4; ++i) {
        At(i * kTick);
        Tick();
        EXPECT_TRUE(cliente().s.FrameEmTransito) << "tick " << i;
        At(i * kTick + 0.3f);
        ASSERT_TRUE(CompletionArrives()) << "tick " << i;
    }
    EXPECT_TRUE(TecnicoHasFrames(4));
}

TEST_P(FramesOverLink, AFrameInTransitMakesTheFollowingTicksWait)
{
    At(0);
    Tick();
    const float handedOver = cliente().s.FrameEnviadoEm;
    for (int i = 1; i <= 3; ++i) {
        At(i * kTick);
        Tick();
        EXPECT_EQ(cliente().s.FrameEnviadoEm, handedOver) << "tick " << i << " sent";
    }
    At(1.2f);
    ASSERT_TRUE(CompletionArrives());
    At(4 * kTick);
    Tick();
    EXPECT_TRUE(cliente().s.FrameEmTransito);
    EXPECT_EQ(cliente().s.FrameEnviadoEm, start + 4 * kTick);
    EXPECT_TRUE(TecnicoHasFrames(2));
}

TEST_P(FramesOverLink, ACompletionThatNeverComesIsWrittenOffAfterFiveSecondsLoweringOnlyAnAutomaticSharpness)
{
    for (const bool byHand : {false, true}) {
        if (byHand)
            cliente().quality.AplicarComandoQualidade(4, 2);
        const int nitidez = cliente().quality.state().NivelNitidez();
        start += 10;
        At(0);
        Tick();
        At(5.0f);
        Tick();
        EXPECT_EQ(cliente().s.FrameEnviadoEm, start) << "written off at exactly 5 s";
        At(5.01f);
        Tick();
        EXPECT_EQ(cliente().s.FrameEnviadoEm, start + 5.01f);
        EXPECT_TRUE(cliente().s.FrameEmTransito);
        EXPECT_EQ(cliente().quality.state().NivelNitidez(), byHand ? nitidez : nitidez - 1) << byHand;
        ASSERT_TRUE(CompletionArrives());
    }
}

TEST_P(FramesOverLink, AnUnchangedScreenGoesOutEveryTwoSecondsAndAChangeOnTheNextTick)
{
    scene.MovePointer();
    EXPECT_TRUE(TickSends(0)) << "the change";
    for (int i = 1; i <= 5; ++i)
        EXPECT_FALSE(TickSends(i * kTick)) << i * kTick << " s after the last frame";
    EXPECT_TRUE(TickSends(2.0f)) << "2 s after the last frame";
    EXPECT_FALSE(TickSends(2.0f + kTick));
    scene.MovePointer();
    EXPECT_TRUE(TickSends(2.0f + 2 * kTick)) << "the next change";
    EXPECT_FALSE(TickSends(2.0f + 3 * kTick));
    EXPECT_TRUE(TecnicoHasFrames(3));
}

TEST_P(FramesOverLink, TheTechnicianSeesTheSupportedDisplayFittedInItsPreview)
{
    At(0);
    Tick();
    ASSERT_TRUE(TecnicoHasFrames(1));
    EXPECT_EQ(tecnico().s.RemoteWidth, scene.width());
    EXPECT_EQ(tecnico().s.RemoteHeight, scene.height());
    EXPECT_TRUE(tecnico().viewer.visible());

    const QImage& seen = preview.canvas();
    for (const double fy : {0.25, 0.75})
        for (const double fx : {0.25, 0.75}) {
            const QColor got = seen.pixelColor(int(fx * seen.width()), int(fy * seen.height()));
            const QColor want = QColor::fromRgb(link_x11::XScene::ExpectedAt(fx, fy));
            // JPEG at the link's qualities keeps flat areas within a few levels.
            EXPECT_NEAR(got.red(), want.red(), 12) << fx << "," << fy;
            EXPECT_NEAR(got.green(), want.green(), 12) << fx << "," << fy;
            EXPECT_NEAR(got.blue(), want.blue(), 12) << fx << "," << fy;
        }
}

TEST_P(FramesOverLink, ATechnicianThatStopsReadingLowersTheSharpnessAndHoldsMemoryBounded)
{
    // The technician takes no more bytes from the system: the kernel's buffers
    // fill, then the supported side's own.
    scene.PaintNoise();
    QTcpSocket* stuck = tecnico().link.Remote();
    stuck->setReadBufferSize(1);
    stuck->blockSignals(true);
    qint64 mostQueued = 0;
    qint64 largestFrame = 0;
    for (int i = 0; i < 40; ++i) {
        At(i * 5.1f);
        const qint64 before = cliente().link.QueuedBytes();
        Tick();
        largestFrame = std::max(largestFrame, cliente().link.QueuedBytes() - before);
        testing_support::RunEvents(20);
        mostQueued = std::max(mostQueued, cliente().link.QueuedBytes());
    }
    EXPECT_EQ(cliente().quality.state().NivelNitidez(), 1) << "lowered at each write-off, down to the lowest";
    EXPECT_GT(mostQueued, screenlink::FrameStreaming::kMaxQueuedBytes) << "the bound was never reached";
    EXPECT_LE(mostQueued, screenlink::FrameStreaming::kMaxQueuedBytes + largestFrame);
    // The system's share stays near two round trips of loopback, where by
    // itself it would grow to megabytes.
    EXPECT_LE(KernelQueued(), 512 * 1024);
    EXPECT_TRUE(cliente().s.TelaConectada) << "a slow reader is no lost link";
}

// Strangers at the supported side's port during a session (a bare
// connection, garbage, a wrong Hello) are turned away while the technician's
// picture keeps coming.
TEST_P(FramesOverLink, StrangersAtThePortNeverStopTheTechniciansPictureForASecond)
{
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [this] { Tick(); });
    ticker.start(100);
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 largestGap = 0;
    int seen = preview.refreshes();
    const auto watch = [&] {
        if (preview.refreshes() != seen) {
            seen = preview.refreshes();
            largestGap = std::max(largestGap, clock.elapsed() - last);
            last = clock.elapsed();
        }
    };
    ASSERT_TRUE(TecnicoHasFrames(1));
    clock.start();
    const quint16 port = cliente().c.txtTelaPorta.text().toUShort();
    for (const QByteArray& bytes : {QByteArray(), QByteArray("\x16\x03\x01\x02\n"), QByteArray("HELLO:sess-1:x\n")}) {
        QTcpSocket stranger;
        stranger.connectToHost("127.0.0.1", port);
        stranger.write(bytes);
        ASSERT_TRUE(WaitUntil([&] {
            watch();
            return stranger.state() == QAbstractSocket::UnconnectedState;
        }));
        // Version 2 answers bytes that are no handshake with a TLS alert, and nothing else.
        const QByteArray answer = stranger.readAll();
        EXPECT_TRUE(answer.isEmpty() || (GetParam() == 2 && answer.startsWith('\x15'))) << answer.toHex().data();
    }
    const int before = seen;
    ASSERT_TRUE(WaitUntil([&] {
        watch();
        return seen > before + 1;
    }));
    RecordProperty("largest_gap_ms", static_cast<int>(largestGap));
    EXPECT_LT(largestGap, 1000) << "ms without a frame";
    EXPECT_TRUE(cliente().s.TelaConectada && tecnico().s.TelaConectada);
    EXPECT_FALSE(cliente().link.ListenIsClosed());
}

TEST_P(FramesOverLink, NothingIsSentOnceTheLinkIsDown)
{
    pair->tecnico.w().link.Remote()->abort();
    ASSERT_TRUE(WaitUntil([this] { return !cliente().s.TelaConectada; }));
    At(1);
    Tick();
    EXPECT_FALSE(cliente().s.FrameEmTransito);
}

TEST_P(FramesOverLink, ASnifferOnThePathReadsNoKeyHelloFrameOrCommandOfAProtectedLink)
{
    LinkPair sniffed(nullptr, screen.get());
    sniffed.UseVersion(GetParam());
    testing_support::TcpForwarder sniffer(sniffed.Listen());
    sniffed.ConnectTecnico(sniffer.Port());
    ASSERT_TRUE(sniffed.BothValidated());
    ASSERT_TRUE(WaitUntil([&] { return sniffed.tecnico.w().s.RemoteWidth > 0; })) << "a frame";
    sniffed.tecnico.w().link.Send(screenlink::QualityCommand(2, 2));
    ASSERT_TRUE(WaitUntil([&] { return sniffed.cliente.w().quality.state().NivelNitidez() == 2; }));
    // The JPEG travels in Base64, which starts "/9j/".
    for (const char* plain : {"key-1", "HELLO", "FRAME:", "/9j/", "CMD:"})
        EXPECT_EQ(sniffer.recorded.contains(plain), GetParam() == 1) << plain;
}

INSTANTIATE_TEST_SUITE_P(Versions, FramesOverLink, ::testing::Values(1, 2));

}  // namespace
