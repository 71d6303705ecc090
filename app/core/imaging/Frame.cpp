#include "core/imaging/Frame.h"

#include "core/imaging/RowSink.h"

namespace imaging {

void Frame::Resize(int width, int height)
{
    width_ = width > 0 ? width : 0;
    height_ = height > 0 ? height : 0;
    pixels_.resize(static_cast<size_t>(width_) * height_ * 4);
}

QImage Frame::View() const
{
    if (empty())
        return QImage();
    return QImage(pixels_.data(), width_, height_, stride(), QImage::Format_RGB32);
}

uint8_t* FrameRows::Row(int y)
{
    return frame_->row(y);
}

}  // namespace imaging
