#include "core/updates/UpdateParser.h"

#include "core/imaging/JpegCodec.h"

#include <algorithm>

namespace updates {

using screenlink::LinkOutcome;

struct UpdateParser::Rule {
    MessageType type;
    const char* name;
    qint64 minBytes;
    qint64 maxBytes;
    Direction direction;  // the side that reads it; commands go both ways
    bool bothWays;
    LinkOutcome (UpdateParser::*take)(const char* payload, qint64 length);
};

const UpdateParser::Rule* UpdateParser::RuleFor(uint8_t type)
{
    static constexpr qint64 kMaxCursorBytes = kCursorFieldsBytes + 4ll * kMaxCursorSide * kMaxCursorSide;
    static const Rule kRules[] = {
        {MessageType::Geometry, "geometry", 16, 16, Direction::ToTecnico, false, &UpdateParser::TakeGeometry},
        {MessageType::Rect, "rectangle", kRectFieldsBytes, kRectFieldsBytes + kMaxRectDataBytes, Direction::ToTecnico,
         false, &UpdateParser::TakeRect},
        {MessageType::UpdateEnd, "update end", 4, 4, Direction::ToTecnico, false, &UpdateParser::TakeUpdateEnd},
        {MessageType::CursorShape, "pointer shape", kCursorFieldsBytes, kMaxCursorBytes, Direction::ToTecnico, false,
         &UpdateParser::TakeCursorShape},
        {MessageType::CursorPosition, "pointer position", 8, 8, Direction::ToTecnico, false,
         &UpdateParser::TakeCursorPosition},
        {MessageType::Ack, "acknowledgement", 4, 4, Direction::ToCliente, false, &UpdateParser::TakeAck},
        {MessageType::Command, "command", 1, kMaxCommandBytes, Direction::ToCliente, true, &UpdateParser::TakeCommand},
    };
    const auto* rule = std::find_if(std::begin(kRules), std::end(kRules),
                                    [&](const Rule& r) { return static_cast<uint8_t>(r.type) == type; });
    return rule == std::end(kRules) ? nullptr : rule;
}

void UpdateParser::Feed(QByteArrayView bytes)
{
    if (failed_)
        return;
    buffer_.Feed(bytes, [this] { Run(); });
}

void UpdateParser::Clear()
{
    buffer_.Release();
    screen_ = {};
    failed_ = false;
}

void UpdateParser::Run()
{
    while (!failed_ && TakeMessage()) {
    }
}

bool UpdateParser::TakeMessage()
{
    const QByteArrayView rest = buffer_.Rest();
    if (rest.size() < kHeaderBytes)
        return false;
    const auto typeByte = static_cast<uint8_t>(rest[0]);
    const qint64 length = GetU32(rest.data() + 1);
    const Rule* rule = RuleFor(typeByte);
    if (!rule || (rule->direction != direction_ && !rule->bothWays)) {
        Fail(QStringLiteral("message type %1 is not expected here").arg(typeByte));
        return false;
    }
    if (length < rule->minBytes || length > rule->maxBytes) {
        Fail(QStringLiteral("%1 message of %2 bytes (from %3 to %4 allowed)")
                 .arg(QLatin1String(rule->name))
                 .arg(length)
                 .arg(rule->minBytes)
                 .arg(rule->maxBytes));
        return false;
    }
    if (rest.size() - kHeaderBytes < length)
        return false;
    buffer_.Consume(kHeaderBytes + length);
    // The payload stays in place while its handler runs: consuming only
    // moves an offset, and bytes fed meanwhile are appended behind it.
    const LinkOutcome outcome = (this->*rule->take)(rest.data() + kHeaderBytes, length);
    if (!outcome.ok)
        Fail(outcome.error);
    return true;
}

LinkOutcome UpdateParser::TakeGeometry(const char* payload, qint64)
{
    const ScreenGeometry screen{static_cast<qint32>(GetU32(payload)), static_cast<qint32>(GetU32(payload + 4)),
                                static_cast<qint32>(GetU32(payload + 8)), static_cast<qint32>(GetU32(payload + 12))};
    if (screen.width <= 0 || screen.height <= 0 || screen.width > imaging::kMaxPictureSide
        || screen.height > imaging::kMaxPictureSide || qint64{screen.width} * screen.height > imaging::kMaxPicturePixels)
        return LinkOutcome::Failed(QStringLiteral("screen of %1 x %2 refused").arg(screen.width).arg(screen.height));
    screen_ = screen;
    handler_.OnGeometry(screen);
    return {};
}

LinkOutcome UpdateParser::TakeRect(const char* payload, qint64 length)
{
    RectHeader rect{static_cast<int>(GetU16(payload)), static_cast<int>(GetU16(payload + 2)),
                    static_cast<int>(GetU16(payload + 4)), static_cast<int>(GetU16(payload + 6)), RectCoding::Jpeg};
    const auto coding = static_cast<uint8_t>(payload[8]);
    if (coding > static_cast<uint8_t>(RectCoding::Palette))
        return LinkOutcome::Failed(QStringLiteral("rectangle coding %1 is unknown").arg(coding));
    rect.coding = static_cast<RectCoding>(coding);
    if (screen_.width == 0)
        return LinkOutcome::Failed(QStringLiteral("rectangle before any screen geometry"));
    if (rect.width == 0 || rect.height == 0 || rect.x + rect.width > screen_.width
        || rect.y + rect.height > screen_.height || qint64{rect.width} * rect.height > kMaxRectPixels)
        return LinkOutcome::Failed(QStringLiteral("rectangle %1,%2 %3 x %4 outside the screen of %5 x %6 or too large")
                                       .arg(rect.x)
                                       .arg(rect.y)
                                       .arg(rect.width)
                                       .arg(rect.height)
                                       .arg(screen_.width)
                                       .arg(screen_.height));
    return handler_.OnRect(rect, QByteArrayView(payload + kRectFieldsBytes, length - kRectFieldsBytes));
}

LinkOutcome UpdateParser::TakeUpdateEnd(const char* payload, qint64)
{
    handler_.OnUpdateEnd(GetU32(payload));
    return {};
}

LinkOutcome UpdateParser::TakeCursorShape(const char* payload, qint64 length)
{
    const CursorShapeHeader shape{static_cast<int>(GetU16(payload)), static_cast<int>(GetU16(payload + 2)),
                                  static_cast<int>(GetU16(payload + 4)), static_cast<int>(GetU16(payload + 6))};
    const qint64 pixels = qint64{shape.width} * shape.height;
    const bool hotSpotInside = pixels == 0 ? shape.hotX == 0 && shape.hotY == 0
                                           : shape.hotX < shape.width && shape.hotY < shape.height;
    if (shape.width > kMaxCursorSide || shape.height > kMaxCursorSide || length != kCursorFieldsBytes + pixels * 4
        || !hotSpotInside)
        return LinkOutcome::Failed(QStringLiteral("pointer shape %1 x %2 (hot spot %3,%4) in %5 bytes refused")
                                       .arg(shape.width)
                                       .arg(shape.height)
                                       .arg(shape.hotX)
                                       .arg(shape.hotY)
                                       .arg(length));
    cursor_.resize(static_cast<size_t>(pixels));
    for (qint64 i = 0; i < pixels; ++i)
        cursor_[static_cast<size_t>(i)] = GetU32(payload + kCursorFieldsBytes + i * 4);
    handler_.OnCursorShape(shape, cursor_.data());
    return {};
}

LinkOutcome UpdateParser::TakeCursorPosition(const char* payload, qint64)
{
    const auto x = static_cast<qint32>(GetU32(payload));
    const auto y = static_cast<qint32>(GetU32(payload + 4));
    if (x < 0 || y < 0 || x >= screen_.width || y >= screen_.height)
        return LinkOutcome::Failed(QStringLiteral("pointer at %1,%2 outside the screen of %3 x %4")
                                       .arg(x)
                                       .arg(y)
                                       .arg(screen_.width)
                                       .arg(screen_.height));
    handler_.OnCursorPosition(x, y);
    return {};
}

LinkOutcome UpdateParser::TakeAck(const char* payload, qint64)
{
    handler_.OnAck(GetU32(payload));
    return {};
}

LinkOutcome UpdateParser::TakeCommand(const char* payload, qint64 length)
{
    const QByteArray line(payload, length);
    if (std::any_of(line.begin(), line.end(), [](char c) { return c < 0x20 || c > 0x7e; }))
        return LinkOutcome::Failed(QStringLiteral("command with a byte that is not printable ASCII"));
    return handler_.OnCommand(line);
}

void UpdateParser::Fail(const QString& description)
{
    failed_ = true;
    buffer_.Release();
    handler_.OnStreamError(description);
}

}  // namespace updates
