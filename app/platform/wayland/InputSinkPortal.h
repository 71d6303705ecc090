#pragma once

#include "core/input/InputSink.h"
#include "core/input/KeyInjection.h"

#include <QObject>
#include <QString>
#include <memory>

namespace platform {

class PortalDesktop;
class PortalSession;

// Synthetic input through the desktop portal's remote-desktop session: the
// pointer placed on the shared monitor, and each virtual key pressing the
// keycode that gives it in the compositor's layout. The desktop makes its
// keyboard at the first key of a session and drops that key, and sends
// clients (the layout among them) its keymap only then, so each session
// begins with a Shift tap as soon as it opens. User-interface thread only.
class InputSinkPortal final : public input::InputSink, private input::KeycodeOutput {
public:
    // `layout` is the compositor's keyboard, kept as long as the sink.
    InputSinkPortal(std::shared_ptr<PortalDesktop> desktop, std::unique_ptr<input::KeyboardLayout> layout);
    ~InputSinkPortal() override;

    void MovePointer(int x, int y) override;
    void Button(input::MouseButton button, bool down) override;
    bool Key(int virtualKey, bool extended, bool down) override;
    void Flush() override {}  // every event is on the bus already

private:
    void Keycode(int keycode, bool down) override;
    // The portal cannot lock modifiers; Num Lock stays as the user left it.
    void LockModifiers(unsigned) override {}
    PortalSession* Session();
    void Prime();

    std::shared_ptr<PortalDesktop> desktop_;
    std::unique_ptr<input::KeyboardLayout> layout_;
    input::KeyInjection keys_;
    QMetaObject::Connection opened_;
    bool pointerPrimed_ = false;
};

}  // namespace platform
