#pragma once

#include "core/imaging/ScreenSource.h"

#include <QString>
#include <memory>

typedef struct _XDisplay Display;

namespace platform {

// The X screen as a frame source, on a connection of its own: the root
// window (every monitor; left and top are 0) read through shared memory
// when possible, shrunk by area averaging in one pass, and the pointer
// through XFixes. The grab buffers live as long as the source.
// User-interface thread only.
class ScreenSourceX11 final : public imaging::ScreenSource {
public:
    // nullptr for $DISPLAY. Without a display or XFixes: nothing, and
    // `error` says why.
    static std::unique_ptr<ScreenSourceX11> Open(const char* displayName, QString* error);
    ~ScreenSourceX11() override;
    ScreenSourceX11(const ScreenSourceX11&) = delete;
    ScreenSourceX11& operator=(const ScreenSourceX11&) = delete;

    bool Geometry(imaging::ScreenRect* screen, QString* error) override;
    bool Grab(QSize size, imaging::Frame* into, QString* error) override;
    // Shrinks straight into `rows`; `scratch` is not used.
    bool GrabRows(QSize size, imaging::Frame* scratch, imaging::RowSink& rows, QString* error) override;
    bool GrabArea(const QRect& area, imaging::Frame* into, QString* error) override;
    bool ReadCursor(imaging::CursorImage* into, QString* error) override;

    // Whether the last grab went through shared memory.
    bool SharedMemory() const;

private:
    struct Impl;
    // The root read afresh, after checking `size` against the screen of now.
    bool ReadRoot(QSize size, imaging::ScreenRect* screen, QString* error);
    explicit ScreenSourceX11(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform
