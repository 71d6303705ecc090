#pragma once

#include <QStringView>
#include <cstdint>
#include <span>
#include <string_view>

// The wire carries Windows virtual-key codes whatever the two machines run,
// and Windows gives a key its code by its position on the keyboard and the
// active layout. This is that assignment as data: one row per key position
// with its code in the US layout, and per layout only the positions where
// Windows gives another code.

namespace input {

struct KeyPosition {
    char name[5];               // XKB key name
    std::uint8_t vk;            // US layout; keypad keys: with Num Lock off
    std::uint8_t numLockVk;     // keypad keys with Num Lock on, else 0
    std::uint8_t sidedVk;       // left/right code of a modifier, else 0
    bool extended;              // synthesized with the extended-key flag
};

// Every position, in the order in which the supported side prefers a
// position when two give the same code (main block before keypad).
std::span<const KeyPosition> KeyPositions();
const KeyPosition* FindKeyPosition(std::string_view name);

// The code `layout` gives the key at `name` where it is not the US one, else 0.
int LayoutVirtualKey(QStringView layout, std::string_view name);

// True for the virtual keys that are synthesized with the extended flag.
bool IsExtendedKey(int virtualKey);

}  // namespace input
