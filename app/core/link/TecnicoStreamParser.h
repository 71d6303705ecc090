#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QSize>
#include <QString>

#include "core/link/LinkOutcome.h"
#include "core/link/ReceiveBuffer.h"

namespace screenlink {

// One frame as it came off the link: the sender's virtual screen and the
// Base64 text of one JPEG.
struct ReceivedFrame {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    // Points into the parser's buffer: valid during the handler call until the
    // handler lets pending events run.
    QByteArrayView payload;
};

// What the technician's parser reports, in stream order. Every call runs to
// completion before the parser goes on. A handler may Clear() the parser, and
// bytes fed to it meanwhile (events pumped inside a handler) are queued and
// read once the handler returns.
class TecnicoStreamHandler {
public:
    virtual ~TecnicoStreamHandler() = default;

    // A line that began with "OK|", "ERR|" or "DESAFIO|", CRs deleted.
    virtual void OnRelayLine(const QByteArray& line) = 0;
    // A "CMD:" line without its LF, CRs deleted.
    virtual LinkOutcome OnCommandLine(const QByteArray& line) = 0;
    virtual void OnAccept() = 0;
    // A header was read whole: its origin is the remote screen's from now on.
    virtual void OnFrameOrigin(int left, int top) = 0;
    virtual LinkOutcome OnFrame(const ReceivedFrame& frame) = 0;
    // The preview box's size, which a header without geometry stands for.
    virtual QSize PreviewSize() const = 0;
    virtual bool SessaoEncerrada() const = 0;
    virtual void Log(const QString& text) = 0;
};

// `ProcessarRecebidoTecnico` with its buffer `BufferTela`: cuts relay lines,
// command lines, the Accept message and frames out of what the supported
// side sends. Work is linear in the bytes received however the stream is
// cut: consumed text is skipped by an offset, and only a header is ever read
// twice. User-interface thread only.
class TecnicoStreamParser {
public:
    explicit TecnicoStreamParser(TecnicoStreamHandler& handler) : handler_(handler) {}

    void Feed(QByteArrayView bytes);
    void Clear();
    qsizetype Pending() const { return buffer_.Size(); }
    // What is not read yet, for another parser: the stream changes form here.
    QByteArray TakeRest() { return buffer_.TakeRest(); }

private:
    // What one step of a pass found: not its message, a message taken (start
    // the pass again), or a reason to return until more bytes come.
    enum class Step { NotHere, Again, Stop };
    enum class Line { Incomplete, Taken };

    void Run();
    Step RunPass();
    Line TakeLine(QByteArray& line);
    Step TakeRelayLine();
    Step TakeCommandLine();
    Step TakeAccept();
    Step SkipToFrameMarker();
    Step TakeFrame();
    void Fail(const QString& description);

    TecnicoStreamHandler& handler_;
    ReceiveBuffer buffer_;
};

}  // namespace screenlink
