// The viewer window: its picture area covering the client area with black
// bands around the fitted desktop, its title, and its close box,
// which ends the remote screen only when the program is not stopping it.
#include "UiFixture.h"
#include "core/input/frmViewer.h"
#include "ui/RemotePreview.h"
#include "ui/ViewerWindow.h"

#include <QScreen>
#include <QTest>

using ui_testing::MainWindowFixture;

namespace {

QImage Desktop()
{
    QImage desktop(160, 90, QImage::Format_RGB32);
    desktop.fill(QColor(200, 40, 40));
    return desktop;
}

// A technician with an accepted session whose frames are arriving.
struct TecnicoViewer : MainWindowFixture {
    TecnicoViewer()
    {
        service.Reply("encerrar_sessao.php", R"({"ok":true})");
        shell::frmMain& m = model();
        m.s.papel = "tecnico";
        m.s.PapelTela = "tecnico";
        m.s.sessao_id = "sess-1";
        m.s.RemoteWidth = 1920;
        m.s.RemoteHeight = 1080;
    }
    ui::ViewerWindow* Frame()
    {
        model().ShowRemoteFrame(Desktop());
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window->viewer()));
        return window->viewer();
    }
};

}  // namespace

TEST(ViewerWindowWidgets, TheFirstFrameOpensItFittedToTheScreenThenItFollowsTheUsersSize)
{
    TecnicoViewer f;
    ui::ViewerWindow* viewer = f.window->viewer();
    EXPECT_FALSE(viewer->isVisible());
    EXPECT_EQ(viewer->parentWidget(), nullptr);  // modeless, without owner

    f.Frame();
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_EQ(viewer->windowTitle(), "Marquelin - Tela remota - Ana");
    ui::RemotePreview* picView = viewer->picView();
    EXPECT_EQ(picView->geometry(), viewer->rect());

    const QImage shown = picView->grab().toImage();
    const QRect fitted = picView->pictureRect();
    EXPECT_EQ(fitted, picView->rect());  // it opens in the desktop's shape: no bands
    EXPECT_EQ(shown.pixelColor(fitted.center()), QColor(200, 40, 40));

    // The preview of the main window shows the same frame.
    const QImage preview = f.window->preview()->grab().toImage();
    EXPECT_EQ(preview.pixelColor(f.window->preview()->pictureRect().center()), QColor(200, 40, 40));

    // It opens fitted to the screen; resized, the picture area still covers the
    // window, the next frame is fitted to it, and it opens again at that size.
    EXPECT_EQ(viewer->geometry(), input::ViewerOpeningGeometry({1920, 1080}, viewer->screen()->availableGeometry()));
    viewer->resize(700, 640);
    QApplication::processEvents();
    EXPECT_EQ(picView->geometry(), QRect(0, 0, 700, 640));
    f.Frame();
    EXPECT_EQ(picView->pictureRect(), QRect(0, 123, 700, 394));
    EXPECT_EQ(picView->grab().toImage().pixelColor(350, 0), QColor(Qt::black));
    viewer->close();
    EXPECT_EQ(f.Frame()->size(), QSize(700, 640));
}

TEST(ViewerWindowWidgets, OnlyTheUsersCloseBoxEndsTheRemoteScreenNotTheProgramsOwnStop)
{
    TecnicoViewer f;
    f.Frame();
    f.model().loss.PararTelaRemota(true);
    EXPECT_FALSE(f.window->viewer()->isVisible());
    EXPECT_EQ(f.service.Count("encerrar_sessao.php"), 0u);
    EXPECT_FALSE(f.model().s.SessaoEncerrada);

    // A frame after the close opens it again; the user's close box ends the session.
    ui::ViewerWindow* viewer = f.Frame();
    EXPECT_TRUE(viewer->isVisible());
    viewer->close();
    ASSERT_EQ(f.service.Count("encerrar_sessao.php"), 1u);
    EXPECT_TRUE(f.model().s.SessaoEncerrada);
    EXPECT_NE(f.service.Bodies("encerrar_sessao.php")[0].find("motivo=tecnico"), std::string::npos);
}

TEST(ViewerWindowWidgets, ClosingTheProgramClosesItWithTheUnloadsOwnEndRequest)
{
    TecnicoViewer f;
    f.Frame();
    f.window->close();
    EXPECT_FALSE(f.window->viewer()->isVisible());
    ASSERT_EQ(f.service.Count("encerrar_sessao.php"), 1u);
    EXPECT_NE(f.service.Bodies("encerrar_sessao.php")[0].find("aplicativo_fechado"), std::string::npos);
}
