#include "core/imaging/JpegCodec.h"

#include "core/imaging/Frame.h"
#include "core/imaging/YuvPlanes.h"

#include <algorithm>
#include <turbojpeg.h>

namespace imaging {

namespace {

bool Fail(QString* error, tjhandle handle, const char* what)
{
    if (error)
        *error = QStringLiteral("JPEG %1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(tjGetErrorStr2(handle)));
    return false;
}

constexpr int kFlags = TJFLAG_NOREALLOC | TJFLAG_FASTDCT;

}  // namespace

JpegEncoder::JpegEncoder() : handle_(tjInitCompress()) {}

JpegEncoder::~JpegEncoder()
{
    tjFree(buffer_);
    if (handle_)
        tjDestroy(handle_);
}

bool JpegEncoder::Prepare(int width, int height, QString* error)
{
    size_ = 0;
    if (!handle_)
        return Fail(error, nullptr, "encoder");
    if (width <= 0 || height <= 0) {
        if (error)
            *error = QStringLiteral("JPEG encode: empty picture");
        return false;
    }
    // Sized for the worst case once, so the library never reallocates.
    const size_t needed = tjBufSize(width, height, TJSAMP_444);
    if (needed > capacity_) {
        tjFree(buffer_);
        buffer_ = tjAlloc(static_cast<int>(needed));
        capacity_ = buffer_ ? needed : 0;
        if (!buffer_) {
            if (error)
                *error = QStringLiteral("JPEG encode: out of memory");
            return false;
        }
    }
    return true;
}

bool JpegEncoder::Encode(const Frame& frame, int quality, QString* error)
{
    return Encode(frame.row(0), frame.width(), frame.height(), frame.stride(), quality, error);
}

bool JpegEncoder::Encode(const uint8_t* pixels, int width, int height, int stride, int quality, QString* error,
                         bool fullChroma)
{
    if (!Prepare(width, height, error))
        return false;
    unsigned long size = capacity_;
    if (tjCompress2(handle_, pixels, width, stride, height, TJPF_BGRX, &buffer_, &size,
                    fullChroma ? TJSAMP_444 : TJSAMP_420,
                    std::clamp(quality, 1, 100), kFlags) != 0)
        return Fail(error, handle_, "encode");
    size_ = size;
    return true;
}

bool JpegEncoder::Encode(const YuvPlanes& planes, int quality, QString* error)
{
    if (!Prepare(planes.width(), planes.height(), error))
        return false;
    const unsigned char* sources[3] = {planes.plane(0), planes.plane(1), planes.plane(2)};
    const int strides[3] = {planes.planeStride(0), planes.planeStride(1), planes.planeStride(2)};
    unsigned long size = capacity_;
    if (tjCompressFromYUVPlanes(handle_, sources, planes.width(), strides, planes.height(), TJSAMP_420, &buffer_,
                                &size, std::clamp(quality, 1, 100), kFlags) != 0)
        return Fail(error, handle_, "encode");
    size_ = size;
    return true;
}

QByteArrayView JpegEncoder::bytes() const
{
    return QByteArrayView(reinterpret_cast<const char*>(buffer_), static_cast<qsizetype>(size_));
}

JpegDecoder::JpegDecoder() : handle_(tjInitDecompress()) {}

JpegDecoder::~JpegDecoder()
{
    if (handle_)
        tjDestroy(handle_);
}

bool JpegDecoder::Decode(QByteArrayView jpeg, QImage* picture, QString* error)
{
    if (!handle_)
        return Fail(error, nullptr, "decoder");
    const auto* data = reinterpret_cast<const unsigned char*>(jpeg.data());
    const auto size = static_cast<unsigned long>(jpeg.size());
    int width = 0, height = 0, subsampling = 0, colorspace = 0;
    if (tjDecompressHeader3(handle_, data, size, &width, &height, &subsampling, &colorspace) != 0)
        return Fail(error, handle_, "header");
    if (width <= 0 || height <= 0 || width > kMaxPictureSide || height > kMaxPictureSide
        || qint64{width} * height > kMaxPicturePixels) {
        if (error)
            *error = QStringLiteral("JPEG picture of %1 × %2 is too large").arg(width).arg(height);
        return false;
    }
    if (picture->size() != QSize(width, height) || picture->format() != QImage::Format_RGB32)
        *picture = QImage(width, height, QImage::Format_RGB32);
    if (picture->isNull()) {
        if (error)
            *error = QStringLiteral("JPEG decode: out of memory");
        return false;
    }
    if (tjDecompress2(handle_, data, size, picture->bits(), width, static_cast<int>(picture->bytesPerLine()), height,
                      TJPF_BGRX, TJFLAG_FASTDCT) != 0)
        return Fail(error, handle_, "decode");
    return true;
}

bool JpegDecoder::DecodeInto(QByteArrayView jpeg, int width, int height, uint8_t* pixels, int stride, QString* error)
{
    if (!handle_)
        return Fail(error, nullptr, "decoder");
    const auto* data = reinterpret_cast<const unsigned char*>(jpeg.data());
    const auto size = static_cast<unsigned long>(jpeg.size());
    int jpegWidth = 0, jpegHeight = 0, subsampling = 0, colorspace = 0;
    if (tjDecompressHeader3(handle_, data, size, &jpegWidth, &jpegHeight, &subsampling, &colorspace) != 0)
        return Fail(error, handle_, "header");
    if (jpegWidth != width || jpegHeight != height) {
        if (error)
            *error = QStringLiteral("JPEG picture of %1 × %2 where %3 × %4 was announced")
                         .arg(jpegWidth)
                         .arg(jpegHeight)
                         .arg(width)
                         .arg(height);
        return false;
    }
    if (tjDecompress2(handle_, data, size, pixels, width, stride, height, TJPF_BGRA, TJFLAG_FASTDCT) != 0)
        return Fail(error, handle_, "decode");
    return true;
}

}  // namespace imaging
