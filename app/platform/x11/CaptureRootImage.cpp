#include "platform/x11/CaptureRootImage.h"

#include "platform/x11/CaptureXErrorTrap.h"

#include <cstdlib>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

namespace platform {

struct CaptureRootImage::Impl {
    Display* display;
    XImage* image = nullptr;
    XShmSegmentInfo segment{};
    bool useShared = false;
    bool attached = false;

    explicit Impl(Display* d) : display(d) { useShared = XShmQueryExtension(d); }
    ~Impl() { Release(); }

    void Release();
    bool Ensure(int width, int height, QString* error);
    bool CreateShared(int width, int height, QString* error);
    bool CreatePlain(int width, int height, QString* error);
    bool CheckFormat(QString* error);
};

void CaptureRootImage::Impl::Release()
{
    if (!image)
        return;
    if (attached) {
        CaptureXErrorTrap trap(display);
        XShmDetach(display, &segment);
        trap.Sync("XShmDetach", nullptr);
        attached = false;
    }
    if (segment.shmaddr) {
        shmdt(segment.shmaddr);
        segment = XShmSegmentInfo{};
        image->data = nullptr;  // not ours to free
    }
    XDestroyImage(image);
    image = nullptr;
}

bool CaptureRootImage::Impl::CreateShared(int width, int height, QString* error)
{
    const int screen = DefaultScreen(display);
    image = XShmCreateImage(display, DefaultVisual(display, screen), DefaultDepth(display, screen), ZPixmap, nullptr,
                            &segment, width, height);
    if (!image)
        return false;
    segment.shmid = shmget(IPC_PRIVATE, static_cast<size_t>(image->bytes_per_line) * height, IPC_CREAT | 0600);
    if (segment.shmid < 0)
        return false;
    void* address = shmat(segment.shmid, nullptr, 0);
    // Marked for removal at once: it lives only while attached, even if we crash.
    shmctl(segment.shmid, IPC_RMID, nullptr);
    if (address == reinterpret_cast<void*>(-1))
        return false;
    segment.shmaddr = image->data = static_cast<char*>(address);
    segment.readOnly = False;
    CaptureXErrorTrap trap(display);
    XShmAttach(display, &segment);
    attached = trap.Sync("XShmAttach", error);
    return attached;
}

bool CaptureRootImage::Impl::CreatePlain(int width, int height, QString* error)
{
    const int screen = DefaultScreen(display);
    image = XCreateImage(display, DefaultVisual(display, screen), DefaultDepth(display, screen), ZPixmap, 0, nullptr,
                         width, height, 32, 0);
    if (image)
        image->data = static_cast<char*>(std::malloc(static_cast<size_t>(image->bytes_per_line) * height));
    if (!image || !image->data) {
        if (error)
            *error = QStringLiteral("no memory for a %1 × %2 screen image").arg(width).arg(height);
        return false;
    }
    return true;
}

bool CaptureRootImage::Impl::CheckFormat(QString* error)
{
    if (image->bits_per_pixel == 32 && image->byte_order == LSBFirst && image->red_mask == 0xff0000
        && image->green_mask == 0xff00 && image->blue_mask == 0xff)
        return true;
    if (error)
        *error = QStringLiteral("unsupported screen format (%1 bits per pixel, depth %2)")
                     .arg(image->bits_per_pixel)
                     .arg(image->depth);
    return false;
}

bool CaptureRootImage::Impl::Ensure(int width, int height, QString* error)
{
    if (image && image->width == width && image->height == height)
        return true;
    Release();
    if (useShared && !CreateShared(width, height, nullptr)) {
        // Refused (a remote server, no segments left): plain reads from now on.
        Release();
        useShared = false;
    }
    if (!image && !CreatePlain(width, height, error))
        return false;
    if (!CheckFormat(error)) {
        Release();
        return false;
    }
    return true;
}

CaptureRootImage::CaptureRootImage(Display* display) : impl_(std::make_unique<Impl>(display)) {}

CaptureRootImage::~CaptureRootImage() = default;

bool CaptureRootImage::Read(int width, int height, QString* error)
{
    int stride = 0;
    return ReadArea(0, 0, width, height, width, height, &stride, error);
}

bool CaptureRootImage::ReadArea(int x, int y, int areaWidth, int areaHeight, int width, int height, int* stride,
                                QString* error)
{
    if (!impl_->Ensure(width, height, error))
        return false;
    Display* display = impl_->display;
    const Window root = DefaultRootWindow(display);
    CaptureXErrorTrap trap(display);
    if (impl_->attached) {
        // The server writes the area's rows one after the other from the segment's start.
        XImage area = *impl_->image;
        area.width = areaWidth;
        area.height = areaHeight;
        area.bytes_per_line = areaWidth * 4;
        *stride = area.bytes_per_line;
        XShmGetImage(display, root, &area, x, y, AllPlanes);
        return trap.Sync("XShmGetImage", error);
    }
    *stride = impl_->image->bytes_per_line;
    XGetSubImage(display, root, x, y, areaWidth, areaHeight, AllPlanes, ZPixmap, impl_->image, 0, 0);
    return trap.Sync("XGetImage", error);
}

const uint8_t* CaptureRootImage::pixels() const
{
    return reinterpret_cast<const uint8_t*>(impl_->image->data);
}

int CaptureRootImage::stride() const
{
    return impl_->image->bytes_per_line;
}

bool CaptureRootImage::shared() const
{
    return impl_->attached;
}

}  // namespace platform
