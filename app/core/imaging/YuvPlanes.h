#pragma once

#include "core/imaging/RowSink.h"

#include <QPoint>
#include <cstdint>
#include <vector>

namespace imaging {

struct CursorImage;

// A picture as full-range JPEG YCbCr 4:2:0: luma at full size, each chroma
// plane at half size rounded up, the way the JPEG encoder takes them raw.
// The planes are kept when resized to the same or a smaller size, so a
// capture loop allocates only when the screen grows.
class YuvPlanes {
public:
    // Contents are undefined afterwards.
    void Resize(int width, int height);

    int width() const { return width_; }
    int height() const { return height_; }
    int chromaWidth() const { return (width_ + 1) / 2; }
    int chromaHeight() const { return (height_ + 1) / 2; }
    bool empty() const { return width_ == 0 || height_ == 0; }

    // 0 luma, 1 blue-difference, 2 red-difference; rows are the plane's width apart.
    uint8_t* plane(int i) { return planes_[i].data(); }
    const uint8_t* plane(int i) const { return planes_[i].data(); }
    int planeStride(int i) const { return i == 0 ? width_ : chromaWidth(); }

    // The same size and every sample equal; stops at the first difference.
    bool SamePicture(const YuvPlanes& other) const;
    void swap(YuvPlanes& other) noexcept;

private:
    std::vector<uint8_t> planes_[3];
    int width_ = 0;
    int height_ = 0;
};

// Fills planes from B G R X rows as a scaler makes them: each pair of rows
// waits in a small buffer that stays in cache, gets the pointer blended in,
// and is converted by the JFIF matrix (the full 0–255 range a JPEG decoder
// expects), chroma averaged over each 2 × 2 block. No whole-frame RGB
// picture is written or read back. Not thread-safe.
class YuvRowWriter final : public RowSink {
public:
    // Sizes `planes` to width × height for the rows to come; the pointer,
    // when given, goes with its image's top-left corner at `at`. Both must
    // outlive the rows.
    void Start(YuvPlanes* planes, int width, int height, const CursorImage* cursor, QPoint at);

    uint8_t* Row(int y) override;
    void Done(int y) override;

private:
    void Convert(int firstRow, int rows);

    YuvPlanes* planes_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    const CursorImage* cursor_ = nullptr;
    QPoint at_;
    std::vector<uint8_t> pair_;  // two rows of B G R X
};

}  // namespace imaging
