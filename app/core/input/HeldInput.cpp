#include "core/input/HeldInput.h"

#include "core/input/KeyTable.h"

namespace input {

void HeldInput::Button(MouseButton button, bool down)
{
    buttons_.set(static_cast<std::size_t>(button), down);
}

void HeldInput::Key(int virtualKey, bool down)
{
    if (virtualKey >= 0 && virtualKey < static_cast<int>(keys_.size()))
        keys_.set(static_cast<std::size_t>(virtualKey), down);
}

void HeldInput::ReleaseAll(InputSink& sink)
{
    for (std::size_t vk = 0; vk < keys_.size(); ++vk) {
        if (!keys_.test(vk))
            continue;
        sink.Key(static_cast<int>(vk), IsExtendedKey(static_cast<int>(vk)), false);
        sink.Flush();
    }
    for (const MouseButton button : {MouseButton::Left, MouseButton::Right}) {
        if (!buttons_.test(static_cast<std::size_t>(button)))
            continue;
        sink.Button(button, false);
        sink.Flush();
    }
    buttons_.reset();
    keys_.reset();
}

}  // namespace input
