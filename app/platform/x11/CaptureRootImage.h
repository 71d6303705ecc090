#pragma once

#include <QString>
#include <cstdint>
#include <memory>

typedef struct _XDisplay Display;

namespace platform {

// The root window's pixels, read into one image kept between frames: a
// shared-memory segment when the server grants one, else an image of our
// own filled by plain GetImage. Only 32-bit little-endian TrueColor (B, G,
// R, X in memory) is accepted. User-interface thread only.
class CaptureRootImage {
public:
    explicit CaptureRootImage(Display* display);
    ~CaptureRootImage();
    CaptureRootImage(const CaptureRootImage&) = delete;
    CaptureRootImage& operator=(const CaptureRootImage&) = delete;

    // Reads the root's width × height pixels; they stay valid until the next Read.
    bool Read(int width, int height, QString* error);
    // Reads only `area` of a root of width × height: its rows start at
    // pixels(), `*stride` bytes apart, until the next read.
    bool ReadArea(int x, int y, int areaWidth, int areaHeight, int width, int height, int* stride, QString* error);
    const uint8_t* pixels() const;
    int stride() const;
    bool shared() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform
