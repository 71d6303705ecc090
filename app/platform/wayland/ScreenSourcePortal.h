#pragma once

#include "core/imaging/AreaScaler.h"
#include "core/imaging/ScreenSource.h"
#include "platform/wayland/PipeWireStream.h"

#include <QString>
#include <memory>

namespace platform {

class PortalDesktop;

// The monitor the desktop portal shares, as a frame source: the stream's
// latest picture shrunk straight from PipeWire's buffer, the pointer from the
// stream's metadata, the geometry from the stream. User-interface thread only.
class ScreenSourcePortal final : public imaging::ScreenSource {
public:
    // Without a portal on the session bus: nothing, and `error` says why.
    static std::unique_ptr<ScreenSourcePortal> Open(std::shared_ptr<PortalDesktop> desktop, QString* error);
    ~ScreenSourcePortal() override;

    bool Geometry(imaging::ScreenRect* screen, QString* error) override;
    bool Grab(QSize size, imaging::Frame* into, QString* error) override;
    // Shrinks straight into `rows`; `scratch` is not used.
    bool GrabRows(QSize size, imaging::Frame* scratch, imaging::RowSink& rows, QString* error) override;
    bool ReadCursor(imaging::CursorImage* into, QString* error) override;
    void Release() override;

private:
    explicit ScreenSourcePortal(std::shared_ptr<PortalDesktop> desktop);
    bool Read(const std::function<void(const StreamPicture&)>& read, QString* error);

    std::shared_ptr<PortalDesktop> desktop_;
    imaging::AreaScaler scaler_;
};

}  // namespace platform
