#pragma once

// A second X client that owns what a screen shows and watches what reaches
// it, apart from the program under test: a window over the whole screen, on
// top and with the keyboard focus, painted by the test (the server repaints
// it from its background, so no Expose handling); the input that lands on it
// (typed text through an input method, so dead keys compose under a UTF-8
// locale); reads of the screen, the pointer and the keys held. Include after
// the test framework: Xlib defines None, Bool, Status, True, False.
#include "support/HangLimit.h"

#include <QImage>
#include <QString>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <algorithm>
#include <array>
#include <functional>
#include <optional>
#include <poll.h>

namespace testing_support {

class XScreen {
public:
    explicit XScreen(const char* displayName = nullptr) : display_(XOpenDisplay(displayName))
    {
        if (!display_)
            return;
        const int screen = DefaultScreen(display_);
        width_ = DisplayWidth(display_, screen);
        height_ = DisplayHeight(display_, screen);
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;
        attributes.background_pixel = BlackPixel(display_, screen);
        attributes.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | KeyPressMask | KeyReleaseMask
            | PointerMotionMask;
        window_ = XCreateWindow(display_, RootWindow(display_, screen), 0, 0, width_, height_, 0, CopyFromParent,
                                InputOutput, CopyFromParent, CWOverrideRedirect | CWBackPixel | CWEventMask,
                                &attributes);
        if (XIM im = XOpenIM(display_, nullptr, nullptr, nullptr))
            ic_ = XCreateIC(im, XNInputStyle, XIMPreeditNothing | XIMStatusNothing, XNClientWindow, window_,
                            XNFocusWindow, window_, nullptr);
        XMapRaised(display_, window_);
        Next(Expose);
        RaiseAndFocus();
    }
    ~XScreen()
    {
        if (ic_) {
            XIM im = XIMOfIC(ic_);
            XDestroyIC(ic_);
            XCloseIM(im);
        }
        if (display_)
            XCloseDisplay(display_);  // frees the window and its pixmap
    }
    XScreen(const XScreen&) = delete;
    XScreen& operator=(const XScreen&) = delete;

    bool Ready() const { return display_ != nullptr; }
    bool HasInputMethod() const { return ic_ != nullptr; }
    Display* display() const { return display_; }
    Window window() const { return window_; }
    int width() const { return width_; }
    int height() const { return height_; }

    // Every pixel from `colour` (0xRRGGBB), shown at once; what it shows, in a frame's pixel layout.
    QImage Paint(const std::function<QRgb(int x, int y)>& colour)
    {
        QImage shown(width_, height_, QImage::Format_RGB32);
        for (int y = 0; y < height_; ++y) {
            auto* line = reinterpret_cast<QRgb*>(shown.scanLine(y));
            for (int x = 0; x < width_; ++x)
                line[x] = 0xff000000 | colour(x, y);
        }
        const int screen = DefaultScreen(display_);
        if (!background_) {
            background_ = XCreatePixmap(display_, window_, width_, height_, DefaultDepth(display_, screen));
            XSetWindowBackgroundPixmap(display_, window_, background_);
        }
        XImage* image = XCreateImage(display_, DefaultVisual(display_, screen), DefaultDepth(display_, screen), ZPixmap,
                                     0, reinterpret_cast<char*>(shown.bits()), width_, height_, 32,
                                     static_cast<int>(shown.bytesPerLine()));
        XPutImage(display_, background_, DefaultGC(display_, screen), image, 0, 0, 0, 0, width_, height_);
        image->data = nullptr;  // the picture's
        XDestroyImage(image);
        XClearWindow(display_, window_);
        XSync(display_, False);
        return shown;
    }

    // The pointer over the window drawn as an I-beam, or as nothing (as programs hide it).
    void ShowPointer(bool textCursor)
    {
        const Pixmap empty = XCreatePixmap(display_, window_, 1, 1, 1);
        XColor black{};
        const Cursor cursor = textCursor ? XCreateFontCursor(display_, XC_xterm)
                                         : XCreatePixmapCursor(display_, empty, empty, &black, &black, 0, 0);
        XFreePixmap(display_, empty);
        XDefineCursor(display_, window_, cursor);
        XFreeCursor(display_, cursor);
        XSync(display_, False);
    }

    void MovePointer(int x, int y)
    {
        XWarpPointer(display_, None, DefaultRootWindow(display_), 0, 0, 0, 0, x, y);
        XSync(display_, False);
    }

    // On top of every other window, with the keyboard focus.
    void RaiseAndFocus()
    {
        XRaiseWindow(display_, window_);
        XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
        XSync(display_, False);
    }

    // The next event of `type` (0: a key press or release), skipping others;
    // nothing once none arrives for `waitMs`. Typed text gathers in `text` on the way.
    std::optional<XEvent> Next(int type, int waitMs = kHangMs)
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
            if (poll(&fd, 1, waitMs) <= 0)
                return std::nullopt;
        }
    }

    // Reads what arrived, for its text.
    void Pump() { Next(-1, 0); }

    // The next motion event that ends at (x, y).
    bool MotionTo(int x, int y)
    {
        while (const auto event = Next(MotionNotify))
            if (event->xmotion.x_root == x && event->xmotion.y_root == y)
                return true;
        return false;
    }

    // Which of the three buttons are held now.
    unsigned int Buttons()
    {
        Window root, child;
        int rootX = 0, rootY = 0, winX = 0, winY = 0;
        unsigned int mask = 0;
        XQueryPointer(display_, window_, &root, &child, &rootX, &rootY, &winX, &winY, &mask);
        return mask & (Button1Mask | Button2Mask | Button3Mask);
    }

    bool KeyDown(KeySym keysym)
    {
        const KeyCode code = XKeysymToKeycode(display_, keysym);
        return code && (Keymap()[code / 8] & (1 << (code % 8)));
    }

    bool AnyKeyDown()
    {
        const std::array<char, 32> keys = Keymap();
        return std::any_of(keys.begin(), keys.end(), [](char byte) { return byte != 0; });
    }

    QString text;

private:
    std::array<char, 32> Keymap()
    {
        std::array<char, 32> keys{};
        XQueryKeymap(display_, keys.data());
        return keys;
    }

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
    Pixmap background_ = 0;
    XIC ic_ = nullptr;
    int width_ = 0, height_ = 0;
};

}  // namespace testing_support
