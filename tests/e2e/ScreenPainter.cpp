#include "ScreenPainter.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace e2e {
namespace {

// Four columns by two rows, each colour far from the others and from black.
constexpr int kColumns = 4;
constexpr int kBlocks = 8;
constexpr QRgb kColours[kBlocks] = {
    qRgb(220, 40, 40),   qRgb(40, 180, 60),  qRgb(40, 70, 210),  qRgb(230, 210, 50),
    qRgb(240, 240, 240), qRgb(200, 60, 200), qRgb(50, 200, 210), qRgb(240, 140, 30),
};

constexpr int kStep = 3;              // view pixels between samples
constexpr int kTolerance = 40;        // per channel, JPEG on flat colour
constexpr double kWrongShare = 0.01;  // the pointer's few pixels
constexpr int kBandEdge = 2;          // view pixels left alone around the picture
constexpr double kEdgeScreenPx = 12;  // JPEG blocks and scaling blur a block's edge

int Distance(QColor a, QColor b)
{
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue())});
}

}  // namespace

ScreenPainter::ScreenPainter(const std::string& display, int width, int height) : width_(width), height_(height)
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

ScreenPainter::~ScreenPainter()
{
    if (!display_)
        return;
    if (window_)
        XDestroyWindow(display_, window_);
    XFreePixmap(display_, pixmap_);
    XCloseDisplay(display_);
}

QRect ScreenPainter::Block(int index) const
{
    const int column = index % kColumns, row = index / kColumns, rows = kBlocks / kColumns;
    return QRect(QPoint(width_ * column / kColumns, height_ * row / rows),
                 QPoint(width_ * (column + 1) / kColumns - 1, height_ * (row + 1) / rows - 1));
}

QColor ScreenPainter::Colour(int index) const { return QColor(kColours[(index + rotation_) % kBlocks]); }

void ScreenPainter::PaintBlocks()
{
    GC gc = XCreateGC(display_, pixmap_, 0, nullptr);
    for (int i = 0; i < kBlocks; ++i) {
        const QRect area = Block(i);
        XSetForeground(display_, gc, Colour(i).rgb() & 0xffffff);
        XFillRectangle(display_, pixmap_, gc, area.x(), area.y(), area.width(), area.height());
    }
    XFreeGC(display_, gc);
}

void ScreenPainter::RotateColours()
{
    ++rotation_;
    if (!Ready())
        return;
    PaintBlocks();
    XClearWindow(display_, window_);  // repainted from the background pixmap
    XSync(display_, False);
}

std::optional<QColor> ScreenPainter::ColourAt(double x, double y, double margin) const
{
    for (int i = 0; i < kBlocks; ++i) {
        const QRect a = Block(i);
        if (x >= a.left() + margin && x <= a.left() + a.width() - margin && y >= a.top() + margin
            && y <= a.top() + a.height() - margin)
            return Colour(i);
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
    while (Ready() && XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        if (event.type == ButtonPress)
            presses_.push_back({event.xbutton.x_root, event.xbutton.y_root, event.xbutton.button});
        else if (event.type == KeyPress)
            keysyms_.push_back(XLookupKeysym(&event.xkey, 0));
    }
}

bool ShowsScreen(const QImage& grab, const QRect& picture, const ScreenPainter& painter, std::string* detail)
{
    const QRect band = picture.adjusted(-kBandEdge, -kBandEdge, kBandEdge, kBandEdge);
    const double scale = static_cast<double>(picture.width()) / painter.Size().width();
    const double margin = std::max(kEdgeScreenPx, 3 / scale);
    long compared = 0, wrong = 0;
    std::ostringstream first;
    for (int y = 0; y < grab.height(); y += kStep)
        for (int x = 0; x < grab.width(); x += kStep) {
            std::optional<QColor> expected = QColor(Qt::black);
            if (picture.contains(x, y))
                expected = painter.ColourAt((x - picture.x() + 0.5) / scale, (y - picture.y() + 0.5) / scale, margin);
            else if (band.contains(x, y))
                continue;
            if (!expected)
                continue;
            ++compared;
            const QColor seen = grab.pixelColor(x, y);
            if (Distance(seen, *expected) > kTolerance && wrong++ < 5)
                first << " (" << x << "," << y << ") " << seen.name().toStdString() << " not "
                      << expected->name().toStdString() << ";";
        }
    *detail = std::to_string(wrong) + " of " + std::to_string(compared) + " samples differ:" + first.str();
    return compared > 0 && wrong <= compared * kWrongShare;
}

}  // namespace e2e
