#include "core/imaging/YuvPlanes.h"

#include "core/imaging/CursorOverlay.h"

#include <libyuv/convert_from_argb.h>

#include <utility>

namespace imaging {

void YuvPlanes::Resize(int width, int height)
{
    width_ = width > 0 ? width : 0;
    height_ = height > 0 ? height : 0;
    planes_[0].resize(static_cast<size_t>(width_) * height_);
    const size_t chroma = static_cast<size_t>(chromaWidth()) * chromaHeight();
    planes_[1].resize(chroma);
    planes_[2].resize(chroma);
}

bool YuvPlanes::SamePicture(const YuvPlanes& other) const
{
    if (width_ != other.width_ || height_ != other.height_)
        return false;
    for (int i = 0; i < 3; ++i)
        if (planes_[i] != other.planes_[i])
            return false;
    return true;
}

void YuvPlanes::swap(YuvPlanes& other) noexcept
{
    for (int i = 0; i < 3; ++i)
        planes_[i].swap(other.planes_[i]);
    std::swap(width_, other.width_);
    std::swap(height_, other.height_);
}

void YuvRowWriter::Start(YuvPlanes* planes, int width, int height, const CursorImage* cursor, QPoint at)
{
    planes_ = planes;
    planes->Resize(width, height);
    width_ = planes->width();
    height_ = planes->height();
    cursor_ = cursor;
    at_ = at;
    pair_.resize(static_cast<size_t>(width_) * 8);
}

uint8_t* YuvRowWriter::Row(int y)
{
    return pair_.data() + static_cast<size_t>(y & 1) * width_ * 4;
}

void YuvRowWriter::Done(int y)
{
    if (cursor_)
        BlendCursorRow(*cursor_, at_, y, Row(y), width_);
    if (y & 1)
        Convert(y - 1, 2);
    else if (y == height_ - 1)
        Convert(y, 1);  // an odd last row: its chroma from itself alone
}

void YuvRowWriter::Convert(int firstRow, int rows)
{
    const int chromaRow = firstRow / 2;
    // libyuv's ARGB is B, G, R, A in memory, our order; the J variant is the
    // full-range matrix (plain I420 would squeeze the levels).
    libyuv::ARGBToJ420(pair_.data(), width_ * 4, planes_->plane(0) + static_cast<size_t>(firstRow) * planes_->planeStride(0),
                       planes_->planeStride(0), planes_->plane(1) + static_cast<size_t>(chromaRow) * planes_->planeStride(1),
                       planes_->planeStride(1), planes_->plane(2) + static_cast<size_t>(chromaRow) * planes_->planeStride(2),
                       planes_->planeStride(2), width_, rows);
}

}  // namespace imaging
