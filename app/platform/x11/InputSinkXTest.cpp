#include "platform/x11/InputSinkXTest.h"

#include <X11/XKBlib.h>
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
    auto layout = XkbKeyboardLayout::Open(display, false, error);
    if (!layout) {
        XCloseDisplay(display);
        return nullptr;
    }
    const int buttons = XGetPointerMapping(display, nullptr, 0);
    return std::unique_ptr<InputSinkXTest>(new InputSinkXTest(display, buttons, std::move(layout)));
}

InputSinkXTest::InputSinkXTest(Display* display, int buttons, std::unique_ptr<XkbKeyboardLayout> layout)
    : display_(display), buttons_(buttons), layout_(std::move(layout)), keys_(*layout_, *this)
{
}

InputSinkXTest::~InputSinkXTest()
{
    layout_.reset();
    XCloseDisplay(display_);
}

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

bool InputSinkXTest::Key(int virtualKey, bool /*extended: the layout tells the keys apart*/, bool down)
{
    return keys_.Key(virtualKey, down);
}

void InputSinkXTest::Keycode(int keycode, bool down)
{
    XTestFakeKeyEvent(display_, static_cast<unsigned int>(keycode), down ? True : False, CurrentTime);
}

void InputSinkXTest::LockModifiers(unsigned mask)
{
    if (mask)
        XkbLockModifiers(display_, XkbUseCoreKbd, mask, mask);
}

void InputSinkXTest::Flush() { XFlush(display_); }

}  // namespace platform
