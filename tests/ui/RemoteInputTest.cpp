// The technician's mouse and keys over the preview and the viewer reach the
// supported machine: real widgets, a real screen link on loopback, and the
// supported side's dispatcher recording what it would inject.
#include "UiFixture.h"
#include "core/input/PointMapping.h"
#include "support/CoreRecordingSink.h"
#include "support/FixedKeyboardLayout.h"
#include "support/LinkPair.h"
#include "ui/RemotePreview.h"
#include "ui/ViewerWindow.h"

#include <QTest>

namespace {

using testing_support::WaitUntil;

enum Keycode { Esc = 9, Tab = 23, Return = 36, Ctrl = 37, A = 38, Shift = 50 };

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

// A supported machine and a technician's machine with a validated direct screen
// link on loopback; the technician's main window on screen, its viewer opened by
// a frame of a 1280x1024 desktop (bands in a wide view).
class RemoteInputWidgets : public ::testing::Test {
protected:
    void SetUp() override
    {
        tecnico().svc.keyboard = &keyboard;
        window = std::make_unique<ui::MainWindow>(tecnico());
        window->show();
        pair.ConnectDirect();
        ASSERT_TRUE(pair.BothValidated());
        tecnico().s.RemoteWidth = 1280;
        tecnico().s.RemoteHeight = 1024;
        QImage desktop(192, 108, QImage::Format_RGB32);
        desktop.fill(Qt::darkCyan);
        tecnico().ShowRemoteFrame(desktop);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window->viewer(), testing_support::kHangMs));
        picView = window->viewer()->picView();
    }

    shell::frmMain& tecnico() { return pair.tecnico.w(); }

    // Where the supported side must place a point of the view: the inverse of
    // the fit rule for this view's size.
    QString MoveFor(QWidget* view, QPoint at)
    {
        const session::SessionRecord& s = tecnico().s;
        const auto remote = input::MapearPontoRemoto(at.x(), at.y(), view->width(), view->height(),
                                                     {s.RemoteLeft, s.RemoteTop, s.RemoteWidth, s.RemoteHeight});
        EXPECT_TRUE(remote.has_value());
        return remote ? QString("move %1 %2").arg(remote->x).arg(remote->y) : QString();
    }

    // The supported side carries out exactly `events`; the next check starts afresh.
    void ExpectSink(const QStringList& events)
    {
        EXPECT_TRUE(WaitUntil([&] { return sink.events == events; })) << sink.events.join(", ").toStdString();
        sink.events.clear();
    }

    testing_support::RecordingInputSink sink;
    testing_support::LinkPair pair{&sink};
    testing_support::FixedKeyboardLayout keyboard{testing_support::MapOf("us", testing_support::UsKeys())};
    std::unique_ptr<ui::MainWindow> window;
    ui::RemotePreview* picView = nullptr;
};

TEST_F(RemoteInputWidgets, ClicksAndDragsLandWhereThePictureShowsThem)
{
    for (ui::RemotePreview* view : {window->preview(), picView}) {
        SCOPED_TRACE(view->objectName().toStdString());
        const QPoint at = view->rect().center() + QPoint(40, 0);
        const QString move = MoveFor(view, at);
        QTest::mouseClick(view, Qt::BackButton, {}, at);  // a button the commands have no value for: nothing
        QTest::mouseClick(view, Qt::LeftButton, {}, at);
        ExpectSink({move, "left down", "left up"});
        QTest::mouseClick(view, Qt::RightButton, {}, at);
        ExpectSink({move, "right down", "right up"});
    }

    // A press that moves away becomes a drag: down at the press, then the move, up at the release.
    const QPoint at = picView->rect().center(), to = at + QPoint(60, 30);
    QTest::mousePress(picView, Qt::LeftButton, {}, at);
    QMouseEvent drag(QEvent::MouseMove, to, picView->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(picView, &drag);
    QTest::mouseRelease(picView, Qt::LeftButton, {}, to);
    ExpectSink({MoveFor(picView, at), "left down", MoveFor(picView, to), MoveFor(picView, to), "left up"});
}

TEST_F(RemoteInputWidgets, KeysGoByTheirKeycodeTabIncludedAndLosingTheFocusReleasesThoseHeld)
{
    picView->setFocus();
    ASSERT_TRUE(picView->hasFocus());
    TypeKey(picView, A);
    TypeKey(picView, Tab);
    ExpectSink({"key 65 down", "key 65 up", "key 9 down", "key 9 up"});
    EXPECT_TRUE(picView->hasFocus());  // Tab went to the remote desktop, not to a focus change
    TypeKey(window->viewer(), Return);  // the window itself, where nothing covers it
    ExpectSink({"key 13 down", "key 13 up"});

    SendKey(picView, QEvent::KeyPress, Shift);
    SendKey(picView, QEvent::KeyPress, A, 1);
    QEvent deactivate(QEvent::WindowDeactivate);  // Alt+Tab away from the viewer
    QApplication::sendEvent(window->viewer(), &deactivate);
    ExpectSink({"key 16 down", "key 65 down", "key 65 up", "key 16 up"});
    SendKey(picView, QEvent::KeyPress, A);
    picView->clearFocus();
    SendKey(picView, QEvent::KeyRelease, A);  // already released there
    ExpectSink({"key 65 down", "key 65 up"});
}

TEST_F(RemoteInputWidgets, CtrlEscReleasesTheModifiersAndEndsTheRemoteScreen)
{
    SendKey(picView, QEvent::KeyPress, Ctrl);
    SendKey(picView, QEvent::KeyPress, Esc, 4);
    EXPECT_TRUE(WaitUntil([&] { return !pair.cliente.w().s.TelaConectada; }));
    // Ctrl itself went down first; Esc with it travels as the three releases only.
    EXPECT_EQ(sink.events.mid(0, 4).join(", "), "key 17 down, key 16 up, key 17 up, key 18 up");
    EXPECT_TRUE(tecnico().s.SessaoEncerrada);
    EXPECT_FALSE(tecnico().s.TelaConectada);
    EXPECT_FALSE(window->viewer()->isVisible());
    EXPECT_EQ(pair.service.Count("encerrar_sessao.php"), 1u);
}

}  // namespace
