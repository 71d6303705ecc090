#pragma once

#include "core/link/LinkOutcome.h"
#include "core/link/ReceiveBuffer.h"
#include "core/updates/UpdateMessages.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <vector>

namespace updates {

// What the parser reports, in stream order. Each message arrives checked:
// lengths within their type's limit, rectangles and the pointer inside the
// last geometry, the pointer's image whole. A side overrides the messages
// it may receive; the parser refuses the others before they reach it.
class UpdateHandler {
public:
    virtual ~UpdateHandler() = default;

    virtual void OnGeometry(const ScreenGeometry&) {}
    // `data` points into the parser's buffer: valid during the call only.
    virtual screenlink::LinkOutcome OnRect(const RectHeader&, QByteArrayView) { return {}; }
    virtual void OnUpdateEnd(quint32) {}
    // `argb`: width x height premultiplied ARGB words, valid during the call.
    virtual void OnCursorShape(const CursorShapeHeader&, const uint32_t*) {}
    virtual void OnCursorPosition(qint32, qint32) {}
    virtual void OnAck(quint32) {}
    virtual screenlink::LinkOutcome OnCommand(const QByteArray&) { return {}; }
    // The stream cannot be read any further (a binary stream has no place to
    // start again): the link is to be closed. Called once per failure.
    virtual void OnStreamError(const QString& description) = 0;
};

// Which side reads the stream: each accepts only what the other side sends.
enum class Direction { ToTecnico, ToCliente };

// Cuts the messages out of one direction of the stream, however it was
// cut into chunks; work is linear in the bytes received, since a message is
// read once, whole, and consumed bytes are skipped by an offset. A length is
// checked against its type's limit as soon as the header is in, so the
// buffer never holds more than one message of the largest kind and one
// chunk. After a failure everything is dropped until Clear. A handler may
// Clear the parser or feed it; bytes fed from a handler are read once it
// returns. User-interface thread only.
class UpdateParser {
public:
    UpdateParser(Direction direction, UpdateHandler& handler) : direction_(direction), handler_(handler) {}

    void Feed(QByteArrayView bytes);
    // A new link: nothing pending, no geometry, no failure.
    void Clear();
    qsizetype Pending() const { return buffer_.Size(); }
    bool Failed() const { return failed_; }

private:
    struct Rule;
    static const Rule* RuleFor(uint8_t type);

    void Run();
    // One message if it is all there; false to wait for more bytes.
    bool TakeMessage();
    screenlink::LinkOutcome TakeGeometry(const char* payload, qint64 length);
    screenlink::LinkOutcome TakeRect(const char* payload, qint64 length);
    screenlink::LinkOutcome TakeUpdateEnd(const char* payload, qint64 length);
    screenlink::LinkOutcome TakeCursorShape(const char* payload, qint64 length);
    screenlink::LinkOutcome TakeCursorPosition(const char* payload, qint64 length);
    screenlink::LinkOutcome TakeAck(const char* payload, qint64 length);
    screenlink::LinkOutcome TakeCommand(const char* payload, qint64 length);
    void Fail(const QString& description);

    Direction direction_;
    UpdateHandler& handler_;
    screenlink::ReceiveBuffer buffer_;
    ScreenGeometry screen_;  // width 0: none received yet
    std::vector<uint32_t> cursor_;
    bool failed_ = false;
};

}  // namespace updates
