#include "platform/wayland/InputSinkPortal.h"

#include "platform/wayland/PortalDesktop.h"

namespace platform {
namespace {

constexpr int kLeftButton = 0x110;  // evdev BTN_LEFT
constexpr int kRightButton = 0x111;
constexpr int kLeftShift = 42;  // evdev KEY_LEFTSHIFT
constexpr int kXKeycodeOffset = 8;

}  // namespace

InputSinkPortal::InputSinkPortal(std::shared_ptr<PortalDesktop> desktop, std::unique_ptr<input::KeyboardLayout> layout)
    : desktop_(std::move(desktop)), layout_(std::move(layout)), keys_(*layout_, *this)
{
    opened_ = QObject::connect(desktop_.get(), &PortalDesktop::opened, [this] { Prime(); });
    if (desktop_->Session())
        Prime();
}

InputSinkPortal::~InputSinkPortal() { QObject::disconnect(opened_); }

void InputSinkPortal::Prime()
{
    // A tap makes the keyboard; which of its events the desktop drops
    // varies, so a second release keeps Shift from staying down.
    for (const bool down : {true, false, false})
        desktop_->Session()->KeyboardKeycode(kLeftShift, down);
    pointerPrimed_ = false;
}

PortalSession* InputSinkPortal::Session()
{
    QString error;
    return desktop_->Ready(&error) ? desktop_->Session() : nullptr;
}

void InputSinkPortal::MovePointer(int x, int y)
{
    if (PortalSession* session = Session()) {
        const PortalStream& stream = session->Stream();
        // The desktop makes its pointer at the first motion, which may be lost.
        for (int times = pointerPrimed_ ? 1 : 2; times > 0; --times)
            session->PointerMotion(x - stream.left, y - stream.top);
        pointerPrimed_ = true;
    }
}

void InputSinkPortal::Button(input::MouseButton button, bool down)
{
    if (PortalSession* session = Session())
        session->PointerButton(button == input::MouseButton::Right ? kRightButton : kLeftButton, down);
}

bool InputSinkPortal::Key(int virtualKey, bool /*extended: the layout tells the keys apart*/, bool down)
{
    return keys_.Key(virtualKey, down);
}

void InputSinkPortal::Keycode(int keycode, bool down)
{
    PortalSession* session = Session();
    if (!session || keycode < kXKeycodeOffset)
        return;
    session->KeyboardKeycode(keycode - kXKeycodeOffset, down);
}

}  // namespace platform
