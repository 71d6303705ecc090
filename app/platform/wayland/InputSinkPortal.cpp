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
    desktop_->Session()->KeyboardKeycode(kLeftShift, true);
    desktop_->Session()->KeyboardKeycode(kLeftShift, false);
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
        session->PointerMotion(x - stream.left, y - stream.top);
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
