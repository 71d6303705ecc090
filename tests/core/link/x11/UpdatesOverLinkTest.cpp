// The screen as changed-region updates between two main windows, the
// supported side capturing a real X display: the technician's picture is
// the screen's and follows a change, the pointer travels without pixels,
// commands travel as messages both ways, and a broken stream ends the link.
#include "core/imaging/DrawSurface.h"
#include "core/link/LinkMessages.h"
#include "core/link/LinkReceiver.h"
#include "core/updates/UpdateMessages.h"
#include "platform/x11/InputSinkXTest.h"
#include "platform/x11/ScreenSourceX11.h"
#include "support/LinkPair.h"

#include <gtest/gtest.h>

// After the test framework: Xlib defines None, Bool, Status, True, False.
#include "support/XScreen.h"

using testing_support::LinkPair;
using testing_support::WaitUntil;

namespace {

// Flat areas go losslessly, so the picture must be the screen's exactly.
QRgb Quadrants(int x, int y, int w, int h, QRgb shift)
{
    static constexpr QRgb kColours[] = {0xd02020, 0x20a040, 0x2040d0, 0xe0e0e0};
    return kColours[(x >= w / 2) + 2 * (y >= h / 2)] ^ shift;
}

class UpdatesOverLink : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(scene.Ready()) << "no X display";
        painted = Paint(0);
        QString error;
        screen = platform::ScreenSourceX11::Open(nullptr, &error);
        ASSERT_TRUE(screen) << error.toStdString();
        sink = platform::InputSinkXTest::Open(nullptr, &error);
        ASSERT_TRUE(sink) << error.toStdString();
        pair = std::make_unique<LinkPair>(sink.get(), screen.get());
        pair->UseVersion(3);
        tecnico().picRemote = &preview;
        pair->ConnectDirect();
        ASSERT_TRUE(pair->BothValidated());
    }

    shell::frmMain& cliente() { return pair->cliente.w(); }
    shell::frmMain& tecnico() { return pair->tecnico.w(); }
    const updates::ComposedScreen& composed() { return tecnico().updates.screen(); }
    // The whole screen, the bottom-right quadrant changed by `shift`.
    QImage Paint(QRgb shift)
    {
        const int w = scene.width(), h = scene.height();
        return scene.Paint([&](int x, int y) { return Quadrants(x, y, w, h, x >= w / 2 && y >= h / 2 ? shift : 0); });
    }
    bool PictureIs(const QImage& expected)
    {
        return WaitUntil([&] {
            const QImage& picture = composed().picture();
            if (picture.size() != expected.size())
                return false;
            for (int y = 0; y < picture.height(); ++y)
                for (int x = 0; x < picture.width(); ++x)
                    if ((picture.pixel(x, y) ^ expected.pixel(x, y)) & 0xffffff)
                        return false;
            return true;
        });
    }

    testing_support::XScreen scene;
    QImage painted;
    std::unique_ptr<platform::ScreenSourceX11> screen;
    std::unique_ptr<platform::InputSinkXTest> sink;
    imaging::ImageSurface preview{QSize(640, 360), Qt::black};
    std::unique_ptr<LinkPair> pair;  // first to go: it holds the rest
};

TEST_F(UpdatesOverLink, TheTechniciansPictureIsTheScreenAndFollowsAChangeWhileThePointerTravelsAlone)
{
    ASSERT_TRUE(PictureIs(painted));
    EXPECT_EQ(tecnico().s.RemoteWidth, scene.width());
    EXPECT_GT(preview.refreshes(), 0);
    EXPECT_TRUE(cliente().link.receiver().Binario() && tecnico().link.receiver().Binario());

    const QImage changed = Paint(0x00ffff);
    ASSERT_TRUE(PictureIs(changed));
    const auto& shown = preview.canvas();
    EXPECT_EQ(shown.pixel(shown.width() - 5, shown.height() - 5) & 0xffffff,
              changed.pixel(changed.width() - 5, changed.height() - 5) & 0xffffff);

    scene.MovePointer(123, 45);
    ASSERT_TRUE(WaitUntil([&] { return composed().cursor().x == 123 && composed().cursor().y == 45; }));
    EXPECT_TRUE(PictureIs(changed)) << "the pointer is not drawn into the picture";
}

TEST_F(UpdatesOverLink, CommandsTravelAsMessagesBothWaysAndAnIdleLinkStaysAlive)
{
    ASSERT_TRUE(PictureIs(painted)) << "the remote size, which mouse commands need";
    tecnico().remoteInput.SendMouseCommand("MM", 200, 100, 0);
    ASSERT_TRUE(WaitUntil([&] { return composed().cursor().x == 200 && composed().cursor().y == 100; }));
    tecnico().quality.AplicarComandoQualidade(2, 5);
    tecnico().quality.EnviarQualidadeRemota();
    ASSERT_TRUE(WaitUntil([&] { return cliente().quality.state().NivelAtualizacao() == 5; }));
    EXPECT_EQ(cliente().tmrFrame.interval(), 20) << "50 updates a second";

    // Nothing changes on screen: the technician still hears from the link.
    pair->tecnico.clock.Set(50000.0f);
    ASSERT_TRUE(WaitUntil([&] { return tecnico().s.UltimoFrameEm == 50000.0f; }));

    cliente().loss.PararTelaRemota(true);
    EXPECT_TRUE(WaitUntil([&] { return tecnico().s.SessaoEncerrada; })) << "the Goodbye arrived";
}

TEST_F(UpdatesOverLink, AStreamThatBreaksItsFramingEndsTheLinkWithItsReason)
{
    ASSERT_TRUE(PictureIs(painted));
    QByteArray bogus;
    updates::AppendAck(bogus, 1);  // a message the technician never receives
    cliente().link.Send(bogus);
    ASSERT_TRUE(WaitUntil([&] { return !tecnico().s.TelaConectada; }));
    EXPECT_TRUE(tecnico().log.text().contains("Falha ao processar a imagem recebida.")) << tecnico().log.text().toStdString();
}

}  // namespace
