#include "platform/x11/CaptureXErrorTrap.h"

#include <X11/Xlib.h>

namespace platform {

namespace {

int lastErrorCode = 0;  // Success

int RecordError(Display*, XErrorEvent* event)
{
    if (lastErrorCode == 0)
        lastErrorCode = event->error_code;
    return 0;
}

using Handler = int (*)(Display*, XErrorEvent*);

}  // namespace

CaptureXErrorTrap::CaptureXErrorTrap(Display* display)
    : display_(display), previous_(reinterpret_cast<int (*)(Display*, void*)>(XSetErrorHandler(RecordError)))
{
    lastErrorCode = 0;
}

CaptureXErrorTrap::~CaptureXErrorTrap()
{
    XSync(display_, False);
    XSetErrorHandler(reinterpret_cast<Handler>(previous_));
}

bool CaptureXErrorTrap::Sync(const char* what, QString* error)
{
    XSync(display_, False);
    const int code = lastErrorCode;
    lastErrorCode = 0;
    if (code == 0)
        return true;
    if (error) {
        char text[128] = {};
        XGetErrorText(display_, code, text, sizeof text);
        *error = QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(text));
    }
    return false;
}

}  // namespace platform
