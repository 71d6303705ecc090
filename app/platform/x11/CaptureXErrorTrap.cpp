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

// Whether a request went out whose outcome the server has not told yet.
// After a request that waited for its reply there is none: answers come in
// order, so every error up to it has been handled and a round trip to the
// server would only cost time (a frame makes a dozen such requests).
bool Unanswered(Display* display)
{
    return NextRequest(display) - 1 != LastKnownRequestProcessed(display);
}

void Settle(Display* display)
{
    if (Unanswered(display))
        XSync(display, False);
}

}  // namespace

CaptureXErrorTrap::CaptureXErrorTrap(Display* display)
    : display_(display), previous_(reinterpret_cast<int (*)(Display*, void*)>(XSetErrorHandler(RecordError)))
{
    lastErrorCode = 0;
}

CaptureXErrorTrap::~CaptureXErrorTrap()
{
    Settle(display_);
    XSetErrorHandler(reinterpret_cast<Handler>(previous_));
}

bool CaptureXErrorTrap::Sync(const char* what, QString* error)
{
    Settle(display_);
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
