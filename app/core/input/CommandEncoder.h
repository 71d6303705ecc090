#pragma once

#include "core/input/CommandLink.h"
#include "core/time/Clock.h"

#include <QString>

// Turns the technician's mouse and key events over the remote picture into
// command lines: checks the link, maps the point to the remote desktop,
// throttles moves, tells clicks from drags and clamps what it sends. Holds
// the mouse state of the main window. User-interface thread only.

namespace input {

struct MouseState {
    int PressX = 0;  // remote coordinates of the last press
    int PressY = 0;
    int PressButton = 0;  // 1 left, 2 right, 4 middle
    bool Dragging = false;  // the press became a drag and "MD" went out
    float LastMoveAt = 0;   // clock reading of the last "MM" sent
};

class CommandEncoder {
public:
    CommandEncoder(CommandLink& link, const timing::Clock& clock) : link_(link), clock_(clock) {}

    // action "MD", "MM" or "MU"; x, y in the view, whose drawable size is given.
    void RemoteMouseFromView(const QString& action, int x, int y, int button, int viewWidth, int viewHeight);
    // action "KD" or "KU"; codes outside 1..255 send nothing.
    void RemoteKeyFromView(const QString& action, int keyCode);

    // Ctrl+Esc in the viewer never reaches the remote machine: it lets go
    // of the modifiers there and ends the remote screen.
    void CtrlEsc();

    void SendMouseCommand(const QString& action, int x, int y, int button);
    void SendKeyCommand(const QString& action, int keyCode);
    void SendCommandTcp(const QString& action, int x, int y, int button);

    const MouseState& Mouse() const { return mouse_; }

private:
    bool LinkOpen() const;
    bool ViaRelay() const;
    void MouseMoved(int rx, int ry, int button);

    CommandLink& link_;
    const timing::Clock& clock_;
    MouseState mouse_;
};

}  // namespace input
