#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
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

// Draws `picture` into `target` by the fit rule for a remote desktop of
// remoteWidth × remoteHeight (bands left to the caller's Clear), then
// refreshes it; without a usable remote size the picture fills the target.
void DrawRemotePicture(DrawSurface& target, const QImage& picture, int remoteWidth, int remoteHeight);

}  // namespace imaging
