#include "ScreenPainter.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cmath>

namespace e2e {
namespace {

// Four columns by two rows, each colour far from the others and from black.
constexpr int kColumns = 4;
constexpr int kRows = 2;
constexpr QRgb kColours[kRows][kColumns] = {
    {qRgb(220, 40, 40), qRgb(40, 180, 60), qRgb(40, 70, 210), qRgb(230, 210, 50)},
    {qRgb(240, 240, 240), qRgb(200, 60, 200), qRgb(50, 200, 210), qRgb(240, 140, 30)},
};

std::vector<ScreenPainter::Block> Layout(int width, int height)
{
    std::vector<ScreenPainter::Block> blocks;
    for (int row = 0; row < kRows; ++row)
        for (int column = 0; column < kColumns; ++column) {
            const int left = width * column / kColumns, right = width * (column + 1) / kColumns;
            const int top = height * row / kRows, bottom = height * (row + 1) / kRows;
            blocks.push_back({QRect(left, top, right - left, bottom - top), QColor(kColours[row][column])});
        }
    return blocks;
}

unsigned long PixelOf(QColor colour)
{
    return (static_cast<unsigned long>(colour.red()) << 16) | (colour.green() << 8) | colour.blue();
}

}  // namespace

ScreenPainter::ScreenPainter(const std::string& display, int width, int height) : blocks_(Layout(width, height))
{
    display_ = XOpenDisplay(display.c_str());
    if (!display_)
        return;
    const int screen = DefaultScreen(display_);
    const Window root = RootWindow(display_, screen);
    pixmap_ = XCreatePixmap(display_, root, width, height, DefaultDepth(display_, screen));
    PaintBlocks();

    // The server repaints from the background pixmap: no Expose handling needed.
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixmap = pixmap_;
    attributes.event_mask = ButtonPressMask | KeyPressMask;
    window_ = XCreateWindow(display_, root, 0, 0, width, height, 0, CopyFromParent, InputOutput, CopyFromParent,
                            CWOverrideRedirect | CWBackPixmap | CWEventMask, &attributes);
    XMapRaised(display_, window_);
    XSync(display_, False);
}

void ScreenPainter::PaintBlocks()
{
    GC gc = XCreateGC(display_, pixmap_, 0, nullptr);
    for (const Block& block : blocks_) {
        XSetForeground(display_, gc, PixelOf(block.colour));
        XFillRectangle(display_, pixmap_, gc, block.area.x(), block.area.y(), block.area.width(), block.area.height());
    }
    XFreeGC(display_, gc);
}

void ScreenPainter::RotateColours()
{
    if (!Ready())
        return;
    const QColor first = blocks_.front().colour;
    for (std::size_t i = 0; i + 1 < blocks_.size(); ++i)
        blocks_[i].colour = blocks_[i + 1].colour;
    blocks_.back().colour = first;
    PaintBlocks();
    XClearWindow(display_, window_);  // repainted from the background pixmap
    XSync(display_, False);
}

ScreenPainter::~ScreenPainter()
{
    if (!display_)
        return;
    if (window_)
        XDestroyWindow(display_, window_);
    if (pixmap_)
        XFreePixmap(display_, pixmap_);
    XCloseDisplay(display_);
}

std::optional<QColor> ScreenPainter::ColourAt(double x, double y, double margin) const
{
    for (const Block& block : blocks_) {
        const QRect& a = block.area;
        if (x >= a.left() + margin && x <= a.left() + a.width() - margin && y >= a.top() + margin
            && y <= a.top() + a.height() - margin)
            return block.colour;
    }
    return std::nullopt;
}

void ScreenPainter::RaiseAndFocus()
{
    if (!Ready())
        return;
    XRaiseWindow(display_, window_);
    XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
    XSync(display_, False);
}

void ScreenPainter::Pump()
{
    if (!Ready())
        return;
    while (XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        if (event.type == ButtonPress)
            presses_.push_back({event.xbutton.x_root, event.xbutton.y_root, event.xbutton.button});
        else if (event.type == KeyPress)
            keysyms_.push_back(XLookupKeysym(&event.xkey, 0));
    }
}

}  // namespace e2e
