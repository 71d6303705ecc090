#pragma once

// Seam: where synthetic input goes on the supported machine. A backend
// places the pointer on the whole virtual desktop and presses the key that
// gives a Windows virtual key in this machine's layout; events may wait in a
// queue until Flush. User-interface thread only.

namespace input {

enum class MouseButton { Left, Right };

// The wire's button codes: 2 is the right button, every other value the left.
constexpr MouseButton ButtonFromCommand(int button)
{
    return button == 2 ? MouseButton::Right : MouseButton::Left;
}

class InputSink {
public:
    virtual ~InputSink() = default;
    virtual void MovePointer(int x, int y) = 0;
    virtual void Button(MouseButton button, bool down) = 0;
    // False when no key of this machine's layout gives the virtual key.
    virtual bool Key(int virtualKey, bool extended, bool down) = 0;
    virtual void Flush() = 0;
};

}  // namespace input
