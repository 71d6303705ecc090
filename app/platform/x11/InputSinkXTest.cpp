#include "platform/x11/InputSinkXTest.h"

#include "core/input/KeyTable.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace platform {
namespace {

constexpr unsigned int kLeftButton = 1;
constexpr unsigned int kRightButton = 3;

}  // namespace

std::unique_ptr<InputSinkXTest> InputSinkXTest::Open(const char* displayName, QString* error)
{
    Display* display = XOpenDisplay(displayName);
    if (!display) {
        if (error)
            *error = QStringLiteral("nao foi possivel abrir o display X ") + QString::fromLocal8Bit(XDisplayName(displayName));
        return nullptr;
    }
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor)) {
        if (error)
            *error = QStringLiteral("o servidor X nao oferece a extensao XTEST");
        XCloseDisplay(display);
        return nullptr;
    }
    const int buttons = XGetPointerMapping(display, nullptr, 0);
    return std::unique_ptr<InputSinkXTest>(new InputSinkXTest(display, buttons));
}

InputSinkXTest::~InputSinkXTest() { XCloseDisplay(display_); }

void InputSinkXTest::MovePointer(int x, int y)
{
    XTestFakeMotionEvent(display_, DefaultScreen(display_), x, y, CurrentTime);
}

void InputSinkXTest::Button(input::MouseButton button, bool down)
{
    const unsigned int xButton = button == input::MouseButton::Right ? kRightButton : kLeftButton;
    if (xButton > static_cast<unsigned int>(buttons_))
        return;
    XTestFakeButtonEvent(display_, xButton, down ? True : False, CurrentTime);
}

void InputSinkXTest::Key(int virtualKey, bool /*extended: keysyms already tell the keys apart*/, bool down)
{
    const KeySym keysym = input::KeysymForVirtualKey(virtualKey);
    if (keysym == 0)
        return;
    const KeyCode keycode = XKeysymToKeycode(display_, keysym);
    if (keycode == 0)
        return;  // this keyboard map has no such key
    XTestFakeKeyEvent(display_, keycode, down ? True : False, CurrentTime);
}

void InputSinkXTest::Flush() { XFlush(display_); }

}  // namespace platform
