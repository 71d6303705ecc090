#pragma once

// Seam: where synthetic input goes on the supported machine. A backend
// places the pointer on the whole virtual desktop and emits button and key
// events with Windows virtual-key semantics; events may wait in a queue until
// Flush. User-interface thread only.

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
    // A virtual key without a mapping on this machine is ignored.
    virtual void Key(int virtualKey, bool extended, bool down) = 0;
    virtual void Flush() = 0;
};

}  // namespace input
