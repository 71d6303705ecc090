#include "platform/x11/CaptureCursorX11.h"

#include "platform/x11/CaptureXErrorTrap.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

namespace platform {

bool ReadCursorX11(Display* display, imaging::CursorImage* into, QString* error)
{
    CaptureXErrorTrap trap(display);
    XFixesCursorImage* cursor = XFixesGetCursorImage(display);
    if (!trap.Sync("XFixesGetCursorImage", error) || !cursor) {
        if (cursor)
            XFree(cursor);
        into->argb.clear();
        return false;
    }
    into->x = cursor->x;
    into->y = cursor->y;
    into->hotX = cursor->xhot;
    into->hotY = cursor->yhot;
    into->width = cursor->width;
    into->height = cursor->height;
    // XFixes hands out one pixel per unsigned long; only the low 32 bits count.
    const size_t count = static_cast<size_t>(cursor->width) * cursor->height;
    into->argb.resize(count);
    for (size_t i = 0; i < count; ++i)
        into->argb[i] = static_cast<uint32_t>(cursor->pixels[i]);
    XFree(cursor);
    return true;
}

}  // namespace platform
