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

// A key event as the X platform delivers it: keycode and X state.
void SendKey(QWidget* to, QEvent::Type type, int keycode, unsigned state = 0)
{
    QKeyEvent event(type, Qt::Key_unknown, Qt::NoModifier, keycode, 0, state);
    QApplication::sendEvent(to, &event);
}

void TypeKey(QWidget* to, int keycode)
{
    SendKey(to, QEvent::KeyPress, keycode);
    SendKey(to, QEvent::KeyRelease, keycode);
}

enum Keycode { Esc = 9, Tab = 23, Return = 36, Ctrl = 37, A = 38, Shift = 50 };

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
    QTest::mouseClick(preview, Qt::BackButton, {}, centre);  // a button the commands have no value for: nothing
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

TEST(RemoteInputWidgets, KeysTypedInTheViewerGoByTheirKeycodeTabIncluded)
{
    LinkedWindows link;
    ASSERT_TRUE(link.Connect());
    ui::ViewerWindow* viewer = OpenViewer(link);
    ui::RemotePreview* picView = viewer->picView();
    picView->setFocus();
    ASSERT_TRUE(picView->hasFocus());

    TypeKey(picView, A);
    TypeKey(picView, Tab);
    EXPECT_TRUE(link.SinkGot({"key 65 down", "key 65 up", "key 9 down", "key 9 up"}))
        << link.sink.events.join(", ").toStdString();
    EXPECT_TRUE(picView->hasFocus());  // Tab went to the remote desktop, not to a focus change

    link.sink.events.clear();
    TypeKey(viewer, Return);  // the window itself, where nothing covers it
    EXPECT_TRUE(link.SinkGot({"key 13 down", "key 13 up"})) << link.sink.events.join(", ").toStdString();
}

TEST(RemoteInputWidgets, LosingTheFocusReleasesTheKeysStillHeld)
{
    LinkedWindows link;
    ASSERT_TRUE(link.Connect());
    ui::ViewerWindow* viewer = OpenViewer(link);
    ui::RemotePreview* picView = viewer->picView();
    picView->setFocus();
    SendKey(picView, QEvent::KeyPress, Shift);
    SendKey(picView, QEvent::KeyPress, A, 1);
    QEvent deactivate(QEvent::WindowDeactivate);  // Alt+Tab away from the viewer
    QApplication::sendEvent(viewer, &deactivate);
    EXPECT_TRUE(link.SinkGot({"key 16 down", "key 65 down", "key 65 up", "key 16 up"}))
        << link.sink.events.join(", ").toStdString();

    link.sink.events.clear();
    SendKey(picView, QEvent::KeyPress, A);
    picView->clearFocus();
    SendKey(picView, QEvent::KeyRelease, A);  // already released there
    EXPECT_TRUE(link.SinkGot({"key 65 down", "key 65 up"})) << link.sink.events.join(", ").toStdString();
}

TEST(RemoteInputWidgets, CtrlEscReleasesTheModifiersAndEndsTheRemoteScreen)
{
    LinkedWindows link;
    ASSERT_TRUE(link.Connect());
    ui::ViewerWindow* viewer = OpenViewer(link);
    SendKey(viewer->picView(), QEvent::KeyPress, Ctrl);
    SendKey(viewer->picView(), QEvent::KeyPress, Esc, 4);
    EXPECT_TRUE(WaitUntil([&] { return !link.cliente().s.TelaConectada; }));
    // Ctrl itself went down first; Esc with it travels as the three releases only.
    EXPECT_EQ(link.sink.events.mid(0, 4).join(", "), "key 17 down, key 16 up, key 17 up, key 18 up");
    EXPECT_TRUE(link.tecnico().s.SessaoEncerrada);
    EXPECT_FALSE(link.tecnico().s.TelaConectada);
    EXPECT_FALSE(viewer->isVisible());
    EXPECT_EQ(link.pair.service.Count("encerrar_sessao.php"), 1u);
}
