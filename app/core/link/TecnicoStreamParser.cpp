#include "core/link/TecnicoStreamParser.h"

#include "core/link/FrameHeader.h"

#include <algorithm>
#include <initializer_list>

namespace screenlink {

namespace {

constexpr QByteArrayView kFrameMarker = "FRAME:";
// Text without any marker is kept up to this many characters.
constexpr qsizetype kMaxTextWithoutMarker = 2048;
// A relay or command line is a few dozen characters.
constexpr qsizetype kMaxLineChars = 64 * 1024;

bool StartsWithAny(QByteArrayView text, std::initializer_list<QByteArrayView> prefixes)
{
    return std::any_of(prefixes.begin(), prefixes.end(), [&](QByteArrayView p) { return text.startsWith(p); });
}

// The longest end of `text` that a marker split by the network could start with.
qsizetype MarkerStartAtEnd(QByteArrayView text)
{
    for (qsizetype n = std::min(text.size(), kFrameMarker.size() - 1); n > 0; --n)
        if (text.last(n) == kFrameMarker.first(n))
            return n;
    return 0;
}

}  // namespace

void TecnicoStreamParser::Feed(QByteArrayView bytes)
{
    buffer_.Feed(bytes, [this] { Run(); });
}

void TecnicoStreamParser::Clear() { buffer_.Release(); }

void TecnicoStreamParser::Run()
{
    while (RunPass() == Step::Again) {
    }
}

// Every message taken starts the pass again, so what is read never depends on
// how the stream was cut into chunks.
TecnicoStreamParser::Step TecnicoStreamParser::RunPass()
{
    for (Step (TecnicoStreamParser::*step)() : {&TecnicoStreamParser::TakeRelayLine,
                                                 &TecnicoStreamParser::TakeCommandLine,
                                                 &TecnicoStreamParser::TakeAccept,
                                                 &TecnicoStreamParser::SkipToFrameMarker}) {
        const Step result = (this->*step)();
        if (result != Step::NotHere)
            return result;
    }
    return TakeFrame();
}

TecnicoStreamParser::Line TecnicoStreamParser::TakeLine(QByteArray& line)
{
    const qsizetype lf = buffer_.Rest().indexOf('\n');
    if (lf < 0) {
        if (Pending() > kMaxLineChars) {
            handler_.Log(QStringLiteral("Linha de tela descartada: mais de %1 caracteres sem fim de linha.")
                             .arg(kMaxLineChars));
            buffer_.Empty();
        }
        return Line::Incomplete;
    }
    line = buffer_.Rest().first(lf).toByteArray();
    line.replace("\r", "");
    buffer_.Consume(lf + 1);
    return Line::Taken;
}

TecnicoStreamParser::Step TecnicoStreamParser::TakeRelayLine()
{
    if (!StartsWithAny(buffer_.Rest(), {"ERR|", "OK|", "DESAFIO|"}))
        return Step::NotHere;
    QByteArray line;
    if (TakeLine(line) != Line::Taken)
        return Step::Stop;
    handler_.OnRelayLine(line);
    return handler_.SessaoEncerrada() ? Step::Stop : Step::Again;
}

TecnicoStreamParser::Step TecnicoStreamParser::TakeCommandLine()
{
    if (!buffer_.Rest().startsWith("CMD:"))
        return Step::NotHere;
    QByteArray line;
    if (TakeLine(line) != Line::Taken)
        return Step::Stop;
    const LinkOutcome outcome = handler_.OnCommandLine(line);
    if (!outcome.ok) {
        Fail(outcome.error);
        return Step::Stop;
    }
    return handler_.SessaoEncerrada() ? Step::Stop : Step::Again;
}

TecnicoStreamParser::Step TecnicoStreamParser::TakeAccept()
{
    const QByteArrayView rest = buffer_.Rest();
    const qsizetype length = rest.startsWith("OK\r\n") ? 4 : rest.startsWith("OK\n") ? 3 : 0;
    if (length == 0)
        return Step::NotHere;
    buffer_.Consume(length);
    handler_.OnAccept();
    return Step::Again;
}

TecnicoStreamParser::Step TecnicoStreamParser::SkipToFrameMarker()
{
    const QByteArrayView rest = buffer_.Rest();
    if (rest.startsWith(kFrameMarker))
        return Step::NotHere;
    const qsizetype marker = rest.indexOf(kFrameMarker);
    if (marker >= 0) {
        buffer_.Consume(marker);
        return Step::NotHere;
    }
    if (rest.size() > kMaxTextWithoutMarker) {
        // Keeps a marker whose first characters close this chunk.
        buffer_.Consume(rest.size() - MarkerStartAtEnd(rest));
        buffer_.Compact();
    }
    return Step::Stop;
}

TecnicoStreamParser::Step TecnicoStreamParser::TakeFrame()
{
    const FrameHeaderRead read = ReadFrameHeader(buffer_.Rest());
    switch (read.status) {
    case FrameHeaderRead::Status::Wait:
        return Step::Stop;
    case FrameHeaderRead::Status::Invalid:
        buffer_.Empty();
        return Step::Stop;
    case FrameHeaderRead::Status::Failed:
        Fail(read.error);
        return Step::Stop;
    case FrameHeaderRead::Status::Complete:
        break;
    }
    const FrameHeader& header = read.header;
    handler_.OnFrameOrigin(header.left, header.top);
    if (Pending() - header.headerChars < header.length)
        return Step::Stop;

    ReceivedFrame frame{header.left, header.top, header.width, header.height,
                        buffer_.Rest().sliced(header.headerChars, header.length)};
    if (header.form == FrameHeader::Form::OneField) {
        const QSize preview = handler_.PreviewSize();
        frame.width = preview.width();
        frame.height = preview.height();
    }
    buffer_.Consume(header.headerChars + header.length);
    const LinkOutcome outcome = handler_.OnFrame(frame);
    if (!outcome.ok) {
        Fail(outcome.error);
        return Step::Stop;
    }
    return Step::Again;
}

void TecnicoStreamParser::Fail(const QString& description)
{
    handler_.Log("Erro ao processar tela: " + description);
    buffer_.Empty();
}

}  // namespace screenlink
