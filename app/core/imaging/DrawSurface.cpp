#include "core/imaging/DrawSurface.h"

#include "core/imaging/FitRule.h"

#include <QPainter>

namespace imaging {

ImageSurface::ImageSurface(QSize size, QColor background)
    : canvas_(size, QImage::Format_RGB32), background_(background)
{
    canvas_.fill(background_);
}

void ImageSurface::Clear()
{
    canvas_.fill(background_);
}

void ImageSurface::DrawPicture(const QImage& picture, const QRect& into)
{
    QPainter painter(&canvas_);
    painter.drawImage(into, picture);
}

QRect FittedArea(QSize size, int remoteWidth, int remoteHeight)
{
    const FitLayout fit = FitRemote(size.width(), size.height(), remoteWidth, remoteHeight);
    return QRect(fit.x, fit.y, fit.width, fit.height);
}

void DrawRemotePicture(DrawSurface& target, const QImage& picture, int remoteWidth, int remoteHeight)
{
    if (picture.isNull())
        return;
    const QSize size = target.DrawableSize();
    if (remoteWidth <= 0 || remoteHeight <= 0) {
        target.DrawPicture(picture, QRect(QPoint(0, 0), size));
        return;
    }
    target.DrawPicture(picture, FittedArea(size, remoteWidth, remoteHeight));
    target.Refresh();
}

void DrawRemoteUpdate(DrawSurface& target, const QImage& picture, const CursorImage& pointer, const QRegion& changed)
{
    if (picture.isNull())
        return;
    target.DrawComposed(picture, pointer, FittedArea(target.DrawableSize(), picture.width(), picture.height()), changed);
}

}  // namespace imaging
