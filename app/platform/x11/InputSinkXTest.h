#pragma once

#include "core/input/InputSink.h"
#include "core/input/KeyInjection.h"
#include "platform/x11/XkbKeyboardLayout.h"

#include <QString>
#include <memory>

typedef struct _XDisplay Display;

namespace platform {

// Synthetic input on an X server through the XTest extension, on a
// connection of its own: the pointer is placed on the root window of the
// default screen, and a virtual key presses the keycode that gives it in the
// server's active layout, read through XKB. User-interface thread only.
class InputSinkXTest final : public input::InputSink, private input::KeycodeOutput {
public:
    // nullptr for $DISPLAY. Without a display or the extensions: nothing,
    // and `error` says why.
    static std::unique_ptr<InputSinkXTest> Open(const char* displayName, QString* error);
    ~InputSinkXTest() override;

    InputSinkXTest(const InputSinkXTest&) = delete;
    InputSinkXTest& operator=(const InputSinkXTest&) = delete;

    void MovePointer(int x, int y) override;
    void Button(input::MouseButton button, bool down) override;
    bool Key(int virtualKey, bool extended, bool down) override;
    void Flush() override;

private:
    InputSinkXTest(Display* display, int buttons, std::unique_ptr<XkbKeyboardLayout> layout);
    void Keycode(int keycode, bool down) override;
    void LockModifiers(unsigned mask) override;

    Display* display_;
    int buttons_;  // of the server's pointer; faking a button beyond them is an X error
    std::unique_ptr<XkbKeyboardLayout> layout_;
    input::KeyInjection keys_;
};

}  // namespace platform
