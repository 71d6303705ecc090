#pragma once

#include "core/input/InputSink.h"

#include <QStringList>

namespace testing_support {

// What the supported side's dispatcher hands to its input sink, as text,
// flushes left out. The real XTest sink is tested against Xvfb on its own.
class RecordingInputSink final : public input::InputSink {
public:
    static constexpr int kKeylessVk = 194;  // a code no key of this machine gives

    void MovePointer(int x, int y) override { events << QStringLiteral("move %1 %2").arg(x).arg(y); }
    void Button(input::MouseButton button, bool down) override
    {
        const bool right = button == input::MouseButton::Right;
        events << QStringLiteral("%1 %2").arg(right ? "right" : "left", down ? "down" : "up");
    }
    bool Key(int vk, bool extended, bool down) override
    {
        events << QStringLiteral("key %1%2 %3").arg(vk).arg(extended ? " ext" : "").arg(down ? "down" : "up");
        return vk != kKeylessVk;
    }
    void Flush() override {}

    QStringList events;
};

}  // namespace testing_support
