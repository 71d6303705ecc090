#pragma once

#include <QByteArrayView>
#include <QImage>
#include <QString>
#include <cstddef>
#include <cstdint>

namespace imaging {

class Frame;
class YuvPlanes;

// JPEG encoding of frames from memory (4:2:0, the given quality). The
// compressed bytes stay in a buffer kept between frames; they are valid
// until the next Encode. One encoder per sending loop.
class JpegEncoder {
public:
    JpegEncoder();
    ~JpegEncoder();
    JpegEncoder(const JpegEncoder&) = delete;
    JpegEncoder& operator=(const JpegEncoder&) = delete;

    // Quality on the 1–100 scale; values outside are clamped.
    bool Encode(const Frame& frame, int quality, QString* error);
    // The same picture already in 4:2:0 planes: the encoder skips its own
    // colour conversion and chroma downsampling.
    bool Encode(const YuvPlanes& planes, int quality, QString* error);
    // Part of a picture: `width` x `height` pixels from `pixels` on, rows
    // `stride` bytes apart; `fullChroma` keeps colour at every pixel (4:4:4),
    // for coloured text and edges at the highest sharpness.
    bool Encode(const uint8_t* pixels, int width, int height, int stride, int quality, QString* error,
                bool fullChroma = false);
    QByteArrayView bytes() const;

private:
    bool Prepare(int width, int height, QString* error);

    void* handle_;
    uint8_t* buffer_ = nullptr;
    size_t capacity_ = 0;
    size_t size_ = 0;
};

// Largest picture a received frame may declare, against memory exhaustion.
constexpr int kMaxPictureSide = 16384;
constexpr qint64 kMaxPicturePixels = 64ll * 1024 * 1024;

// JPEG decoding of received frames into an RGB32 picture whose buffer is
// reused when it keeps its size and nobody else holds it.
class JpegDecoder {
public:
    JpegDecoder();
    ~JpegDecoder();
    JpegDecoder(const JpegDecoder&) = delete;
    JpegDecoder& operator=(const JpegDecoder&) = delete;

    bool Decode(QByteArrayView jpeg, QImage* picture, QString* error);
    // Into part of a picture: the JPEG must be exactly `width` x `height`;
    // its pixels land from `pixels` on, rows `stride` bytes apart, with an
    // opaque fourth byte.
    bool DecodeInto(QByteArrayView jpeg, int width, int height, uint8_t* pixels, int stride, QString* error);

private:
    void* handle_;
};

}  // namespace imaging
