#include "TurboJpegAlone.h"

#include "BenchStage.h"

#include <turbojpeg.h>

PlainEncoder::PlainEncoder(const imaging::Frame& frame) : frame_(frame), handle_(tjInitCompress())
{
    capacity_ = tjBufSize(frame.width(), frame.height(), TJSAMP_420);
    buffer_ = tjAlloc(static_cast<int>(capacity_));
}

PlainEncoder::~PlainEncoder()
{
    tjFree(buffer_);
    tjDestroy(handle_);
}

unsigned long PlainEncoder::Encode()
{
    unsigned long size = capacity_;
    tjCompress2(handle_, frame_.row(0), frame_.width(), frame_.stride(), frame_.height(), TJPF_BGRX, &buffer_, &size,
                TJSAMP_420, kQuality, TJFLAG_NOREALLOC | TJFLAG_FASTDCT);
    return size;
}

PlainDecoder::PlainDecoder(const QByteArray& jpeg) : jpeg_(jpeg), handle_(tjInitDecompress())
{
    int subsampling = 0, colorspace = 0;
    tjDecompressHeader3(handle_, Bytes(), jpeg.size(), &width_, &height_, &subsampling, &colorspace);
    pixels_.resize(static_cast<size_t>(width_) * height_ * 4);
}

PlainDecoder::~PlainDecoder()
{
    tjDestroy(handle_);
}

int PlainDecoder::Decode()
{
    return tjDecompress2(handle_, Bytes(), jpeg_.size(), pixels_.data(), width_, width_ * 4, height_, TJPF_BGRX,
                         TJFLAG_FASTDCT);
}
