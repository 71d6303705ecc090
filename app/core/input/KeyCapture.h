#pragma once

#include "core/input/LayoutKeys.h"

#include <vector>

// The technician's keys over the viewer. Each key's codes come from the key
// itself (its X keycode) in the technician's active layout, and are
// remembered from its press to its release, so the release carries the same
// codes whatever modifiers changed in between; a loss of focus releases
// every key still held. User-interface thread only.

namespace input {

class CommandEncoder;

class KeyCapture {
public:
    // `layout` is read at each key; without one no key is sent.
    KeyCapture(CommandEncoder& encoder, KeyboardLayout* const& layout) : encoder_(encoder), layout_(layout) {}

    // `state` is the X state of the event (modifiers and group).
    void KeyDown(int keycode, unsigned state);
    void KeyUp(int keycode);
    void ReleaseAll();

private:
    struct Held {
        int keycode;
        WireKeys wire;
    };
    void Release(const WireKeys& wire);

    CommandEncoder& encoder_;
    KeyboardLayout* const& layout_;
    std::vector<Held> held_;  // in pressing order
};

}  // namespace input
