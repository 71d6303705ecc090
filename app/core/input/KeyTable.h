#pragma once

#include <QtCore/qnamespace.h>
#include <cstdint>

// The wire carries Windows virtual-key codes whatever the two machines run.
// One table holds every key we know in each code system; the lookups below
// read it on the technician's side (toolkit key to virtual key) and on the
// supported side (virtual key to X keysym, extended flag).

namespace input {

// True for the virtual keys that are synthesized with the extended flag.
bool IsExtendedKey(int virtualKey);

// The X keysym for a virtual key, 0 when the key has none.
std::uint32_t KeysymForVirtualKey(int virtualKey);

// The virtual key for a key event of the toolkit, 0 when unknown. Modifier
// keys come out as the generic 16, 17, 18. The keypad modifier tells the
// numeric keypad's digits and operators from the main block's.
int VirtualKeyFromQt(int qtKey, Qt::KeyboardModifiers modifiers);

}  // namespace input
