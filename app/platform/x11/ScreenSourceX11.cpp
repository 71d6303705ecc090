#include "platform/x11/ScreenSourceX11.h"

#include "core/imaging/AreaScaler.h"
#include "platform/x11/CaptureCursorX11.h"
#include "platform/x11/CaptureRootImage.h"
#include "platform/x11/CaptureXErrorTrap.h"

#include <cstring>
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

namespace platform {

namespace {

// Closed last, after the grab image has let go of its segment.
struct Connection {
    Display* display;
    ~Connection() { XCloseDisplay(display); }
};

}  // namespace

struct ScreenSourceX11::Impl {
    explicit Impl(Display* d) : connection{d}, display(d), root(d) {}

    Connection connection;
    Display* display;
    CaptureRootImage root;
    imaging::AreaScaler scaler;
};

std::unique_ptr<ScreenSourceX11> ScreenSourceX11::Open(const char* displayName, QString* error)
{
    Display* display = XOpenDisplay(displayName);
    if (!display) {
        if (error)
            *error = QStringLiteral("cannot open X display %1").arg(QString::fromLocal8Bit(XDisplayName(displayName)));
        return nullptr;
    }
    int eventBase = 0, errorBase = 0;
    if (!XFixesQueryExtension(display, &eventBase, &errorBase)) {
        XCloseDisplay(display);
        if (error)
            *error = QStringLiteral("the X server has no XFixes extension");
        return nullptr;
    }
    return std::unique_ptr<ScreenSourceX11>(new ScreenSourceX11(std::make_unique<Impl>(display)));
}

ScreenSourceX11::ScreenSourceX11(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

ScreenSourceX11::~ScreenSourceX11() = default;

bool ScreenSourceX11::Geometry(imaging::ScreenRect* screen, QString* error)
{
    Display* display = impl_->display;
    Window root = 0;
    int x = 0, y = 0;
    unsigned width = 0, height = 0, border = 0, depth = 0;
    CaptureXErrorTrap trap(display);
    const Status ok = XGetGeometry(display, DefaultRootWindow(display), &root, &x, &y, &width, &height, &border, &depth);
    if (!trap.Sync("XGetGeometry", error))
        return false;
    if (!ok) {
        if (error)
            *error = QStringLiteral("XGetGeometry: no answer");
        return false;
    }
    *screen = imaging::ScreenRect{0, 0, static_cast<int>(width), static_cast<int>(height)};
    return true;
}

bool ScreenSourceX11::ReadRoot(QSize size, imaging::ScreenRect* screen, QString* error)
{
    if (!Geometry(screen, error))
        return false;
    if (size.width() > screen->width || size.height() > screen->height || size.isEmpty()) {
        if (error)
            *error = QStringLiteral("the screen changed size during the capture");
        return false;
    }
    return impl_->root.Read(screen->width, screen->height, error);
}

bool ScreenSourceX11::Grab(QSize size, imaging::Frame* into, QString* error)
{
    into->Resize(size.width(), size.height());
    imaging::FrameRows rows(into);
    return GrabRows(size, into, rows, error);
}

bool ScreenSourceX11::GrabRows(QSize size, imaging::Frame*, imaging::RowSink& rows, QString* error)
{
    imaging::ScreenRect screen;
    if (!ReadRoot(size, &screen, error))
        return false;
    impl_->scaler.Scale(impl_->root.pixels(), screen.width, screen.height, impl_->root.stride(), size.width(),
                        size.height(), rows);
    return true;
}

bool ScreenSourceX11::GrabArea(const QRect& area, imaging::Frame* into, QString* error)
{
    // The caller has just read the geometry: a screen that shrank since makes the read fail, not go wrong.
    const QRect inside = area & QRect(0, 0, into->width(), into->height());
    int stride = 0;
    if (inside.isEmpty()
        || !impl_->root.ReadArea(inside.x(), inside.y(), inside.width(), inside.height(), into->width(),
                                 into->height(), &stride, error))
        return inside.isEmpty();
    for (int y = 0; y < inside.height(); ++y)
        std::memcpy(into->row(inside.y() + y) + static_cast<size_t>(inside.x()) * 4,
                    impl_->root.pixels() + static_cast<size_t>(y) * stride, static_cast<size_t>(inside.width()) * 4);
    return true;
}

bool ScreenSourceX11::ReadCursor(imaging::CursorImage* into, QString* error)
{
    return ReadCursorX11(impl_->display, into, error);
}

bool ScreenSourceX11::SharedMemory() const
{
    return impl_->root.shared();
}

}  // namespace platform
