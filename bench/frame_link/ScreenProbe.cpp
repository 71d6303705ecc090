#include "ScreenProbe.h"

#include "ChangingDesktop.h"
#include "ShapedLink.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>

namespace framelink {

namespace {

// A window that went away or is partly off the screen answers BadMatch:
// the read fails, the benchmark does not end.
int IgnoreXErrors(Display*, XErrorEvent*) { return 0; }

QImage ToImage(XImage* image)
{
    if (!image)
        return {};
    QImage picture(image->width, image->height, QImage::Format_RGB32);
    if (image->bits_per_pixel == 32)
        for (int y = 0; y < image->height; ++y)
            std::memcpy(picture.scanLine(y), image->data + static_cast<size_t>(y) * image->bytes_per_line,
                        static_cast<size_t>(image->width) * 4);
    XDestroyImage(image);
    // X leaves the fourth byte undefined; RGB32 wants it opaque.
    return picture.convertToFormat(QImage::Format_ARGB32).convertToFormat(QImage::Format_RGB32);
}

QImage GrabWindow(Display* display, Window window, QSize size)
{
    return ToImage(XGetImage(display, window, 0, 0, size.width(), size.height(), AllPlanes, ZPixmap));
}

// The innermost viewable window of exactly `size` under `window`.
Window FindWindowOfSize(Display* display, Window window, QSize size)
{
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    Window found = 0;
    if (XQueryTree(display, window, &root, &parent, &children, &count)) {
        for (unsigned int i = 0; i < count && !found; ++i) {
            XWindowAttributes attributes{};
            if (!XGetWindowAttributes(display, children[i], &attributes) || attributes.map_state != IsViewable)
                continue;
            found = FindWindowOfSize(display, children[i], size);
            if (!found && attributes.width == size.width() && attributes.height == size.height())
                found = children[i];
        }
        if (children)
            XFree(children);
    }
    return found;
}

}  // namespace

QImage GrabDisplay(const std::string& name)
{
    Display* display = XOpenDisplay(name.c_str());
    if (!display)
        return {};
    const int screen = DefaultScreen(display);
    const QImage picture = GrabWindow(display, RootWindow(display, screen),
                                      {DisplayWidth(display, screen), DisplayHeight(display, screen)});
    XCloseDisplay(display);
    return picture;
}

double Psnr(const QImage& truth, const QImage& shown, const QRect& excluded)
{
    if (truth.isNull() || truth.size() != shown.size())
        return NAN;
    const QImage a = truth.convertToFormat(QImage::Format_RGB32);
    const QImage b = shown.convertToFormat(QImage::Format_RGB32);
    double squares = 0;
    std::int64_t values = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto* rowA = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* rowB = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            if (excluded.contains(x, y))
                continue;
            const int dr = qRed(rowA[x]) - qRed(rowB[x]);
            const int dg = qGreen(rowA[x]) - qGreen(rowB[x]);
            const int db = qBlue(rowA[x]) - qBlue(rowB[x]);
            squares += dr * dr + dg * dg + db * db;
            values += 3;
        }
    }
    if (squares == 0)
        return std::numeric_limits<double>::infinity();
    return 10 * std::log10(255.0 * 255.0 * static_cast<double>(values) / squares);
}

std::unique_ptr<ViewerProbe> ViewerProbe::Open(const std::string& name, QSize remote, std::string* problem)
{
    std::unique_ptr<ViewerProbe> probe(new ViewerProbe);
    probe->size_ = remote;
    probe->display_ = XOpenDisplay(name.c_str());
    int errorBase = 0;
    if (!probe->display_ || !XDamageQueryExtension(probe->display_, &probe->damageEvent_, &errorBase)) {
        *problem = "no display " + name + " with damage events";
        return nullptr;
    }
    XSetErrorHandler(IgnoreXErrors);
    const Window root = DefaultRootWindow(probe->display_);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!(probe->window_ = FindWindowOfSize(probe->display_, root, remote))) {
        if (std::chrono::steady_clock::now() > deadline) {
            *problem = "the viewer showed no window of the remote screen's size within 20 s";
            return nullptr;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    probe->damage_ = XDamageCreate(probe->display_, root, XDamageReportNonEmpty);
    XSync(probe->display_, False);
    probe->stop_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    probe->thread_ = std::thread([raw = probe.get()] { raw->Watch(); });
    return probe;
}

ViewerProbe::~ViewerProbe()
{
    Finish();
    if (stop_ >= 0)
        close(stop_);
    if (display_)
        XCloseDisplay(display_);
}

ViewerProbe::Shown ViewerProbe::Finish()
{
    if (thread_.joinable()) {
        const std::uint64_t one = 1;
        (void)!write(stop_, &one, sizeof one);
        thread_.join();
    }
    return shown_;
}

QImage ViewerProbe::Grab() { return GrabWindow(display_, window_, size_); }

std::int64_t ViewerProbe::ReadStamp()
{
    const int row = Stamp::kTop + Stamp::kBlock / 2;
    XImage* image = XGetImage(display_, window_, 0, row, size_.width(), 1, AllPlanes, ZPixmap);
    if (!image)
        return -1;
    const std::int64_t stamp = image->bits_per_pixel == 32
        ? Stamp::Read(reinterpret_cast<const std::uint8_t*>(image->data), size_.width(), size_.width())
        : -1;
    XDestroyImage(image);
    return stamp;
}

void ViewerProbe::Watch()
{
    std::int64_t last = -1;
    for (;;) {
        bool damaged = false;
        while (XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            damaged = damaged || event.type == damageEvent_ + XDamageNotify;
        }
        if (damaged) {
            XDamageSubtract(display_, damage_, None, None);
            const std::int64_t stamp = ReadStamp();
            if (stamp >= 0 && stamp != last) {
                shown_.emplace_back(stamp, MonotonicNs());
                ++count_;
                last = stamp;
            }
            continue;
        }
        pollfd fds[2] = {{ConnectionNumber(display_), POLLIN, 0}, {stop_, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR)
            return;
        if (fds[1].revents)
            return;
    }
}

}  // namespace framelink
