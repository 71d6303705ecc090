#include "ChangingDesktop.h"

#include "ShapedLink.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace framelink {

namespace {

// Sync blocks: white before the number, black after it.
constexpr int kAllBlocks = Stamp::kBits + 2;

bool BlockIsWhite(const std::uint8_t* bgrx) { return bgrx[0] + bgrx[1] + bgrx[2] > 3 * 128; }

constexpr int kPhotoWidth = ChangingDesktop::kRegionWidth / 2;

// Smooth colour fields with fine grain, as a photograph has: neither flat
// nor few-coloured, so it codes as a photograph does. Twice the width it is
// shown at, so it can slide across.
XImage* PaintPhoto(Display* display)
{
    const int width = 2 * kPhotoWidth, height = ChangingDesktop::kRegionHeight;
    auto* pixels = static_cast<std::uint32_t*>(std::malloc(static_cast<size_t>(width) * height * 4));
    std::uint32_t grain = 12345;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            grain = grain * 1103515245u + 12345u;
            const int noise = static_cast<int>((grain >> 16) % 17) - 8;
            auto channel = [&](double value) {
                return static_cast<std::uint32_t>(std::clamp(static_cast<int>(value) + noise, 0, 255));
            };
            const double r = 128 + 100 * std::sin(x / 37.0 + y / 53.0);
            const double g = 128 + 90 * std::sin(x / 23.0 - y / 41.0 + 1);
            const double b = 128 + 110 * std::cos((x + 2 * y) / 61.0);
            pixels[static_cast<size_t>(y) * width + x] = channel(r) << 16 | channel(g) << 8 | channel(b);
        }
    const int screen = DefaultScreen(display);
    return XCreateImage(display, DefaultVisual(display, screen), DefaultDepth(display, screen), ZPixmap, 0,
                        reinterpret_cast<char*>(pixels), width, height, 32, 0);
}

}  // namespace

int Stamp::RowToRead(int height, int screenHeight)
{
    return screenHeight > 0 ? static_cast<int>((kTop + kBlock / 2) * static_cast<std::int64_t>(height) / screenHeight)
                            : -1;
}

std::int64_t Stamp::Read(const std::uint8_t* bgrx, int width, int screenWidth)
{
    if (screenWidth <= 0)
        return -1;
    std::int64_t value = 0;
    for (int i = 0; i < kAllBlocks; ++i) {
        const int x = static_cast<int>((kLeft + i * kBlock + kBlock / 2) * static_cast<std::int64_t>(width) / screenWidth);
        const bool white = BlockIsWhite(bgrx + static_cast<size_t>(x) * 4);
        if (i == 0 && !white)
            return -1;
        if (i == kAllBlocks - 1)
            return white ? -1 : value;
        if (i > 0)
            value = (value << 1) | (white ? 1 : 0);
    }
    return -1;
}

std::int64_t Stamp::Read(const QImage& picture, int screenWidth, int screenHeight)
{
    if (picture.isNull() || picture.depth() != 32)
        return -1;
    const int y = RowToRead(picture.height(), screenHeight);
    return y >= 0 && y < picture.height() ? Read(picture.constScanLine(y), picture.width(), screenWidth) : -1;
}

ChangingDesktop::ChangingDesktop(Motion motion) : motion_(motion), display_(XOpenDisplay(nullptr))
{
    if (!display_)
        return;
    const int screen = DefaultScreen(display_);
    width_ = DisplayWidth(display_, screen);
    height_ = DisplayHeight(display_, screen);
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.event_mask = ExposureMask;
    window_ = XCreateWindow(display_, RootWindow(display_, screen), 0, 0, width_, height_, 0, CopyFromParent,
                            InputOutput, CopyFromParent, CWOverrideRedirect | CWEventMask, &attributes);
    XMapRaised(display_, window_);
    XEvent event;
    XWindowEvent(display_, window_, ExposureMask, &event);
    gc_ = XCreateGC(display_, window_, 0, nullptr);
    // The pointer in a corner, out of the stamp's way.
    XWarpPointer(display_, None, RootWindow(display_, screen), 0, 0, 0, 0, width_ - 1, height_ - 1);
    auto fill = [&](unsigned long colour, int x, int y, int w, int h) {
        XSetForeground(display_, static_cast<GC>(gc_), colour);
        XFillRectangle(display_, window_, static_cast<GC>(gc_), x, y, w, h);
    };
    fill(0x3a6ea5, 0, 0, width_, height_);
    fill(0xf0f0f0, 160, 120, width_ - 480, height_ - 260);
    fill(0x2b579a, 160, 120, width_ - 480, 30);
    fill(0xdddddd, 160, 150, 220, height_ - 290);
    fill(0x202020, 0, height_ - 40, width_, 40);
    XSetForeground(display_, static_cast<GC>(gc_), 0x333333);
    for (int y = 180; y < height_ - 160; y += 48)
        XDrawString(display_, window_, static_cast<GC>(gc_), 176, y, "Item de menu", 12);
    Page();
    if (motion_ == Motion::Region) {
        photo_ = PaintPhoto(display_);
        Region();
    }
    PaintStamp();
    Clock();
    XSync(display_, False);
}

ChangingDesktop::~ChangingDesktop()
{
    if (!display_)
        return;
    if (photo_)
        XDestroyImage(static_cast<XImage*>(photo_));
    XFreeGC(display_, static_cast<GC>(gc_));
    XCloseDisplay(display_);
}

void ChangingDesktop::Page()
{
    const GC gc = static_cast<GC>(gc_);
    const int left = 400, top = 170, width = width_ - 740, height = height_ - 330;
    XSetForeground(display_, gc, 0xffffff);
    XFillRectangle(display_, window_, gc, left, top, width, height);
    XSetForeground(display_, gc, 0x000000);
    char line[128];
    for (int y = top + 24, n = static_cast<int>(stamp_); y < top + height - 8; y += 64, ++n) {
        std::snprintf(line, sizeof line, "%05d  Relatorio de atendimento, linha %d: o cliente abriu a planilha.", n,
                      n % 13);
        XDrawString(display_, window_, gc, left + 16, y, line, static_cast<int>(std::strlen(line)));
    }
}

void ChangingDesktop::Region()
{
    const GC gc = static_cast<GC>(gc_);
    const int textWidth = kRegionWidth - kPhotoWidth;
    XSetForeground(display_, gc, 0xfafafa);
    XFillRectangle(display_, window_, gc, kRegionLeft, kRegionTop, textWidth, kRegionHeight);
    char line[64];
    for (int i = 0; i < kRegionHeight / 24; ++i) {
        const long long n = stamp_ + i;
        XSetForeground(display_, gc, i % 4 == 0 ? 0x2b579a : 0x202020);
        std::snprintf(line, sizeof line, "%06lld  conta %lld: R$ %lld,%02lld", n, n % 97, n * 37 % 10000, n % 100);
        XDrawString(display_, window_, gc, kRegionLeft + 12, kRegionTop + 20 + i * 24, line,
                    static_cast<int>(std::strlen(line)));
    }
    const int slide = static_cast<int>(stamp_ * 4 % kPhotoWidth);
    XPutImage(display_, window_, gc, static_cast<XImage*>(photo_), slide, 0, kRegionLeft + textWidth, kRegionTop,
              kPhotoWidth, kRegionHeight);
}

void ChangingDesktop::PaintStamp()
{
    const GC gc = static_cast<GC>(gc_);
    for (int i = 0; i < kAllBlocks; ++i) {
        const bool white = i == 0 || (i < kAllBlocks - 1 && ((stamp_ >> (Stamp::kBits - i)) & 1));
        XSetForeground(display_, gc, white ? 0xffffff : 0x000000);
        XFillRectangle(display_, window_, gc, Stamp::kLeft + i * Stamp::kBlock, Stamp::kTop, Stamp::kBlock,
                       Stamp::kBlock);
    }
}

std::int64_t ChangingDesktop::Change()
{
    ++stamp_;
    if (motion_ == Motion::Region)
        Region();
    else
        Page();
    PaintStamp();
    XSync(display_, False);
    return stamp_;
}

void ChangingDesktop::Clock()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    if (local.tm_min == minute_)
        return;
    minute_ = local.tm_min;
    char text[8];
    std::snprintf(text, sizeof text, "%02d:%02d", local.tm_hour, local.tm_min);
    const GC gc = static_cast<GC>(gc_);
    XSetForeground(display_, gc, 0x202020);
    XFillRectangle(display_, window_, gc, width_ - 80, height_ - 40, 80, 40);
    XSetForeground(display_, gc, 0xffffff);
    XDrawString(display_, window_, gc, width_ - 60, height_ - 16, text, static_cast<int>(std::strlen(text)));
    XSync(display_, False);
}

namespace {

// Passes rows on, reading the stamp from its row on the way.
class StampRows final : public imaging::RowSink {
public:
    StampRows(imaging::RowSink& inner, int row, int width, int screenWidth, std::int64_t* stamp)
        : inner_(inner), row_(row), width_(width), screenWidth_(screenWidth), stamp_(stamp)
    {
    }
    std::uint8_t* Row(int y) override { return inner_.Row(y); }
    void Done(int y) override
    {
        if (y == row_)
            *stamp_ = Stamp::Read(inner_.Row(y), width_, screenWidth_);
        inner_.Done(y);
    }

private:
    imaging::RowSink& inner_;
    int row_;
    int width_;
    int screenWidth_;
    std::int64_t* stamp_;
};

}  // namespace

bool StampedSource::GrabRows(QSize size, imaging::Frame* scratch, imaging::RowSink& rows, QString* error)
{
    imaging::ScreenRect screen;
    if (!inner_.Geometry(&screen, error))
        return false;
    grabNs_ = MonotonicNs();
    ++grabs_;
    stamp_ = -1;
    StampRows stamped(rows, Stamp::RowToRead(size.height(), screen.height), size.width(), screen.width, &stamp_);
    return inner_.GrabRows(size, scratch, stamped, error);
}

}  // namespace framelink
