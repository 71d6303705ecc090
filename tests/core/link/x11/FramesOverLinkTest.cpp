// The screen link between two main windows with a real X display behind the
// supported side, plain and inside TLS: pacing of the frame timer on the
// settable clock, the stall write-off, strangers that must not interrupt the
// picture, input left held when the link is lost, and what a sniffer on the
// path reads.
#include "core/imaging/DrawSurface.h"
#include "core/link/LinkMessages.h"
#include "platform/x11/InputSinkXTest.h"
#include "platform/x11/ScreenSourceX11.h"
#include "support/LinkPair.h"
#include "support/TcpForwarder.h"

#include <QTcpSocket>
#include <QTimer>
#include <gtest/gtest.h>

// After the test framework: Xlib defines None, Bool, Status, True, False.
#include "support/XScreen.h"

#include <X11/keysym.h>

using testing_support::LinkPair;
using testing_support::WaitUntil;

namespace {

constexpr float kTick = 0.375f;
// Four quadrants of distinct flat colours: a screen that stays as it is.
constexpr QRgb kQuadrants[] = {0xd02020, 0x20a040, 0x2040d0, 0xe0e0e0};

// By link version.
class FramesOverLink : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(scene.Ready()) << "no X display";
        const int halfW = scene.width() / 2, halfH = scene.height() / 2;
        scene.Paint([&](int x, int y) { return kQuadrants[(x >= halfW) + 2 * (y >= halfH)]; });
        MovePointer();
        QString error;
        screen = platform::ScreenSourceX11::Open(nullptr, &error);
        ASSERT_TRUE(screen) << error.toStdString();
        sink = platform::InputSinkXTest::Open(nullptr, &error);
        ASSERT_TRUE(sink) << error.toStdString();
        pair = std::make_unique<LinkPair>(sink.get(), screen.get());
        pair->UseVersion(GetParam());
        tecnico().picRemote = &preview;
        pair->ConnectDirect();
        ASSERT_TRUE(pair->BothValidated());
        // The test is the frame timer from here on.
        cliente().tmrFrame.stop();
        ASSERT_TRUE(CompletionArrives());
        testing_support::RunEvents(300);  // frames of the real timer still on their way
        frames0 = preview.refreshes();
    }

    shell::frmMain& cliente() { return pair->cliente.w(); }
    shell::frmMain& tecnico() { return pair->tecnico.w(); }
    void At(float seconds) { pair->cliente.clock.Set(start + seconds); }
    // A changed picture without repainting: the sender blends the pointer into every frame.
    void MovePointer() { scene.MovePointer(scene.width() - 100 - moves++ % 50, scene.height() - 100); }
    // One tick of the frame timer on a changing screen, with no event handled around it.
    void Tick()
    {
        MovePointer();
        cliente().frames.EnviarFrame();
    }
    // A tick at `seconds` on a screen left as it is; whether it handed a
    // frame over (then awaits its completion).
    bool TickSends(float seconds)
    {
        At(seconds);
        const float before = cliente().s.FrameEnviadoEm;
        cliente().frames.EnviarFrame();
        return cliente().s.FrameEnviadoEm != before && CompletionArrives();
    }
    bool CompletionArrives() { return WaitUntil([this] { return !cliente().s.FrameEmTransito; }); }
    bool TecnicoHasFrames(int count) { return WaitUntil([=, this] { return preview.refreshes() - frames0 >= count; }); }

    testing_support::XScreen scene;
    std::unique_ptr<platform::ScreenSourceX11> screen;
    std::unique_ptr<platform::InputSinkXTest> sink;
    imaging::ImageSurface preview{QSize(640, 360), Qt::black};
    std::unique_ptr<LinkPair> pair;  // first to go: it holds the rest
    float start = 36000.0f;
    int frames0 = 0, moves = 0;
};

TEST_P(FramesOverLink, AFrameThatLeavesWithinATickLetsEveryTickSendAndOneInTransitMakesTheNextWait)
{
    for (int i = 0; i < 4; ++i) {
        At(i * kTick);
        Tick();
        EXPECT_TRUE(cliente().s.FrameEmTransito) << "tick " << i;
        At(i * kTick + 0.3f);
        ASSERT_TRUE(CompletionArrives()) << "tick " << i;
    }
    start += 10;
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
    EXPECT_TRUE(TecnicoHasFrames(6));
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
    MovePointer();
    EXPECT_TRUE(TickSends(0)) << "the change";
    for (int i = 1; i <= 5; ++i)
        EXPECT_FALSE(TickSends(i * kTick)) << i * kTick << " s after the last frame";
    EXPECT_TRUE(TickSends(2.0f)) << "2 s after the last frame";
    EXPECT_FALSE(TickSends(2.0f + kTick));
    MovePointer();
    EXPECT_TRUE(TickSends(2.0f + 2 * kTick)) << "the next change";
    EXPECT_FALSE(TickSends(2.0f + 3 * kTick));
    EXPECT_TRUE(TecnicoHasFrames(3));
}

// Strangers at the supported side's port during a session (a bare
// connection, garbage, a wrong Hello) are turned away one by one while the
// technician's picture keeps coming: the link stays and frames arrive while
// each stranger is there.
TEST_P(FramesOverLink, StrangersAtThePortNeverStopTheTechniciansPicture)
{
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [this] { Tick(); });
    ticker.start(100);
    ASSERT_TRUE(TecnicoHasFrames(1));
    const quint16 port = cliente().c.txtTelaPorta.text().toUShort();
    for (const QByteArray& bytes : {QByteArray(), QByteArray("\x16\x03\x01\x02\n"), QByteArray("HELLO:sess-1:x\n")}) {
        QTcpSocket stranger;
        stranger.connectToHost("127.0.0.1", port);
        stranger.write(bytes);
        const int before = preview.refreshes();
        ASSERT_TRUE(WaitUntil([&] {
            return stranger.state() == QAbstractSocket::UnconnectedState && preview.refreshes() > before + 1;
        }));
        // Version 2 answers bytes that are no handshake with a TLS alert, and nothing else.
        const QByteArray answer = stranger.readAll();
        EXPECT_TRUE(answer.isEmpty() || (GetParam() == 2 && answer.startsWith('\x15'))) << answer.toHex().data();
    }
    EXPECT_TRUE(cliente().s.TelaConectada && tecnico().s.TelaConectada);
    EXPECT_FALSE(cliente().link.ListenIsClosed());
}

TEST_P(FramesOverLink, ASnifferOnThePathReadsNoKeyHelloFrameOrCommandOfAProtectedLinkNorReplaysIt)
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
    if (GetParam() == 1)
        return;  // a plain link replayed is a valid link: that is what version 2 is for
    // Everything the technician sent, replayed to the supported side's port:
    // the handshake cannot complete without the ephemeral key, so the replayed
    // quality command is never carried out and the live link stays.
    sniffed.tecnico.w().link.Send(screenlink::QualityCommand(3, 3));
    ASSERT_TRUE(WaitUntil([&] { return sniffed.cliente.w().quality.state().NivelNitidez() == 3; }));
    QTcpSocket replay;
    replay.connectToHost("127.0.0.1", sniffed.cliente.w().c.txtTelaPorta.text().toUShort());
    replay.write(sniffer.fromClient);
    ASSERT_TRUE(WaitUntil([&] { return replay.state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_EQ(sniffed.cliente.w().quality.state().NivelNitidez(), 3);
    EXPECT_TRUE(sniffed.cliente.w().s.TelaConectada && sniffed.tecnico.w().s.TelaConectada);
}

// A link lost while the technician holds a button and a key must not leave
// them held on the supported display, and no frame goes out on it.
TEST_P(FramesOverLink, InputHeldWhenTheLinkIsLostIsReleasedAndAReleasedKeyStaysUp)
{
    tecnico().remoteInput.SendMouseCommand("MD", 100, 100, 1);
    tecnico().remoteInput.SendMouseCommand("MM", 300, 200, 1);
    tecnico().remoteInput.SendKeyCommand("KD", 16);
    tecnico().remoteInput.SendKeyCommand("KD", 65);
    tecnico().remoteInput.SendKeyCommand("KU", 65);
    const auto shift = [this] { return scene.KeyDown(XK_Shift_L) || scene.KeyDown(XK_Shift_R); };
    ASSERT_TRUE(WaitUntil([&] { return scene.Buttons() == Button1Mask && shift(); }));
    tecnico().link.Remote()->abort();
    ASSERT_TRUE(WaitUntil([this] { return !cliente().s.TelaConectada; }));
    EXPECT_TRUE(WaitUntil([&] { return scene.Buttons() == 0 && !shift(); }));
    EXPECT_FALSE(scene.KeyDown(XK_a));
    At(1);
    Tick();
    EXPECT_FALSE(cliente().s.FrameEmTransito);
}

INSTANTIATE_TEST_SUITE_P(Versions, FramesOverLink, ::testing::Values(1, 2));

}  // namespace
