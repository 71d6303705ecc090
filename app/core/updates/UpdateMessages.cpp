#include "core/updates/UpdateMessages.h"

namespace updates {

namespace {

void PutHeader(QByteArray& out, MessageType type, qsizetype payloadBytes)
{
    out.append(static_cast<char>(type));
    PutU32(out, static_cast<quint32>(payloadBytes));
}

void PutU8(QByteArray& out, quint32 value) { out.append(static_cast<char>(value & 0xff)); }

}  // namespace

void PutU16(QByteArray& out, quint32 value)
{
    PutU8(out, value >> 8);
    PutU8(out, value);
}

void PutU32(QByteArray& out, quint32 value)
{
    PutU16(out, value >> 16);
    PutU16(out, value);
}

quint32 GetU16(const char* at)
{
    const auto* b = reinterpret_cast<const unsigned char*>(at);
    return quint32{b[0]} << 8 | b[1];
}

quint32 GetU32(const char* at) { return GetU16(at) << 16 | GetU16(at + 2); }

void AppendGeometry(QByteArray& out, const ScreenGeometry& screen)
{
    PutHeader(out, MessageType::Geometry, 16);
    for (qint32 field : {screen.left, screen.top, screen.width, screen.height})
        PutU32(out, static_cast<quint32>(field));
}

void AppendRectHeader(QByteArray& out, const RectHeader& rect, qsizetype dataBytes)
{
    PutHeader(out, MessageType::Rect, kRectFieldsBytes + dataBytes);
    for (int field : {rect.x, rect.y, rect.width, rect.height})
        PutU16(out, static_cast<quint32>(field));
    PutU8(out, static_cast<quint32>(rect.coding));
}

void AppendRect(QByteArray& out, const RectHeader& rect, QByteArrayView data)
{
    AppendRectHeader(out, rect, data.size());
    out.append(data);
}

void AppendUpdateEnd(QByteArray& out, quint32 sequence)
{
    PutHeader(out, MessageType::UpdateEnd, 4);
    PutU32(out, sequence);
}

void AppendCursorShape(QByteArray& out, const CursorShapeHeader& shape, const uint32_t* argb)
{
    const qsizetype pixels = qsizetype{shape.width} * shape.height;
    PutHeader(out, MessageType::CursorShape, kCursorFieldsBytes + pixels * 4);
    for (int field : {shape.hotX, shape.hotY, shape.width, shape.height})
        PutU16(out, static_cast<quint32>(field));
    for (qsizetype i = 0; i < pixels; ++i)
        PutU32(out, argb[i]);
}

void AppendCursorPosition(QByteArray& out, qint32 x, qint32 y)
{
    PutHeader(out, MessageType::CursorPosition, 8);
    PutU32(out, static_cast<quint32>(x));
    PutU32(out, static_cast<quint32>(y));
}

void AppendAck(QByteArray& out, quint32 sequence)
{
    PutHeader(out, MessageType::Ack, 4);
    PutU32(out, sequence);
}

void AppendCommand(QByteArray& out, QByteArrayView line)
{
    PutHeader(out, MessageType::Command, line.size());
    out.append(line);
}

}  // namespace updates
