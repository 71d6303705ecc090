#pragma once

// Paints desktop-like content over the whole screen of $DISPLAY and keeps
// it there while it lives: a white page of text lines, grey panels, a
// coloured title bar. False when there is no display.
class DesktopPainter {
public:
    DesktopPainter();
    ~DesktopPainter();
    DesktopPainter(const DesktopPainter&) = delete;
    DesktopPainter& operator=(const DesktopPainter&) = delete;

    bool Ready() const { return display_ != nullptr; }

private:
    struct _XDisplay* display_;
};
