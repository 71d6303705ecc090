#include "platform/x11/DamageSourceX11.h"

#include "platform/x11/CaptureXErrorTrap.h"

#include <QDebug>
#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>
#include <X11/extensions/Xfixes.h>

namespace platform {

// Raw rectangles would send an event for every drawing request, piling up
// without bound between calls; NonEmpty sends one until the region is taken.
struct DamageSourceX11::Impl {
    Impl(Display* d, int events)
        : display(d), root(DefaultRootWindow(d)), eventBase(events),
          damage(XDamageCreate(d, root, XDamageReportNonEmpty)), parts(XFixesCreateRegion(d, nullptr, 0)),
          screen(0, 0, DisplayWidth(d, DefaultScreen(d)), DisplayHeight(d, DefaultScreen(d)))
    {
        XSelectInput(d, root, StructureNotifyMask);  // the root's size
    }
    ~Impl() { XCloseDisplay(display); }  // frees the damage and the region

    bool Drain();
    bool TakeParts(std::vector<QRect>* areas);

    Display* display;
    Window root;
    int eventBase;
    Damage damage;
    XserverRegion parts;  // where the damage is taken into
    QRect screen;
    bool started = false;
    bool damaged = false;  // the server holds damage not taken yet
};

// Reads the events that arrived; false when the root changed size.
bool DamageSourceX11::Impl::Drain()
{
    bool sameSize = true;
    while (XPending(display)) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == eventBase + XDamageNotify) {
            damaged = true;
        } else if (event.type == ConfigureNotify && event.xconfigure.window == root) {
            const QRect now(0, 0, event.xconfigure.width, event.xconfigure.height);
            sameSize = sameSize && now == screen;
            screen = now;
        }
    }
    return sameSize;
}

// Empties the server's region into `areas`, which arms its next event.
bool DamageSourceX11::Impl::TakeParts(std::vector<QRect>* areas)
{
    CaptureXErrorTrap trap(display);
    XDamageSubtract(display, damage, None, parts);
    int count = 0;
    XRectangle bounds{};
    XRectangle* rects = XFixesFetchRegionAndBounds(display, parts, &count, &bounds);
    QString error;
    const bool ok = trap.Sync("XDamageSubtract", &error);
    if (!ok)
        qWarning().noquote() << "X damage:" << error;
    const auto add = [&](const XRectangle& r) {
        const QRect area = QRect(r.x, r.y, r.width, r.height).intersected(screen);
        if (!area.isEmpty())
            areas->push_back(area);
    };
    if (ok && rects && count > kMaxAreas)
        add(bounds);
    else if (ok && rects)
        for (int i = 0; i < count; ++i)
            add(rects[i]);
    if (rects)
        XFree(rects);
    return ok && rects;
}

std::unique_ptr<DamageSourceX11> DamageSourceX11::Open(const char* displayName, QString* error)
{
    Display* display = XOpenDisplay(displayName);
    if (!display) {
        if (error)
            *error = QStringLiteral("cannot open X display %1").arg(QString::fromLocal8Bit(XDisplayName(displayName)));
        return nullptr;
    }
    int eventBase = 0, errorBase = 0, fixesEvents = 0, fixesErrors = 0;
    if (!XDamageQueryExtension(display, &eventBase, &errorBase)
        || !XFixesQueryExtension(display, &fixesEvents, &fixesErrors)) {
        XCloseDisplay(display);
        if (error)
            *error = QStringLiteral("the X server has no Damage extension");
        return nullptr;
    }
    std::unique_ptr<Impl> impl;
    bool created = false;
    {  // the trap goes before the connection closes
        CaptureXErrorTrap trap(display);
        impl = std::make_unique<Impl>(display, eventBase);
        created = trap.Sync("XDamageCreate", error);
    }
    if (!created)
        return nullptr;
    return std::unique_ptr<DamageSourceX11>(new DamageSourceX11(std::move(impl)));
}

DamageSourceX11::DamageSourceX11(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

DamageSourceX11::~DamageSourceX11() = default;

bool DamageSourceX11::TakeDamage(std::vector<QRect>* areas)
{
    areas->clear();
    bool known = impl_->Drain() && impl_->started;
    impl_->started = true;
    if (impl_->damaged) {
        // Kept on failure: the region may still hold damage, and no event would tell.
        impl_->damaged = !impl_->TakeParts(areas);
        known = known && !impl_->damaged;
    }
    if (!known)
        areas->clear();
    return known;
}

int DamageSourceX11::ConnectionFd() const
{
    return ConnectionNumber(impl_->display);
}

}  // namespace platform
