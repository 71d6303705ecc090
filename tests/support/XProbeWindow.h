#pragma once

// A second X client that watches input: a window over the whole screen with
// the keyboard focus, reading what is typed into it through an input method
// (so dead keys compose, under a UTF-8 locale), the pointer and the keys
// held. Include after the test framework: Xlib defines None, Bool, Status.
#include "support/FullScreenWindow.h"

#include <QString>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <algorithm>
#include <iterator>
#include <optional>
#include <poll.h>

namespace testing_support {

class XProbeWindow {
public:
    static constexpr int kWaitMs = 10000;  // only catches a hang

    explicit XProbeWindow(const char* displayName = nullptr) : display_(XOpenDisplay(displayName))
    {
        if (!display_)
            return;
        int width = 0, height = 0;
        window_ = OpenFullScreenWindow(display_, &width, &height);
        XSelectInput(display_, window_, ButtonPressMask | ButtonReleaseMask | KeyPressMask | KeyReleaseMask
                                            | PointerMotionMask);
        if (XIM im = XOpenIM(display_, nullptr, nullptr, nullptr))
            ic_ = XCreateIC(im, XNInputStyle, XIMPreeditNothing | XIMStatusNothing, XNClientWindow, window_,
                            XNFocusWindow, window_, nullptr);
        XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
        XSync(display_, False);
    }
    ~XProbeWindow()
    {
        if (ic_) {
            XIM im = XIMOfIC(ic_);
            XDestroyIC(ic_);
            XCloseIM(im);
        }
        if (display_)
            XCloseDisplay(display_);
    }
    XProbeWindow(const XProbeWindow&) = delete;
    XProbeWindow& operator=(const XProbeWindow&) = delete;

    bool Ready() const { return display_ != nullptr; }
    bool HasInputMethod() const { return ic_ != nullptr; }
    Display* display() const { return display_; }

    // The next event of `type` (0: a key press or release), skipping others;
    // nothing after kWaitMs. Typed text gathers in `text` on the way.
    std::optional<XEvent> Next(int type)
    {
        for (;;) {
            while (XPending(display_)) {
                XEvent event;
                XNextEvent(display_, &event);
                const bool key = Take(event);
                if (event.type == type || (type == 0 && key))
                    return event;
            }
            pollfd fd{ConnectionNumber(display_), POLLIN, 0};
            if (poll(&fd, 1, kWaitMs) <= 0)
                return std::nullopt;
        }
    }

    // Reads what arrived, for its text.
    void Pump()
    {
        while (XPending(display_)) {
            XEvent event;
            XNextEvent(display_, &event);
            Take(event);
        }
    }

    // The next motion event that ends at (x, y).
    bool MotionTo(int x, int y)
    {
        while (const auto event = Next(MotionNotify))
            if (event->xmotion.x_root == x && event->xmotion.y_root == y)
                return true;
        return false;
    }

    struct Pointer {
        int x, y;
        unsigned int mask;
    };
    Pointer QueryPointer()
    {
        Window root, child;
        int rootX = 0, rootY = 0, winX = 0, winY = 0;
        unsigned int mask = 0;
        XQueryPointer(display_, window_, &root, &child, &rootX, &rootY, &winX, &winY, &mask);
        return {rootX, rootY, mask};
    }

    bool AnyKeyDown()
    {
        char keys[32] = {};
        XQueryKeymap(display_, keys);
        return std::any_of(std::begin(keys), std::end(keys), [](char byte) { return byte != 0; });
    }

    QString text;

private:
    // True for a key event of the keyboard (the input method hands a
    // composed text back as one without a keycode).
    bool Take(XEvent& event)
    {
        const bool key = (event.type == KeyPress || event.type == KeyRelease) && event.xkey.keycode != 0;
        XEvent filtered = event;  // the input method may rewrite what it filters
        if (XFilterEvent(&filtered, None) || event.type != KeyPress || !ic_)
            return key;
        char buffer[64];
        Status status = 0;
        const int length = Xutf8LookupString(ic_, &filtered.xkey, buffer, sizeof buffer, nullptr, &status);
        if (status == XLookupChars || status == XLookupBoth)
            text += QString::fromUtf8(buffer, length);
        return key;
    }

    Display* display_;
    Window window_ = 0;
    XIC ic_ = nullptr;
};

}  // namespace testing_support
