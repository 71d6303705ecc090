#include "core/input/LayoutKeys.h"

#include "core/input/KeyTable.h"

#include <X11/keysym.h>
#include <string_view>

namespace input {
namespace {

constexpr unsigned kShiftMask = 1;  // X's ShiftMask

std::string_view NameOf(const KeyboardKey& key)
{
    std::size_t length = 0;
    while (length < key.name.size() && key.name[length] != 0)
        ++length;
    return {key.name.data(), length};
}

// Keys that are modifiers by what they are set to type, wherever they sit.
int ModifierCode(std::uint32_t keysym)
{
    switch (keysym) {
    case XK_Shift_L: case XK_Shift_R: return 16;
    case XK_Control_L: case XK_Control_R: return 17;
    case XK_Alt_L: case XK_Alt_R: case XK_Meta_L: case XK_Meta_R: return 18;
    case XK_Caps_Lock: return 20;
    case XK_Super_L: return 91;
    case XK_Super_R: return 92;
    case XK_Num_Lock: return 144;
    default: return 0;
    }
}

}  // namespace

LayoutKeys::LayoutKeys(const KeyboardMap& map) : layout_(map.layout), numLockMask_(map.numLockMask)
{
    std::array<int, 256> keycodeOfPosition{};  // by index into KeyPositions()
    const auto positions = KeyPositions();
    for (int keycode = 0; keycode < 256; ++keycode) {
        const KeyboardKey& key = map.keys[keycode];
        byKeycode_[keycode] = Derive(key, layout_);
        if (const KeyPosition* p = FindKeyPosition(NameOf(key)))
            keycodeOfPosition[p - positions.data()] = keycode;
        if (key.level1 == XK_ISO_Level3_Shift && (level3Keycode_ == 0 || NameOf(key) == "RALT"))
            level3Keycode_ = keycode;
    }
    // The inverse, position by position in the table's order, so that the
    // first position giving a code is the one pressed for it.
    for (std::size_t i = 0; i < positions.size(); ++i) {
        const int keycode = keycodeOfPosition[i];
        if (keycode == 0)
            continue;
        const Key& key = byKeycode_[keycode];
        AddKeycode(key.vk, keycode);
        AddKeycode(key.numLockVk, keycode);
        AddKeycode(positions[i].sidedVk, keycode);
    }
}

LayoutKeys::Key LayoutKeys::Derive(const KeyboardKey& key, QStringView layout) const
{
    Key derived;
    if (key.level1 == 0)
        return derived;  // nothing in this group: not a key of the layout
    derived.thirdLevel = key.level3 != 0;
    const std::string_view name = NameOf(key);
    const KeyPosition* position = FindKeyPosition(name);
    if (position)
        derived.sidedVk = position->sidedVk;
    if (key.level1 == XK_ISO_Level3_Shift) {
        derived.altGr = true;
        return derived;
    }
    if (const int modifier = ModifierCode(key.level1)) {
        derived.vk = static_cast<std::uint8_t>(modifier);
        return derived;
    }
    if (!position)
        return derived;
    derived.numLockVk = position->numLockVk;
    if (key.level1 >= XK_a && key.level1 <= XK_z)
        derived.vk = static_cast<std::uint8_t>('A' + (key.level1 - XK_a));
    else if (const int vk = LayoutVirtualKey(layout, name))
        derived.vk = static_cast<std::uint8_t>(vk);
    else
        derived.vk = position->vk;
    return derived;
}

void LayoutKeys::AddKeycode(std::uint8_t virtualKey, int keycode)
{
    if (virtualKey != 0 && keycodeByVk_[virtualKey] == 0)
        keycodeByVk_[virtualKey] = static_cast<std::uint8_t>(keycode);
}

WireKeys LayoutKeys::CodesFor(int keycode, unsigned state) const
{
    WireKeys wire;
    if (keycode <= 0 || keycode > 255)
        return wire;
    const Key& key = byKeycode_[keycode];
    if (key.altGr) {
        wire.codes[0] = 17;
        wire.codes[1] = 18;
    } else if (key.numLockVk && (state & numLockMask_) && !(state & kShiftMask)) {
        wire.codes[0] = key.numLockVk;  // Windows gives the navigation codes while Shift is held
    } else {
        wire.codes[0] = key.vk;
    }
    return wire;
}

int LayoutKeys::KeycodeFor(int virtualKey) const
{
    return virtualKey > 0 && virtualKey < 256 ? keycodeByVk_[virtualKey] : 0;
}

bool LayoutKeys::HasThirdLevel(int keycode) const
{
    return keycode > 0 && keycode < 256 && byKeycode_[keycode].thirdLevel;
}

}  // namespace input
