// The technician's mouse and keys over the preview and the viewer reach the
// supported machine: real widgets, a real screen link on loopback, and the
// supported side's dispatcher recording what it would inject.
#include "UiFixture.h"
#include "core/input/PointMapping.h"
#include "ui/RemotePreview.h"
#include "ui/ViewerWindow.h"

#include <QTest>

using testing_support::WaitUntil;
using ui_testing::LinkedWindows;

namespace {

// Where the supported side must place a point of the view: the inverse of
// the fit rule for this view's size.
QString MoveFor(QWidget* view, QPoint at, const session::SessionRecord& s)
{
    const auto remote = input::MapearPontoRemoto(at.x(), at.y(), view->width(), view->height(),
                                                 {s.RemoteLeft, s.RemoteTop, s.RemoteWidth, s.RemoteHeight});
    EXPECT_TRUE(remote.has_value());
    return remote ? QString("move %1 %2").arg(remote->x).arg(remote->y) : QString();
}

// The viewer opened by a frame, as the frame receiver does.
ui::ViewerWindow* OpenViewer(LinkedWindows& link)
{
    QImage desktop(192, 108, QImage::Format_RGB32);
    desktop.fill(Qt::darkCyan);
    link.tecnico().ShowRemoteFrame(desktop);
    ui::ViewerWindow* viewer = link.tecnicoWindow->viewer();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(viewer));
    return viewer;
}

}  // namespace

TEST(RemoteInputWidgets, ClicksInThePreviewLandWhereThePictureShowsThem)
{
    LinkedWindows link;
    ASSERT_TRUE(link.Connect());
    ui::RemotePreview* preview = link.tecnicoWindow->preview();
    ASSERT_EQ(preview->objectName(), "picRemote");
    const QPoint centre = preview->rect().center();
    QTest::mouseClick(preview, Qt::LeftButton, {}, centre);
    const QString move = MoveFor(preview, centre, link.tecnico().s);
    EXPECT_TRUE(link.SinkGot({move, "left down", "left up"})) << link.sink.events.join(", ").toStdString();

    link.sink.events.clear();
    QTest::mouseClick(preview, Qt::RightButton, {}, centre);
    EXPECT_TRUE(link.SinkGot({move, "right down", "right up"})) << link.sink.events.join(", ").toStdString();
}

TEST(RemoteInputWidgets, TheViewersPictureAreaForwardsClicksAndDrags)
{
    LinkedWindows link;
    ASSERT_TRUE(link.Connect(1280, 1024));
    ui::ViewerWindow* viewer = OpenViewer(link);
    ui::RemotePreview* picView = viewer->picView();
    const QPoint at(picView->width() / 2 + 40, picView->height() / 2);
    QTest::mouseClick(picView, Qt::LeftButton, {}, at);
    const QString click = MoveFor(picView, at, link.tecnico().s);
    ASSERT_TRUE(link.SinkGot({click, "left down", "left up"})) << link.sink.events.join(", ").toStdString();

    // A press that moves away becomes a drag: down at the press, then the move, up at the release.
    link.sink.events.clear();
    const QPoint to = at + QPoint(60, 30);
    QTest::mousePress(picView, Qt::LeftButton, {}, at);
    QMouseEvent drag(QEvent::MouseMove, to, picView->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(picView, &drag);
    QTest::mouseRelease(picView, Qt::LeftButton, {}, to);
    const QString end = MoveFor(picView, to, link.tecnico().s);
    EXPECT_TRUE(link.SinkGot({click, "left down", end, end, "left up"})) << link.sink.events.join(", ").toStdString();
}

TEST(RemoteInputWidgets, KeysTypedInTheViewerReachTheSupportedSideTabIncluded)
{
    LinkedWindows link;
    ASSERT_TRUE(link.Connect());
    ui::ViewerWindow* viewer = OpenViewer(link);
    ui::RemotePreview* picView = viewer->picView();
    picView->setFocus();
    ASSERT_TRUE(picView->hasFocus());

    QTest::keyClick(picView, Qt::Key_A);
    QTest::keyClick(picView, Qt::Key_Tab);
    EXPECT_TRUE(link.SinkGot({"key 65 down", "key 65 up", "key 9 down", "key 9 up"}))
        << link.sink.events.join(", ").toStdString();
    EXPECT_TRUE(picView->hasFocus());  // Tab went to the remote desktop, not to a focus change

    link.sink.events.clear();
    QTest::keyClick(viewer, Qt::Key_Return);  // the window itself, where nothing covers it
    EXPECT_TRUE(link.SinkGot({"key 13 down", "key 13 up"})) << link.sink.events.join(", ").toStdString();
}

TEST(RemoteInputWidgets, CtrlEscReleasesTheModifiersAndEndsTheRemoteScreen)
{
    LinkedWindows link;
    ASSERT_TRUE(link.Connect());
    ui::ViewerWindow* viewer = OpenViewer(link);
    QTest::keyPress(viewer->picView(), Qt::Key_Escape, Qt::ControlModifier);
    EXPECT_TRUE(WaitUntil([&] { return !link.cliente().s.TelaConectada; }));
    // Ctrl itself went down first; Esc with it travels as the three releases only.
    EXPECT_EQ(link.sink.events.mid(0, 4).join(", "), "key 17 down, key 16 up, key 17 up, key 18 up");
    EXPECT_TRUE(link.tecnico().s.SessaoEncerrada);
    EXPECT_FALSE(link.tecnico().s.TelaConectada);
    EXPECT_FALSE(viewer->isVisible());
    EXPECT_EQ(link.pair.service.Count("encerrar_sessao.php"), 1u);
}
