#pragma once

#include <QImage>
#include <cstdint>
#include <vector>

namespace imaging {

// A picture in memory as 32-bit pixels, bytes B, G, R, X in that order (an
// X TrueColor image and QImage::Format_RGB32 on a little-endian machine).
// The frame owns its buffer and keeps it when resized to the same or a
// smaller size, so a capture loop allocates only when the screen grows.
class Frame {
public:
    // Contents are undefined afterwards.
    void Resize(int width, int height);

    int width() const { return width_; }
    int height() const { return height_; }
    int stride() const { return width_ * 4; }  // bytes from one row to the next
    bool empty() const { return width_ == 0 || height_ == 0; }

    uint8_t* row(int y) { return pixels_.data() + static_cast<size_t>(y) * stride(); }
    const uint8_t* row(int y) const { return pixels_.data() + static_cast<size_t>(y) * stride(); }

    // The pixels as a QImage without a copy; valid until the next Resize.
    QImage View() const;

private:
    std::vector<uint8_t> pixels_;
    int width_ = 0;
    int height_ = 0;
};

}  // namespace imaging
