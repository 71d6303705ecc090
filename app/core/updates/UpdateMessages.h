#pragma once

#include "core/imaging/ScreenSource.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>
#include <cstdint>

// The binary message set of changed-region screen updates, carried inside
// the protected link. Every message is a type byte, a 32-bit big-endian
// payload length and the payload; numbers in the payload are big-endian.
// Each message's bytes are written in exactly one place, here.
namespace updates {

enum class MessageType : uint8_t {
    Geometry = 1,        // cliente -> tecnico: the screen the rectangles lie on
    Rect = 2,            // cliente -> tecnico: one changed rectangle, coded
    UpdateEnd = 3,       // cliente -> tecnico: the rectangles of one update are all sent
    CursorShape = 4,     // cliente -> tecnico: the pointer's image and hot spot
    CursorPosition = 5,  // cliente -> tecnico: where the pointer is
    Ack = 6,             // tecnico -> cliente: an update was drawn
    Command = 7,         // either way: a command line of the text link, without its LF
};

enum class RectCoding : uint8_t {
    Jpeg = 0,     // a JPEG file of the rectangle
    Palette = 1,  // up to 256 colours (B, G, R each) and the deflated index of every pixel
};

inline constexpr int kHeaderBytes = 5;
inline constexpr int kRectFieldsBytes = 9;    // x, y, w, h (16 bits each), coding
inline constexpr int kCursorFieldsBytes = 8;  // hot spot x, y, w, h (16 bits each)
// A rectangle's largest area, so neither its coding nor its decoding ever
// needs a large buffer.
inline constexpr qint64 kMaxRectPixels = 1024 * 1024;
inline constexpr qint64 kMaxRectDataBytes = 8 * 1024 * 1024;
inline constexpr int kMaxCursorSide = 256;
inline constexpr int kMaxCommandBytes = 256;

// The screen as the stream announces it: the capture's own rectangle.
using ScreenGeometry = imaging::ScreenRect;

// A rectangle in the pixels of the screen picture, its top-left corner at 0, 0.
struct RectHeader {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    RectCoding coding = RectCoding::Jpeg;
};

struct CursorShapeHeader {
    int hotX = 0;
    int hotY = 0;
    int width = 0;  // 0 x 0: the pointer is hidden
    int height = 0;
};

// Writers: each appends one whole message to `out`.
void AppendGeometry(QByteArray& out, const ScreenGeometry& screen);
// `data` is the rectangle coded as `rect.coding` says.
void AppendRect(QByteArray& out, const RectHeader& rect, QByteArrayView data);
// Appends the header of a Rect message whose data of `dataBytes` the
// caller appends right after it, straight from its coder.
void AppendRectHeader(QByteArray& out, const RectHeader& rect, qsizetype dataBytes);
void AppendUpdateEnd(QByteArray& out, quint32 sequence);
// `argb`: width x height premultiplied ARGB words, row after row.
void AppendCursorShape(QByteArray& out, const CursorShapeHeader& shape, const uint32_t* argb);
void AppendCursorPosition(QByteArray& out, qint32 x, qint32 y);
void AppendAck(QByteArray& out, quint32 sequence);
void AppendCommand(QByteArray& out, QByteArrayView line);

// Big-endian field access shared by the writers and the parser.
void PutU16(QByteArray& out, quint32 value);
void PutU32(QByteArray& out, quint32 value);
quint32 GetU16(const char* at);
quint32 GetU32(const char* at);

}  // namespace updates
