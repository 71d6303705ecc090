#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include "core/link/LinkOutcome.h"
#include "core/link/ReceiveBuffer.h"

namespace screenlink {

// What the supported side's parser reports, one whole line at a time
// (without its LF, CRs deleted). Bytes fed from inside a handler are queued
// and read once it returns.
class ClienteLineHandler {
public:
    virtual ~ClienteLineHandler() = default;

    // `TratarRespostaRelay`: true when the line was a relay reply.
    virtual bool OnRelayLine(const QByteArray& line) = 0;
    virtual LinkOutcome OnHello(const QByteArray& line) = 0;
    virtual LinkOutcome OnCommandLine(const QByteArray& line) = 0;
    virtual bool TelaConectada() const = 0;
    virtual bool SessaoEncerrada() const = 0;
    virtual void Log(const QString& text) = 0;
};

// `ProcessarRecebidoCliente` with its buffer: cuts the technician's bytes
// into lines for the relay check, the Hello check and, once the link is
// validated, the command dispatcher. A line longer than kMaxLineChars is
// discarded whole. User-interface thread only.
class ClienteLineParser {
public:
    static constexpr qsizetype kMaxLineChars = 64 * 1024;

    explicit ClienteLineParser(ClienteLineHandler& handler) : handler_(handler) {}

    void Feed(QByteArrayView bytes);
    void Clear();
    qsizetype Pending() const { return buffer_.Size(); }
    // What is not read yet, for another parser: the stream changes form here.
    QByteArray TakeRest() { return buffer_.TakeRest(); }

private:
    enum class Next { Line, Stop };

    void Run();
    bool SkipDiscardedLine();
    void DiscardOverlongLine();
    Next HandleLine(const QByteArray& line);

    ClienteLineHandler& handler_;
    ReceiveBuffer buffer_;
    // The start of a line too long to keep was dropped: so is the rest of it.
    bool discarding_ = false;
};

}  // namespace screenlink
