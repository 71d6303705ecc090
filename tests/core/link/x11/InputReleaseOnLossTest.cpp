// A link lost while the technician holds a button or a key must not leave it
// held on the supported display.
#include "platform/x11/InputSinkXTest.h"
#include "support/LinkPair.h"

#include <gtest/gtest.h>

#include "XScene.h"

using testing_support::LinkPair;
using testing_support::WaitUntil;

namespace {

class InputReleaseOnLoss : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(scene.Ready()) << "no X display";
        QString error;
        sink = platform::InputSinkXTest::Open(nullptr, &error);
        ASSERT_TRUE(sink) << error.toStdString();
        pair = std::make_unique<LinkPair>(sink.get(), nullptr);
        pair->ConnectDirect();
        ASSERT_TRUE(pair->BothValidated());
    }
    void TearDown() override
    {
        // Whatever a failed case left pressed must not leak into other tests.
        pair.reset();
    }

    void Send(const QString& action, int x, int y, int button)
    {
        pair->tecnico.w().remoteInput.SendMouseCommand(action, x, y, button);
    }
    void Key(const QString& action, int virtualKey) { pair->tecnico.w().remoteInput.SendKeyCommand(action, virtualKey); }
    void CutTheLink()
    {
        pair->tecnico.w().link.Remote()->abort();
        ASSERT_TRUE(WaitUntil([this] { return !pair->cliente.w().s.TelaConectada; }));
    }

    link_x11::XScene scene;
    std::unique_ptr<platform::InputSinkXTest> sink;
    std::unique_ptr<LinkPair> pair;
};

TEST_F(InputReleaseOnLoss, AButtonHeldInADragIsReleased)
{
    Send("MD", 100, 100, 1);
    Send("MM", 300, 200, 1);
    ASSERT_TRUE(WaitUntil([this] { return scene.ButtonMask() == Button1Mask; }));
    CutTheLink();
    EXPECT_TRUE(WaitUntil([this] { return scene.ButtonMask() == 0; }));
}

TEST_F(InputReleaseOnLoss, AHeldShiftIsReleasedAndAReleasedKeyStaysUp)
{
    Key("KD", 16);
    Key("KD", 65);
    Key("KU", 65);
    ASSERT_TRUE(WaitUntil([this] { return scene.KeyDown(XK_Shift_L) || scene.KeyDown(XK_Shift_R); }));
    CutTheLink();
    EXPECT_TRUE(WaitUntil([this] { return !scene.KeyDown(XK_Shift_L) && !scene.KeyDown(XK_Shift_R); }));
    EXPECT_FALSE(scene.KeyDown(XK_a));
}

}  // namespace
