#pragma once

#include "core/imaging/Frame.h"

#include <QByteArray>
#include <vector>

// TurboJPEG alone, as a program that only encodes or decodes would call it:
// the baselines the frame pipelines are measured against.
class PlainEncoder {
public:
    explicit PlainEncoder(const imaging::Frame& frame);
    ~PlainEncoder();
    PlainEncoder(const PlainEncoder&) = delete;
    PlainEncoder& operator=(const PlainEncoder&) = delete;

    unsigned long Encode();

private:
    const imaging::Frame& frame_;
    void* handle_;
    unsigned char* buffer_;
    unsigned long capacity_;
};

class PlainDecoder {
public:
    explicit PlainDecoder(const QByteArray& jpeg);
    ~PlainDecoder();
    PlainDecoder(const PlainDecoder&) = delete;
    PlainDecoder& operator=(const PlainDecoder&) = delete;

    int Decode();

private:
    const unsigned char* Bytes() const { return reinterpret_cast<const unsigned char*>(jpeg_.constData()); }

    const QByteArray& jpeg_;
    void* handle_;
    int width_ = 0, height_ = 0;
    std::vector<unsigned char> pixels_;
};
