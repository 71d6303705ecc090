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

const Frame* modScreen::CaptureScreenPicture(int maxWidth, int maxHeight, QString* error)
{
    ScreenRect screen;
    if (!source_.Geometry(&screen, error))
        return nullptr;
    if (screen.width <= 0 || screen.height <= 0) {
        if (error)
            *error = QStringLiteral("screen of %1 × %2 pixels").arg(screen.width).arg(screen.height);
        return nullptr;
    }
    const QSize size = CaptureSize(screen.width, screen.height, maxWidth, maxHeight);
    if (!source_.Grab(size, &frame_, error))
        return nullptr;

    // A pointer that cannot be read is no failure: the frame goes without it.
    if (source_.ReadCursor(&cursor_, nullptr) && !cursor_.argb.empty()) {
        QPoint at;
        if (!CursorDrawPoint(screen, size, cursor_, &at, error))
            return nullptr;
        BlendCursor(cursor_, at, &frame_);
    }
    return &frame_;
}

bool modScreen::CaptureScreenJpeg(const QString& outputPath, int quality, int maxWidth, int maxHeight,
                                  QString* error)
{
    jpegWritten_ = false;
    if (!RemoveFile(outputPath, error))
        return false;
    const Frame* frame = CaptureScreenPicture(maxWidth, maxHeight, error);
    jpegWritten_ = frame && encoder_.Encode(*frame, quality, error) && ReplaceFile(outputPath, encoder_.bytes(), error);
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
