#pragma once

#include "core/input/KeyboardLayout.h"

#include <QString>
#include <array>
#include <cstdint>

// The virtual keys of one keyboard group, derived as Windows assigns them
// for that layout: a key that types a letter at its first level gives that
// letter, the digit row gives "0" to "9", every other key the code of its
// position in the layout's table; Shift, Ctrl, Alt, Caps Lock, Num Lock and
// the Windows keys go by what the key is set to be, and AltGr (the third
// level's shift) travels as Ctrl and Alt. The technician's side reads it by
// keycode, the supported side the other way round.

namespace input {

struct WireKeys {
    std::uint8_t codes[2] = {};  // in pressing order; 0 when unused
    bool empty() const { return codes[0] == 0; }
};

class LayoutKeys {
public:
    LayoutKeys() = default;  // a keyboard without keys
    explicit LayoutKeys(const KeyboardMap& map);

    const QString& Layout() const { return layout_; }

    // Technician's side: the codes of the key `keycode` under the X state
    // `state` (its Num Lock and Shift bits choose the keypad's codes).
    WireKeys CodesFor(int keycode, unsigned state) const;

    // Supported side: the keycode that gives `virtualKey`, 0 when none does.
    int KeycodeFor(int virtualKey) const;
    bool NeedsNumLock(int virtualKey) const { return (virtualKey >= 96 && virtualKey <= 105) || virtualKey == 110; }
    // True when the key types something at its third level.
    bool HasThirdLevel(int keycode) const;
    int Level3Keycode() const { return level3Keycode_; }
    unsigned NumLockMask() const { return numLockMask_; }

private:
    struct Key {
        std::uint8_t vk = 0;
        std::uint8_t numLockVk = 0;
        std::uint8_t sidedVk = 0;
        bool altGr = false;
        bool thirdLevel = false;
    };
    Key Derive(const KeyboardKey& key, QStringView layout) const;
    void AddKeycode(std::uint8_t virtualKey, int keycode);

    QString layout_;
    std::array<Key, 256> byKeycode_{};
    std::array<std::uint8_t, 256> keycodeByVk_{};
    int level3Keycode_ = 0;
    unsigned numLockMask_ = 0;
};

}  // namespace input
