#pragma once

#include "core/input/InputSink.h"

#include <bitset>

// Remembers which buttons and keys remote commands pressed and have not yet
// released, so that a link lost in the middle of a drag or between a key's
// press and release does not leave them held on this machine.

namespace input {

class HeldInput {
public:
    void Button(MouseButton button, bool down);
    void Key(int virtualKey, bool down);  // 0 to 255
    bool Empty() const { return buttons_.none() && keys_.none(); }

    // Releases through `sink` exactly what is held, then forgets it.
    void ReleaseAll(InputSink& sink);

private:
    std::bitset<2> buttons_;
    std::bitset<256> keys_;
};

}  // namespace input
