#include "core/link/ClienteLineParser.h"

namespace screenlink {

void ClienteLineParser::Feed(QByteArrayView bytes)
{
    buffer_.Feed(bytes, [this] { Run(); });
}

void ClienteLineParser::Clear()
{
    buffer_.Release();
    discarding_ = false;
}

void ClienteLineParser::Run()
{
    for (;;) {
        if (discarding_ && !SkipDiscardedLine())
            return;
        const qsizetype lf = buffer_.Rest().indexOf('\n');
        if (lf < 0) {
            if (Pending() > kMaxLineChars)
                DiscardOverlongLine();
            return;
        }
        QByteArray line = buffer_.Rest().first(lf).toByteArray();
        line.replace("\r", "");
        buffer_.Consume(lf + 1);
        if (HandleLine(line) == Next::Stop)
            return;
    }
}

bool ClienteLineParser::SkipDiscardedLine()
{
    const qsizetype lf = buffer_.Rest().indexOf('\n');
    if (lf < 0) {
        buffer_.ConsumeAll();
        return false;
    }
    buffer_.Consume(lf + 1);
    discarding_ = false;
    return true;
}

void ClienteLineParser::DiscardOverlongLine()
{
    handler_.Log(QStringLiteral("Linha de comando remoto descartada: mais de %1 caracteres sem fim de linha.")
                     .arg(kMaxLineChars));
    buffer_.ConsumeAll();
    discarding_ = true;
}

ClienteLineParser::Next ClienteLineParser::HandleLine(const QByteArray& line)
{
    if (handler_.OnRelayLine(line))
        return handler_.SessaoEncerrada() ? Next::Stop : Next::Line;
    LinkOutcome outcome;
    if (line.startsWith("HELLO:"))
        outcome = handler_.OnHello(line);
    else if (line.startsWith("CMD:") && handler_.TelaConectada())
        outcome = handler_.OnCommandLine(line);
    // Anything else, and commands before validation, are dropped.
    if (!outcome.ok) {
        handler_.Log("Erro ao processar comando remoto: " + outcome.error);
        return Next::Stop;
    }
    return Next::Line;
}

}  // namespace screenlink
