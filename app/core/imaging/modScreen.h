#pragma once

#include "core/imaging/CaptureSize.h"
#include "core/imaging/Frame.h"
#include "core/imaging/JpegCodec.h"
#include "core/imaging/ScreenSource.h"
#include "core/imaging/YuvPlanes.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>
#include <QString>

// The screen module: the geometry of the virtual screen, a capture of it
// with the pointer, JPEG frames and their files, and the Base64 that carries
// them. Nothing throws: every step answers true or false and says why in
// `error`, which callers log after their own prefix. The frames and codec
// buffers are kept between calls, so a running stream allocates nothing
// per frame. User-interface thread only.
class modScreen {
public:
    explicit modScreen(imaging::ScreenSource& source) : source_(source) {}

    // The virtual screen now; 0 each when it cannot be read.
    int ScreenLeft() { return Geometry().left; }
    int ScreenTop() { return Geometry().top; }
    int ScreenWidth() { return Geometry().width; }
    int ScreenHeight() { return Geometry().height; }

    // The whole virtual screen shrunk to fit the limits (0 or less: none),
    // with the pointer; nullptr on failure. Valid until the next capture.
    const imaging::Frame* CaptureScreenPicture(int maxWidth, int maxHeight, QString* error);

    // A capture as a JPEG file at `outputPath`. Any older file there is
    // removed first, so false always leaves no file behind. The picture is
    // CaptureScreenPicture's, but its rows go from the scaler straight into
    // 4:2:0 planes (pointer blended in), so neither a whole RGB frame nor
    // the encoder's own colour conversion is paid.
    bool CaptureScreenJpeg(const QString& outputPath, int quality, int maxWidth, int maxHeight, QString* error);
    // The same, except that a picture equal to the last one encoded, at the
    // same quality, is not encoded again: `unchanged` is then set, true is
    // answered and no file is left. The comparison runs on the scaled
    // planes, before the costly encoding.
    bool CaptureChangedScreenJpeg(const QString& outputPath, int quality, int maxWidth, int maxHeight,
                                  bool* unchanged, QString* error);
    // The bytes the last CaptureScreenJpeg wrote to its file, straight from
    // memory, so a sender need not read the file back; empty when that call
    // failed. Valid until the next capture.
    QByteArrayView LastJpeg() const;

    // A received frame decoded into `picture` (its buffer reused).
    bool LoadPicture(const QString& path, QImage* picture, QString* error);
    bool DecodePicture(QByteArrayView jpeg, QImage* picture, QString* error);

    static bool ReadFileBytes(const QString& path, QByteArray* bytes, QString* error);
    static bool WriteFileBytes(const QString& path, QByteArrayView bytes, QString* error);
    static void Base64Encode(QByteArrayView bytes, QByteArray* text);
    // Base64Encode after what `text` already holds, such as a message header.
    static void Base64EncodeAppend(QByteArrayView bytes, QByteArray* text);
    static bool Base64Decode(QByteArrayView text, QByteArray* bytes, QString* error);

private:
    imaging::ScreenRect Geometry();
    bool FrameSize(int maxWidth, int maxHeight, imaging::ScreenRect* screen, QSize* size, QString* error);
    // The pointer's image and where it goes, or nullptr when it is not shown
    // (no failure); false only when its place cannot be computed.
    bool Pointer(const imaging::ScreenRect& screen, QSize size, const imaging::CursorImage** shown, QPoint* at,
                 QString* error);
    bool CaptureJpeg(const QString& outputPath, int quality, int maxWidth, int maxHeight, bool* unchanged,
                     QString* error);

    imaging::ScreenSource& source_;
    imaging::Frame frame_;
    imaging::CursorImage cursor_;
    imaging::YuvPlanes planes_;
    imaging::YuvPlanes encoded_;  // the planes of the last JPEG, for the unchanged test
    int encodedQuality_ = -1;
    imaging::YuvRowWriter planeRows_;
    imaging::JpegEncoder encoder_;
    imaging::JpegDecoder decoder_;
    bool jpegWritten_ = false;
    QByteArray received_;
};
