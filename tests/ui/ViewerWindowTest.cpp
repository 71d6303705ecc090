// The viewer window: its picture area covering the client area with black
// bands around the fitted desktop, its title, and its close box, which ends
// the session only when the program is not stopping the remote screen itself.
#include "UiFixture.h"
#include "core/input/frmViewer.h"
#include "ui/RemotePreview.h"
#include "ui/ViewerWindow.h"

#include <QScreen>
#include <QTest>

using ui_testing::MainWindowFixture;

namespace {

const QColor kDesktop(200, 40, 40);

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
        QImage desktop(160, 90, QImage::Format_RGB32);
        desktop.fill(kDesktop);
        model().ShowRemoteFrame(desktop);
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window->viewer(), testing_support::kHangMs));
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
    EXPECT_EQ(viewer->windowTitle(), "Marquelin - Tela remota - Ana");
    ui::RemotePreview* picView = viewer->picView();
    EXPECT_EQ(picView->geometry(), viewer->rect());
    EXPECT_EQ(picView->pictureRect(), picView->rect());  // it opens in the desktop's shape: no bands
    EXPECT_EQ(picView->grab().toImage().pixelColor(picView->rect().center()), kDesktop);
    // The preview of the main window shows the same frame.
    ui::RemotePreview* preview = f.window->preview();
    EXPECT_EQ(preview->grab().toImage().pixelColor(preview->pictureRect().center()), kDesktop);

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

TEST(ViewerWindowWidgets, TheUsersCloseBoxAndTheProgramsCloseEndTheSessionTheProgramsOwnStopDoesNot)
{
    const struct {
        const char* how;
        void (*close)(TecnicoViewer&);
        const char* reason;  // of the end request, if any
    } rows[] = {
        {"the program's own stop", [](TecnicoViewer& f) { f.model().loss.PararTelaRemota(true); }, nullptr},
        {"the user's close box", [](TecnicoViewer& f) { f.window->viewer()->close(); }, "motivo=tecnico"},
        {"the program closed", [](TecnicoViewer& f) { f.window->close(); }, "aplicativo_fechado"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.how);
        TecnicoViewer f;
        f.Frame();
        row.close(f);
        EXPECT_FALSE(f.window->viewer()->isVisible());
        const std::vector<std::string> ends = f.service.Bodies("encerrar_sessao.php");
        ASSERT_EQ(ends.size(), row.reason ? 1u : 0u);
        EXPECT_TRUE(!row.reason || ends[0].find(row.reason) != std::string::npos) << ends[0];
    }
}
