#pragma once

#include "core/input/InputSink.h"

#include <QString>
#include <memory>

typedef struct _XDisplay Display;

namespace platform {

// Synthetic input on an X server through the XTest extension, on a
// connection of its own: the pointer is placed on the root window of the
// default screen, and a virtual key presses the display's keycode for the
// key's keysym. User-interface thread only.
class InputSinkXTest final : public input::InputSink {
public:
    // nullptr for $DISPLAY. Without a display or the extension: nothing,
    // and `error` says why.
    static std::unique_ptr<InputSinkXTest> Open(const char* displayName, QString* error);
    ~InputSinkXTest() override;

    InputSinkXTest(const InputSinkXTest&) = delete;
    InputSinkXTest& operator=(const InputSinkXTest&) = delete;

    void MovePointer(int x, int y) override;
    void Button(input::MouseButton button, bool down) override;
    void Key(int virtualKey, bool extended, bool down) override;
    void Flush() override;

private:
    InputSinkXTest(Display* display, int buttons) : display_(display), buttons_(buttons) {}

    Display* display_;
    int buttons_;  // of the server's pointer; faking a button beyond them is an X error
};

}  // namespace platform
