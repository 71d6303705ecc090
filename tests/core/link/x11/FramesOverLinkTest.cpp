// The screen link between two main windows with a real X display behind the
// supported side: pacing of the frame timer on the settable clock, the stall
// write-off (a technician that stops reading altogether is the e2e fault
// test's; strangers at the port, the screen link test's), and input left held
// when the link is lost.
#include "core/imaging/DrawSurface.h"
#include "platform/x11/InputSinkXTest.h"
#include "platform/x11/ScreenSourceX11.h"
#include "support/LinkPair.h"

#include <QTcpSocket>
#include <gtest/gtest.h>

#include "XScene.h"

using testing_support::LinkPair;
using testing_support::WaitUntil;

namespace {

constexpr float kTick = 0.375f;

class FramesOverLink : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(scene.Ready()) << "no X display";
        QString error;
        screen = platform::ScreenSourceX11::Open(nullptr, &error);
        ASSERT_TRUE(screen) << error.toStdString();
        sink = platform::InputSinkXTest::Open(nullptr, &error);
        ASSERT_TRUE(sink) << error.toStdString();
        pair = std::make_unique<LinkPair>(sink.get(), screen.get());
        tecnico().picRemote = &preview;
        pair->ConnectDirect();
        ASSERT_TRUE(pair->BothValidated());
        // The test is the frame timer from here on.
        cliente().tmrFrame.stop();
        ASSERT_TRUE(CompletionArrives());
        testing_support::RunEvents(300);  // frames of the real timer still on their way
        frames0 = preview.refreshes();
    }
    // Whatever a failed case left pressed must not leak into other tests.
    void TearDown() override { pair.reset(); }

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
        return cliente().s.FrameEnviadoEm != before && CompletionArrives();
    }
    bool CompletionArrives() { return WaitUntil([this] { return !cliente().s.FrameEmTransito; }); }
    bool TecnicoHasFrames(int count)
    {
        return WaitUntil([this, count] { return preview.refreshes() - frames0 >= count; });
    }
    void CutTheLink()
    {
        tecnico().link.Remote()->abort();
        ASSERT_TRUE(WaitUntil([this] { return !cliente().s.TelaConectada; }));
    }

    link_x11::XScene scene;
    std::unique_ptr<platform::ScreenSourceX11> screen;
    std::unique_ptr<platform::InputSinkXTest> sink;
    std::unique_ptr<LinkPair> pair;
    imaging::ImageSurface preview{QSize(640, 360), Qt::black};
    float start = 36000.0f;
    int frames0 = 0;
};

TEST_F(FramesOverLink, AFrameThatLeavesWithinATickLetsEveryTickSendAndOneInTransitMakesTheNextWait)
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

TEST_F(FramesOverLink, ACompletionThatNeverComesIsWrittenOffAfterFiveSecondsLoweringOnlyAnAutomaticSharpness)
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

TEST_F(FramesOverLink, AnUnchangedScreenGoesOutEveryTwoSecondsAndAChangeOnTheNextTick)
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

// A link lost while the technician holds a button or a key must not leave it
// held on the supported display, and no frame goes out on it.
using InputReleaseOnLoss = FramesOverLink;

TEST_F(InputReleaseOnLoss, AButtonHeldInADragIsReleased)
{
    tecnico().remoteInput.SendMouseCommand("MD", 100, 100, 1);
    tecnico().remoteInput.SendMouseCommand("MM", 300, 200, 1);
    ASSERT_TRUE(WaitUntil([this] { return scene.ButtonMask() == Button1Mask; }));
    CutTheLink();
    EXPECT_TRUE(WaitUntil([this] { return scene.ButtonMask() == 0; }));
    At(1);
    Tick();
    EXPECT_FALSE(cliente().s.FrameEmTransito);
}

TEST_F(InputReleaseOnLoss, AHeldShiftIsReleasedAndAReleasedKeyStaysUp)
{
    tecnico().remoteInput.SendKeyCommand("KD", 16);
    tecnico().remoteInput.SendKeyCommand("KD", 65);
    tecnico().remoteInput.SendKeyCommand("KU", 65);
    const auto shift = [this] { return scene.KeyDown(XK_Shift_L) || scene.KeyDown(XK_Shift_R); };
    ASSERT_TRUE(WaitUntil(shift));
    CutTheLink();
    EXPECT_TRUE(WaitUntil([&] { return !shift(); }));
    EXPECT_FALSE(scene.KeyDown(XK_a));
}

}  // namespace
