#pragma once

#include <QString>
#include <array>
#include <cstdint>

// Seam: the keyboard of this machine as its window system describes it, one
// group (layout) at a time. A backend reads it at run time and reads it
// again when the user changes layout. User-interface thread only.

namespace input {

class LayoutKeys;

// One key: its position (XKB key name, e.g. "AC01") and the keysyms it types
// at the first and third levels of the group.
struct KeyboardKey {
    std::array<char, 4> name{};  // all zero: the keycode is no key
    std::uint32_t level1 = 0;    // 0: types nothing in this group
    std::uint32_t level3 = 0;    // 0: the key has no third level
};

struct KeyboardMap {
    QString layout;                     // the group's layout name, e.g. "br"
    std::array<KeyboardKey, 256> keys;  // by X keycode
    unsigned numLockMask = 0;           // the modifier bit Num Lock locks
};

class KeyboardLayout {
public:
    virtual ~KeyboardLayout() = default;
    // The virtual keys of `group` (-1: the active group) as the keyboard is
    // now; the reference holds until the next call.
    virtual const LayoutKeys& Keys(int group) = 0;
};

}  // namespace input
