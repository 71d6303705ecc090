#include "platform/wayland/ScreenSourcePortal.h"

#include "platform/wayland/PortalDesktop.h"

namespace platform {

std::unique_ptr<ScreenSourcePortal> ScreenSourcePortal::Open(std::shared_ptr<PortalDesktop> desktop, QString* error)
{
    if (!PortalDesktop::Available(error))
        return nullptr;
    return std::unique_ptr<ScreenSourcePortal>(new ScreenSourcePortal(std::move(desktop)));
}

ScreenSourcePortal::ScreenSourcePortal(std::shared_ptr<PortalDesktop> desktop) : desktop_(std::move(desktop)) {}

ScreenSourcePortal::~ScreenSourcePortal() = default;

bool ScreenSourcePortal::Read(const std::function<void(const StreamPicture&)>& read, QString* error)
{
    QString why;  // callers may not want the reason, the activity log does
    if (desktop_->Ready(&why) && desktop_->Stream()->Read(read, &why))
        return true;
    if (desktop_->Stream())
        desktop_->Fail(why);
    if (error)
        *error = why;
    return false;
}

bool ScreenSourcePortal::Geometry(imaging::ScreenRect* screen, QString* error)
{
    return Read(
        [&](const StreamPicture& picture) {
            const PortalStream& stream = desktop_->Session()->Stream();
            *screen = imaging::ScreenRect{stream.left, stream.top, picture.width, picture.height};
        },
        error);
}

bool ScreenSourcePortal::Grab(QSize size, imaging::Frame* into, QString* error)
{
    into->Resize(size.width(), size.height());
    imaging::FrameRows rows(into);
    return GrabRows(size, into, rows, error);
}

bool ScreenSourcePortal::GrabRows(QSize size, imaging::Frame*, imaging::RowSink& rows, QString* error)
{
    bool fits = false;
    const bool read = Read(
        [&](const StreamPicture& p) {
            fits = !size.isEmpty() && size.width() <= p.width && size.height() <= p.height;
            if (fits)
                scaler_.Scale(p.pixels, p.width, p.height, p.stride, size.width(), size.height(), rows);
        },
        error);
    if (read && !fits && error)
        *error = QStringLiteral("the screen changed size during the capture");
    return read && fits;
}

bool ScreenSourcePortal::ReadCursor(imaging::CursorImage* into, QString* error)
{
    QString why;
    if (!desktop_->Ready(&why)) {
        if (error)
            *error = why;
        return false;
    }
    desktop_->Stream()->Cursor(into);
    const PortalStream& stream = desktop_->Session()->Stream();
    into->x += stream.left;
    into->y += stream.top;
    return true;
}

void ScreenSourcePortal::Release() { desktop_->Close(); }

}  // namespace platform
