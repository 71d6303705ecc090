#pragma once

// A second X client on the test display: a window over the whole screen
// painted in large known blocks, and reads of the pointer and keyboard state
// that do not go through the program. Include after the test framework:
// Xlib defines None, Bool, Status, True, False.
#include "support/FullScreenWindow.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <QColor>
#include <array>

namespace link_x11 {

class XScene {
public:
    // Four quadrants of distinct flat colours: a screen that stays as it is.
    static constexpr std::array<QRgb, 4> kQuadrants{0xd02020, 0x20a040, 0x2040d0, 0xe0e0e0};

    XScene() : display_(XOpenDisplay(nullptr))
    {
        if (!display_)
            return;
        window_ = testing_support::OpenFullScreenWindow(display_, &width_, &height_);
        GC gc = XCreateGC(display_, window_, 0, nullptr);
        const int halfW = width_ / 2, halfH = height_ / 2;
        for (int q = 0; q < 4; ++q) {
            XSetForeground(display_, gc, kQuadrants[q]);
            XFillRectangle(display_, window_, gc, q % 2 ? halfW : 0, q / 2 ? halfH : 0, width_ - halfW, height_ - halfH);
        }
        XFreeGC(display_, gc);
        MovePointer();  // out of the way of the samples
    }
    ~XScene()
    {
        if (display_)
            XCloseDisplay(display_);
    }
    XScene(const XScene&) = delete;
    XScene& operator=(const XScene&) = delete;

    bool Ready() const { return display_ != nullptr; }

    unsigned ButtonMask()
    {
        Window root, child;
        int rx, ry, wx, wy;
        unsigned mask = 0;
        XQueryPointer(display_, window_, &root, &child, &rx, &ry, &wx, &wy, &mask);
        return mask & (Button1Mask | Button2Mask | Button3Mask);
    }

    bool KeyDown(KeySym keysym)
    {
        char keys[32] = {};
        XQueryKeymap(display_, keys);
        const KeyCode code = XKeysymToKeycode(display_, keysym);
        return code && (keys[code / 8] & (1 << (code % 8)));
    }

    // A changed picture without repainting: the pointer moves, and the
    // sender blends it into every frame.
    void MovePointer()
    {
        XWarpPointer(display_, None, DefaultRootWindow(display_), 0, 0, 0, 0, width_ - 100 - moves_++ % 50,
                     height_ - 100);
        XSync(display_, False);
    }

private:
    int moves_ = 0;
    Display* display_;
    Window window_ = 0;
    int width_ = 0, height_ = 0;
};

}  // namespace link_x11
