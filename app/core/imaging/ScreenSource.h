#pragma once

#include "core/imaging/Frame.h"
#include "core/imaging/RowSink.h"

#include <QRect>
#include <QSize>
#include <QString>
#include <cstdint>
#include <cstring>
#include <vector>

namespace imaging {

// The virtual screen: every monitor, in physical pixels. Left and top are
// negative when a monitor lies left of or above the primary one.
struct ScreenRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    bool operator==(const ScreenRect&) const = default;
};

// The pointer as the screen shows it. Pixels are premultiplied ARGB, one
// 32-bit word per pixel, row after row; a hidden pointer has no pixels or
// only transparent ones.
struct CursorImage {
    int x = 0;  // pointer position on the virtual screen
    int y = 0;
    int hotX = 0;  // the pixel of the image that sits at the pointer position
    int hotY = 0;
    int width = 0;
    int height = 0;
    std::vector<uint32_t> argb;
};

// Seam: where frames come from. The geometry is read anew at every call,
// since monitors come and go; a grab area-averages the whole virtual screen
// straight into a frame of the asked size. User-interface thread only.
class ScreenSource {
public:
    virtual ~ScreenSource() = default;

    virtual bool Geometry(ScreenRect* screen, QString* error) = 0;
    // `size` is never larger than the screen in either direction.
    virtual bool Grab(QSize size, Frame* into, QString* error) = 0;
    // The same grab handed to `rows` row by row as it is shrunk, so no whole
    // frame need be written. A source without a way of its own grabs into
    // `scratch` and hands over its rows.
    virtual bool GrabRows(QSize size, Frame* scratch, RowSink& rows, QString* error)
    {
        if (!Grab(size, scratch, error))
            return false;
        for (int y = 0; y < scratch->height(); ++y) {
            std::memcpy(rows.Row(y), scratch->row(y), static_cast<size_t>(scratch->stride()));
            rows.Done(y);
        }
        return true;
    }
    // Only `area` of the screen (its top-left corner at 0, 0) read anew at
    // full size into `into`, which holds the whole screen, as it is now
    // sized, from an earlier grab; a screen resized since may fail the read.
    // A source without a way of its own reads the whole screen.
    virtual bool GrabArea(const QRect& area, Frame* into, QString* error)
    {
        Q_UNUSED(area);
        ScreenRect screen;
        return Geometry(&screen, error) && Grab(QSize(screen.width, screen.height), into, error);
    }
    virtual bool ReadCursor(CursorImage* into, QString* error) = 0;
    // The support session ended: a source that holds a sharing the desktop
    // shows to its user lets it go; the next grab takes it again.
    virtual void Release() {}
};

}  // namespace imaging
