#include "DesktopPainter.h"

#include <X11/Xlib.h>
#include <cstdio>
#include <cstring>

DesktopPainter::DesktopPainter() : display_(XOpenDisplay(nullptr))
{
    if (!display_)
        return;
    const int screen = DefaultScreen(display_);
    const int width = DisplayWidth(display_, screen);
    const int height = DisplayHeight(display_, screen);
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.event_mask = ExposureMask;
    const Window window = XCreateWindow(display_, RootWindow(display_, screen), 0, 0, width, height, 0,
                                        CopyFromParent, InputOutput, CopyFromParent,
                                        CWOverrideRedirect | CWEventMask, &attributes);
    XMapRaised(display_, window);
    XEvent event;
    XWindowEvent(display_, window, ExposureMask, &event);

    const GC gc = XCreateGC(display_, window, 0, nullptr);
    auto fill = [&](unsigned long colour, int x, int y, int w, int h) {
        XSetForeground(display_, gc, colour);
        XFillRectangle(display_, window, gc, x, y, w, h);
    };
    fill(0x3a6ea5, 0, 0, width, height);              // desktop
    fill(0xf0f0f0, 100, 80, width - 200, height - 200);  // a window
    fill(0x2b579a, 100, 80, width - 200, 36);          // its title bar
    fill(0xdddddd, 100, 116, 300, height - 236);       // a side panel
    fill(0xffffff, 420, 140, width - 540, height - 300);  // the page
    fill(0x202020, 0, height - 48, width, 48);         // a task bar
    XSetForeground(display_, gc, 0x000000);
    char line[160];
    for (int y = 160, n = 0; y < height - 180; y += 16, ++n) {
        std::snprintf(line, sizeof line,
                      "%04d  The quick brown fox jumps over the lazy dog; remote support frame text, column %d.", n,
                      n % 7);
        for (int x = 440; x < width - 600; x += 640)
            XDrawString(display_, window, gc, x, y, line, static_cast<int>(std::strlen(line)));
    }
    XSetForeground(display_, gc, 0x333333);
    for (int y = 140; y < height - 160; y += 22)
        XDrawString(display_, window, gc, 110, y, "Item de menu", 12);
    XFreeGC(display_, gc);
    XSync(display_, False);
}

DesktopPainter::~DesktopPainter()
{
    if (display_)
        XCloseDisplay(display_);
}
