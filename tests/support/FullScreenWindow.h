#pragma once

// For tests that own what an X screen shows. Include after the test
// framework: Xlib defines None, Bool, Status, True, False.
#include <X11/Xlib.h>

namespace testing_support {

// A window over the whole default screen, on top of everything and outside
// any window manager's control, mapped and exposed (ready to be drawn on).
inline Window OpenFullScreenWindow(Display* display, int* width, int* height)
{
    const int screen = DefaultScreen(display);
    *width = DisplayWidth(display, screen);
    *height = DisplayHeight(display, screen);
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.event_mask = ExposureMask;
    const Window window = XCreateWindow(display, RootWindow(display, screen), 0, 0, *width, *height, 0, CopyFromParent,
                                        InputOutput, CopyFromParent, CWOverrideRedirect | CWEventMask, &attributes);
    XMapRaised(display, window);
    XEvent event;
    XWindowEvent(display, window, ExposureMask, &event);
    return window;
}

}  // namespace testing_support
