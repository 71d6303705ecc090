#pragma once

#include "core/input/LayoutKeys.h"

#include <X11/keysym.h>
#include <cstring>
#include <vector>

namespace testing_support {

// A keyboard whose keys a test lists, for the rules that read a layout
// without an X server: keycode, XKB key name, keysyms at levels 1 and 3.
struct KeyDef {
    int keycode;
    const char* name;
    std::uint32_t level1;
    std::uint32_t level3 = 0;
};

constexpr unsigned kNumLockMask = 0x10;  // Mod2, where X servers put Num Lock

inline input::KeyboardMap MapOf(const QString& layout, const std::vector<KeyDef>& keys)
{
    input::KeyboardMap map;
    map.layout = layout;
    map.numLockMask = kNumLockMask;
    for (const KeyDef& k : keys) {
        input::KeyboardKey& key = map.keys[k.keycode];
        std::memcpy(key.name.data(), k.name, std::min<std::size_t>(std::strlen(k.name), 4));
        key.level1 = k.level1;
        key.level3 = k.level3;
    }
    return map;
}

// A few keys of a pc105 keyboard at their evdev keycodes, with the US symbols.
inline std::vector<KeyDef> UsKeys()
{
    return {
        {9, "ESC", XK_Escape},     {10, "AE01", XK_1},      {23, "TAB", XK_Tab},       {24, "AD01", XK_q},
        {36, "RTRN", XK_Return},   {37, "LCTL", XK_Control_L}, {38, "AC01", XK_a},    {47, "AC10", XK_semicolon},
        {50, "LFSH", XK_Shift_L},  {64, "LALT", XK_Alt_L},  {79, "KP7", XK_KP_Home},  {104, "KPEN", XK_KP_Enter},
        {108, "RALT", XK_Alt_R},   {110, "HOME", XK_Home},
    };
}

class FixedKeyboardLayout final : public input::KeyboardLayout {
public:
    explicit FixedKeyboardLayout(const input::KeyboardMap& map) : keys_(map) {}
    void Set(const input::KeyboardMap& map) { keys_ = input::LayoutKeys(map); }
    const input::LayoutKeys& Keys(int) override { return keys_; }

private:
    input::LayoutKeys keys_;
};

}  // namespace testing_support
