#include "core/input/KeyCapture.h"

#include "core/input/CommandEncoder.h"

#include <algorithm>

namespace input {
namespace {

constexpr unsigned kControlMask = 4;  // X's ControlMask

int GroupOf(unsigned state) { return static_cast<int>((state >> 13) & 3); }

}  // namespace

void KeyCapture::KeyDown(int keycode, unsigned state)
{
    auto held = std::find_if(held_.begin(), held_.end(), [keycode](const Held& h) { return h.keycode == keycode; });
    WireKeys wire;
    if (held != held_.end())
        wire = held->wire;  // auto-repeat: the codes of the first press
    else if (layout_)
        wire = layout_->Keys(GroupOf(state)).CodesFor(keycode, state);
    if (wire.empty())
        return;
    if (wire.codes[0] == 27 && (state & kControlMask)) {
        // Ctrl+Esc lets go of the modifiers there and ends the remote screen.
        held_.clear();
        encoder_.CtrlEsc();
        return;
    }
    if (held == held_.end())
        held_.push_back({keycode, wire});
    for (const std::uint8_t code : wire.codes)
        if (code)
            encoder_.RemoteKeyFromView(QStringLiteral("KD"), code);
}

void KeyCapture::KeyUp(int keycode)
{
    const auto held = std::find_if(held_.begin(), held_.end(), [keycode](const Held& h) { return h.keycode == keycode; });
    if (held == held_.end())
        return;  // pressed before the viewer had the focus: nothing of it went out
    const WireKeys wire = held->wire;
    held_.erase(held);
    Release(wire);
}

void KeyCapture::ReleaseAll()
{
    while (!held_.empty()) {
        const WireKeys wire = held_.back().wire;
        held_.pop_back();
        Release(wire);
    }
}

void KeyCapture::Release(const WireKeys& wire)
{
    // AltGr lets go of Alt before Ctrl, so that no lone Alt reaches the other side.
    for (int i = 1; i >= 0; --i)
        if (wire.codes[i])
            encoder_.RemoteKeyFromView(QStringLiteral("KU"), wire.codes[i]);
}

}  // namespace input
