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
#include <random>
#include <vector>

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
    int width() const { return width_; }
    int height() const { return height_; }

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

    // Noise over the whole screen: the largest JPEG frames there are.
    void PaintNoise()
    {
        std::vector<uint32_t> pixels(static_cast<size_t>(width_) * height_);
        std::mt19937 random(7);
        for (uint32_t& p : pixels)
            p = random() & 0xffffff;
        const int screen = DefaultScreen(display_);
        XImage* image = XCreateImage(display_, DefaultVisual(display_, screen), DefaultDepth(display_, screen), ZPixmap,
                                     0, reinterpret_cast<char*>(pixels.data()), width_, height_, 32, 0);
        GC gc = XCreateGC(display_, window_, 0, nullptr);
        XPutImage(display_, window_, gc, image, 0, 0, 0, 0, width_, height_);
        XFreeGC(display_, gc);
        image->data = nullptr;  // the vector owns the pixels
        XDestroyImage(image);
        XSync(display_, False);
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
