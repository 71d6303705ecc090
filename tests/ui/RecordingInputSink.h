#pragma once

#include "core/input/InputSink.h"

#include <QString>
#include <QStringList>

namespace ui_testing {

// What the supported side's command dispatcher hands to its input sink, as
// text. The real XTest sink is tested against Xvfb on its own; here the
// question is only whether the technician's widgets produced the commands.
class RecordingInputSink final : public input::InputSink {
public:
    void MovePointer(int x, int y) override { events << QString("move %1 %2").arg(x).arg(y); }
    void Button(input::MouseButton button, bool down) override
    {
        events << QString("%1 %2").arg(button == input::MouseButton::Right ? "right" : "left", down ? "down" : "up");
    }
    bool Key(int virtualKey, bool, bool down) override
    {
        events << QString("key %1 %2").arg(virtualKey).arg(down ? "down" : "up");
        return true;
    }
    void Flush() override {}

    QStringList events;
};

}  // namespace ui_testing
