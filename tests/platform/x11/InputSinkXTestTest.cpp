#include "core/input/modRemoteInput.h"
#include "platform/x11/InputSinkXTest.h"

#include <chrono>
#include <gtest/gtest.h>
#include <optional>
#include <poll.h>

// After the test framework: Xlib defines None, Bool, Status, True, False.
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace {

constexpr int kWaitMs = 2000;

// A second X client: one window over the whole screen, with the keyboard
// focus, that records what reaches it.
class ProbeWindow {
public:
    ProbeWindow() : display_(XOpenDisplay(nullptr))
    {
        if (!display_)
            return;
        const int screen = DefaultScreen(display_);
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;
        attributes.event_mask = ButtonPressMask | ButtonReleaseMask | KeyPressMask | KeyReleaseMask
            | PointerMotionMask | StructureNotifyMask;
        window_ = XCreateWindow(display_, RootWindow(display_, screen), 0, 0, DisplayWidth(display_, screen),
                                DisplayHeight(display_, screen), 0, CopyFromParent, InputOutput, CopyFromParent,
                                CWOverrideRedirect | CWEventMask, &attributes);
        XMapRaised(display_, window_);
        mapped_ = Next(MapNotify).has_value();
        XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
        XSync(display_, False);
    }
    ~ProbeWindow()
    {
        if (display_)
            XCloseDisplay(display_);
    }

    bool Ready() const { return display_ && mapped_; }

    // The next event of `type`, skipping others; nothing after kWaitMs.
    std::optional<XEvent> Next(int type)
    {
        for (;;) {
            while (XPending(display_)) {
                XEvent event;
                XNextEvent(display_, &event);
                if (event.type == type)
                    return event;
            }
            pollfd fd{ConnectionNumber(display_), POLLIN, 0};
            if (poll(&fd, 1, kWaitMs) <= 0)
                return std::nullopt;
        }
    }

    // The next motion event that ends at (x, y).
    bool MotionTo(int x, int y)
    {
        while (const auto event = Next(MotionNotify))
            if (event->xmotion.x_root == x && event->xmotion.y_root == y)
                return true;
        return false;
    }

    struct Pointer {
        int x, y;
        unsigned int mask;
    };
    Pointer QueryPointer()
    {
        Window root, child;
        int rootX = 0, rootY = 0, winX = 0, winY = 0;
        unsigned int mask = 0;
        XQueryPointer(display_, window_, &root, &child, &rootX, &rootY, &winX, &winY, &mask);
        return {rootX, rootY, mask};
    }

    bool AnyKeyDown()
    {
        char keys[32] = {};
        XQueryKeymap(display_, keys);
        for (const char byte : keys)
            if (byte)
                return true;
        return false;
    }

    bool KeyDown(KeySym keysym)
    {
        char keys[32] = {};
        XQueryKeymap(display_, keys);
        const KeyCode code = XKeysymToKeycode(display_, keysym);
        return keys[code / 8] & (1 << (code % 8));
    }

private:
    Display* display_;
    Window window_ = 0;
    bool mapped_ = false;
};

class NoControlCommands final : public input::RemoteCommandTarget {
public:
    void EncerradaPeloOutro() override {}
    void AplicarQualidadeRemota(int, int) override {}
    void LogEvent(const QString&) override {}
};

class InputSinkXTestTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(probe.Ready()) << "no X server on DISPLAY";
        QString error;
        sink = platform::InputSinkXTest::Open(nullptr, &error);
        ASSERT_TRUE(sink) << error.toStdString();
        commands.emplace(*sink, target);
    }

    void Run(const char* line) { ASSERT_FALSE(commands->ExecuteRemoteCommand(QString::fromLatin1(line))); }

    ProbeWindow probe;
    NoControlCommands target;
    std::unique_ptr<platform::InputSinkXTest> sink;
    std::optional<input::modRemoteInput> commands;
};

TEST_F(InputSinkXTestTest, AMovePlacesThePointerWithoutTouchingTheButtons)
{
    Run("CMD:MM:100:200:1");
    ASSERT_TRUE(probe.MotionTo(100, 200));
    const auto pointer = probe.QueryPointer();
    EXPECT_EQ(pointer.x, 100);
    EXPECT_EQ(pointer.y, 200);
    EXPECT_EQ(pointer.mask & (Button1Mask | Button2Mask | Button3Mask), 0u);
}

TEST_F(InputSinkXTestTest, ClicksPressAndReleaseWhereTheyPoint)
{
    struct Case {
        const char* line;
        unsigned int xButton;
    };
    for (const Case& c : {Case{"CMD:CK:300:400:1", 1}, Case{"CMD:CK:301:402:2", 3}, Case{"CMD:CK:302:404:4", 1}}) {
        const auto start = std::chrono::steady_clock::now();
        Run(c.line);
        // The button is held for the click's 80 ms.
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(80));
        const auto press = probe.Next(ButtonPress);
        const auto release = probe.Next(ButtonRelease);
        ASSERT_TRUE(press && release) << c.line;
        EXPECT_EQ(press->xbutton.button, c.xButton) << c.line;
        EXPECT_EQ(release->xbutton.button, c.xButton) << c.line;
        EXPECT_EQ(release->xbutton.x_root, press->xbutton.x_root);
    }
    const auto pointer = probe.QueryPointer();
    EXPECT_EQ(pointer.x, 302);
    EXPECT_EQ(pointer.y, 404);
}

TEST_F(InputSinkXTestTest, ADragHoldsTheButtonUntilItsRelease)
{
    Run("CMD:MD:50:60:1");
    const auto press = probe.Next(ButtonPress);
    ASSERT_TRUE(press);
    EXPECT_EQ(press->xbutton.x_root, 50);
    EXPECT_EQ(press->xbutton.y_root, 60);
    EXPECT_TRUE(probe.QueryPointer().mask & Button1Mask);

    Run("CMD:MM:70:80:1");
    ASSERT_TRUE(probe.MotionTo(70, 80));
    EXPECT_TRUE(probe.QueryPointer().mask & Button1Mask);

    Run("CMD:MU:90:100:1");
    const auto release = probe.Next(ButtonRelease);
    ASSERT_TRUE(release);
    EXPECT_EQ(release->xbutton.x_root, 90);
    EXPECT_EQ(release->xbutton.y_root, 100);
    EXPECT_EQ(probe.QueryPointer().mask & Button1Mask, 0u);
}

TEST_F(InputSinkXTestTest, ReleasingHeldInputLeavesNothingPressed)
{
    Run("CMD:MD:120:130:1");
    Run("CMD:KD:16:0:1");
    ASSERT_TRUE(probe.Next(ButtonPress));
    ASSERT_TRUE(probe.Next(KeyPress));
    EXPECT_TRUE(probe.QueryPointer().mask & Button1Mask);
    EXPECT_TRUE(probe.KeyDown(XK_Shift_L));

    commands->ReleaseAllHeld();
    ASSERT_TRUE(probe.Next(KeyRelease));
    ASSERT_TRUE(probe.Next(ButtonRelease));
    EXPECT_EQ(probe.QueryPointer().mask & (Button1Mask | Button3Mask | ShiftMask), 0u);
    EXPECT_FALSE(probe.AnyKeyDown());
}

}  // namespace

namespace {

TEST(InputSinkXTestOpenTest, AMissingDisplayIsReportedNotFatal)
{
    QString error;
    EXPECT_FALSE(platform::InputSinkXTest::Open(":4095", &error));
    EXPECT_TRUE(error.contains(QStringLiteral(":4095"))) << error.toStdString();
}

}  // namespace
