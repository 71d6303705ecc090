#include "core/imaging/modScreen.h"

#include "core/imaging/Base64.h"
#include "core/imaging/CursorOverlay.h"
#include "core/imaging/FileBytes.h"

using namespace imaging;

ScreenRect modScreen::Geometry()
{
    ScreenRect screen;
    if (!source_.Geometry(&screen, nullptr))
        return ScreenRect{};
    return screen;
}

bool modScreen::FrameSize(int maxWidth, int maxHeight, ScreenRect* screen, QSize* size, QString* error)
{
    if (!source_.Geometry(screen, error))
        return false;
    if (screen->width <= 0 || screen->height <= 0) {
        if (error)
            *error = QStringLiteral("screen of %1 × %2 pixels").arg(screen->width).arg(screen->height);
        return false;
    }
    *size = CaptureSize(screen->width, screen->height, maxWidth, maxHeight);
    return true;
}

bool modScreen::Pointer(const ScreenRect& screen, QSize size, const CursorImage** shown, QPoint* at, QString* error)
{
    *shown = nullptr;
    // A pointer that cannot be read is no failure: the frame goes without it.
    if (!source_.ReadCursor(&cursor_, nullptr) || cursor_.argb.empty())
        return true;
    if (!CursorDrawPoint(screen, size, cursor_, at, error))
        return false;
    *shown = &cursor_;
    return true;
}

const Frame* modScreen::CaptureScreenPicture(int maxWidth, int maxHeight, QString* error)
{
    ScreenRect screen;
    QSize size;
    if (!FrameSize(maxWidth, maxHeight, &screen, &size, error) || !source_.Grab(size, &frame_, error))
        return nullptr;
    const CursorImage* cursor = nullptr;
    QPoint at;
    if (!Pointer(screen, size, &cursor, &at, error))
        return nullptr;
    if (cursor)
        BlendCursor(*cursor, at, &frame_);
    return &frame_;
}

bool modScreen::CaptureScreenJpeg(const QString& outputPath, int quality, int maxWidth, int maxHeight,
                                  QString* error)
{
    return CaptureJpeg(outputPath, quality, maxWidth, maxHeight, nullptr, error);
}

bool modScreen::CaptureChangedScreenJpeg(const QString& outputPath, int quality, int maxWidth, int maxHeight,
                                         bool* unchanged, QString* error)
{
    *unchanged = false;
    return CaptureJpeg(outputPath, quality, maxWidth, maxHeight, unchanged, error);
}

bool modScreen::CaptureJpeg(const QString& outputPath, int quality, int maxWidth, int maxHeight, bool* unchanged,
                            QString* error)
{
    jpegWritten_ = false;
    if (!RemoveFile(outputPath, error))
        return false;
    // The picture CaptureScreenPicture would give, but its rows go straight
    // into the encoder's planes, so the pointer is read before the grab.
    ScreenRect screen;
    QSize size;
    const CursorImage* cursor = nullptr;
    QPoint at;
    if (!FrameSize(maxWidth, maxHeight, &screen, &size, error) || !Pointer(screen, size, &cursor, &at, error))
        return false;
    planeRows_.Start(&planes_, size.width(), size.height(), cursor, at);
    if (!source_.GrabRows(size, &frame_, planeRows_, error))
        return false;
    if (unchanged && quality == encodedQuality_ && planes_.SamePicture(encoded_))
        return *unchanged = true;
    if (!encoder_.Encode(planes_, quality, error))
        return false;
    // Kept for the next comparison; the other buffer takes the next grab.
    planes_.swap(encoded_);
    encodedQuality_ = quality;
    jpegWritten_ = ReplaceFile(outputPath, encoder_.bytes(), error);
    return jpegWritten_;
}

QByteArrayView modScreen::LastJpeg() const
{
    return jpegWritten_ ? encoder_.bytes() : QByteArrayView();
}

bool modScreen::LoadPicture(const QString& path, QImage* picture, QString* error)
{
    return ReadWholeFile(path, &received_, error) && DecodePicture(received_, picture, error);
}

bool modScreen::DecodePicture(QByteArrayView jpeg, QImage* picture, QString* error)
{
    return decoder_.Decode(jpeg, picture, error);
}

bool modScreen::ReadFileBytes(const QString& path, QByteArray* bytes, QString* error)
{
    return ReadWholeFile(path, bytes, error);
}

bool modScreen::WriteFileBytes(const QString& path, QByteArrayView bytes, QString* error)
{
    return ReplaceFile(path, bytes, error);
}

void modScreen::Base64Encode(QByteArrayView bytes, QByteArray* text)
{
    Base64EncodeInto(bytes, text);
}

void modScreen::Base64EncodeAppend(QByteArrayView bytes, QByteArray* text)
{
    imaging::Base64EncodeAppend(bytes, text);
}

bool modScreen::Base64Decode(QByteArrayView text, QByteArray* bytes, QString* error)
{
    return Base64DecodeInto(text, bytes, error);
}
