#pragma once

#include "core/input/KeyboardLayout.h"

#include <array>
#include <bitset>
#include <cstdint>

// The supported side's keyboard: each virtual key from the wire presses the
// physical key that gives it in this machine's active layout, so dead keys
// compose and third-level characters come out as the technician typed them.
// Ctrl+Alt with a key that types something at its third level types that
// (as Windows treats Ctrl+Alt as AltGr): the third level's shift is pressed
// in place of Ctrl and Alt; with any other key it stays Ctrl+Alt. A key's
// release lets go of the keycode its press pressed. User-interface thread only.

namespace input {

// Where the keycodes go: a backend that presses keys of the real keyboard.
class KeycodeOutput {
public:
    virtual ~KeycodeOutput() = default;
    virtual void Keycode(int keycode, bool down) = 0;
    virtual void LockModifiers(unsigned mask) = 0;
};

class KeyInjection {
public:
    KeyInjection(KeyboardLayout& layout, KeycodeOutput& output) : layout_(layout), output_(output) {}

    // False when no key of the active layout gives `virtualKey`.
    bool Key(int virtualKey, bool down);

private:
    bool Press(int virtualKey);
    void Release(int virtualKey);
    void ChooseLevel3(const LayoutKeys& keys, int keycode);
    void SetCtrlAndAlt(bool down);
    bool Held(const std::array<int, 3>& virtualKeys) const;
    void Set(int keycode, bool down);

    KeyboardLayout& layout_;
    KeycodeOutput& output_;
    std::array<std::uint8_t, 256> pressedFor_{};  // keycode pressed for each virtual key
    std::bitset<256> down_;                       // keycodes down now
    int level3_ = 0;  // the third level's shift while it stands in for Ctrl+Alt
};

}  // namespace input
