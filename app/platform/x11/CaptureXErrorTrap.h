#pragma once

#include <QString>

typedef struct _XDisplay Display;

namespace platform {

// Catches the X errors of the requests made while it lives, instead of the
// default handler ending the process. Xlib's handler is process-wide:
// capture runs on the user-interface thread only, one trap at a time.
class CaptureXErrorTrap {
public:
    explicit CaptureXErrorTrap(Display* display);
    ~CaptureXErrorTrap();
    CaptureXErrorTrap(const CaptureXErrorTrap&) = delete;
    CaptureXErrorTrap& operator=(const CaptureXErrorTrap&) = delete;

    // Waits until the server has handled every request so far (at once when
    // the last one already waited for its reply); false, with
    // `what` and the server's error text in `error`, when one failed.
    bool Sync(const char* what, QString* error);

private:
    Display* display_;
    int (*previous_)(Display*, void*);
};

}  // namespace platform
