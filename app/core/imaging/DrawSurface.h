#pragma once

#include "core/imaging/ScreenSource.h"

#include <QColor>
#include <QImage>
#include <QRect>
#include <QRegion>
#include <QSize>

namespace imaging {

// Seam: somewhere a received frame is drawn (the preview box, the viewer's
// picture area or the viewer itself). User-interface thread only.
class DrawSurface {
public:
    virtual ~DrawSurface() = default;

    virtual QSize DrawableSize() const = 0;
    virtual void Clear() = 0;  // to the surface's background colour
    virtual void DrawPicture(const QImage& picture, const QRect& into) = 0;  // stretched
    virtual void Refresh() = 0;
    // A picture composed in place from updates, `changed` in its pixels, and
    // the pointer over it. A widget keeps references to both, never a copy
    // (a copy would make the next update copy the whole picture), until the
    // next Clear, and repaints only what changed; this default draws it whole.
    virtual void DrawComposed(const QImage& picture, const CursorImage& pointer, const QRect& into,
                              const QRegion& changed)
    {
        Q_UNUSED(pointer);
        Q_UNUSED(changed);
        DrawPicture(picture, into);
        Refresh();
    }
};

// A surface painted into a QImage: headless drawing for tests and for
// widgets that show a finished image.
class ImageSurface final : public DrawSurface {
public:
    ImageSurface(QSize size, QColor background);

    QSize DrawableSize() const override { return canvas_.size(); }
    void Clear() override;
    void DrawPicture(const QImage& picture, const QRect& into) override;
    void Refresh() override { ++refreshes_; }

    const QImage& canvas() const { return canvas_; }
    int refreshes() const { return refreshes_; }

private:
    QImage canvas_;
    QColor background_;
    int refreshes_ = 0;
};

// Where the fit rule puts a remote desktop of remoteWidth × remoteHeight
// (both positive) in a surface of `size`.
QRect FittedArea(QSize size, int remoteWidth, int remoteHeight);

// Draws `picture` into `target` by the fit rule for a remote desktop of
// remoteWidth × remoteHeight (bands left to the caller's Clear), then
// refreshes it; without a usable remote size the picture fills the target.
void DrawRemotePicture(DrawSurface& target, const QImage& picture, int remoteWidth, int remoteHeight);
// The same by the fit rule for the picture's own size, for a picture that
// updates compose: only `changed` (picture pixels) need be repainted.
void DrawRemoteUpdate(DrawSurface& target, const QImage& picture, const CursorImage& pointer, const QRegion& changed);

}  // namespace imaging
