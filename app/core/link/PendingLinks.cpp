#include "core/link/PendingLinks.h"

#include <QTimer>
#include <algorithm>

namespace screenlink {

namespace {

QString Refusal(const QString& reason) { return "Conexao de tela recusada: " + reason; }

}  // namespace

class PendingLinks::Candidate final : public QObject {
public:
    Candidate(QTcpSocket* s, std::unique_ptr<BytePipe> p) : socket(s), pipe(std::move(p))
    {
        socket->setParent(this);
        // Qt holds no more of a stranger's bytes than we would accept.
        socket->setReadBufferSize(kMaxBytesBeforeHello);
        deadline.setSingleShot(true);
        deadline.start(kHelloWaitMs);
    }

    QTcpSocket* socket;
    std::unique_ptr<BytePipe> pipe;
    QTimer deadline{this};
    QByteArray lines;        // through the pipe, not yet judged
    qsizetype received = 0;  // through the pipe, in all
};

PendingLinks::~PendingLinks() { DropAll(); }

void PendingLinks::Take(QTcpSocket* socket)
{
    if (Count() >= kMaxPending)
        Drop(*pending_.front(), Refusal("conexoes demais aguardando validacao."));
    auto* c = new Candidate(socket, judge_.MakePipe());
    c->setParent(this);
    pending_.push_back(c);
    connect(socket, &QTcpSocket::readyRead, c, [this, c] { OnData(*c); });
    connect(socket, &QTcpSocket::disconnected, c, [this, c] { Release(*c); });
    connect(socket, &QTcpSocket::errorOccurred, c, [this, c] { Release(*c); });
    connect(&c->deadline, &QTimer::timeout, c,
            [this, c] { Drop(*c, Refusal("nenhuma validacao em %1 s.").arg(kHelloWaitMs / 1000)); });
    // Bytes that came with the connection raise no further event.
    if (socket->bytesAvailable() > 0)
        OnData(*c);
}

void PendingLinks::DropAll()
{
    while (!pending_.empty())
        Release(*pending_.front());
}

void PendingLinks::OnData(Candidate& c)
{
    const QByteArray wire = c.socket->readAll();
    const qsizetype before = c.lines.size();
    QString error;
    const bool fromLink = c.pipe->FromWire(wire, c.lines, error);
    // A handshake's reply, or the alert that tells a refused peer why.
    if (const QByteArray out = c.pipe->TakeOutgoing(); !out.isEmpty()) {
        c.socket->write(out);
        c.socket->flush();
    }
    if (!fromLink)
        return Drop(c, Refusal(error));
    c.received += c.lines.size() - before;
    Next next = Next::Line;
    while (next == Next::Line)
        next = HandleLine(c);
    if (next == Next::Wait && c.received > kMaxBytesBeforeHello)
        Drop(c, Refusal("mais de %1 bytes sem validacao.").arg(kMaxBytesBeforeHello));
}

PendingLinks::Next PendingLinks::HandleLine(Candidate& c)
{
    const qsizetype lf = c.lines.indexOf('\n');
    if (lf < 0)
        return Next::Wait;
    QByteArray line = c.lines.first(lf);
    line.replace("\r", "");
    if (line.startsWith("HELLO:")) {
        const HelloVerdict verdict = judge_.JudgeHello(line);
        if (verdict == HelloVerdict::Invalid)
            Drop(c, QStringLiteral("Validacao de tela invalida."));
        else if (verdict == HelloVerdict::Refused)
            Drop(c, QStringLiteral("Tentativa de tela recusada: chave de sessao invalida."));
        else {
            ProvenLink proven{std::unique_ptr<QTcpSocket>(c.socket), std::move(c.pipe), c.lines.sliced(lf + 1)};
            disconnect(c.socket, nullptr, &c, nullptr);
            c.socket->setParent(nullptr);
            c.socket->setReadBufferSize(0);
            c.socket = nullptr;
            Release(c);
            judge_.Promote(std::move(proven));
        }
        return Next::Gone;
    }
    // Commands before validation are dropped, as on the link itself.
    if (!line.isEmpty() && !line.startsWith("CMD:")) {
        Drop(c, Refusal("dados invalidos antes da validacao."));
        return Next::Gone;
    }
    c.lines.remove(0, lf + 1);
    return Next::Line;
}

void PendingLinks::Drop(Candidate& c, const QString& logLine)
{
    judge_.Log(logLine);
    Release(c);
}

void PendingLinks::Release(Candidate& c)
{
    const auto it = std::find(pending_.begin(), pending_.end(), &c);
    if (it == pending_.end())
        return;
    pending_.erase(it);
    c.deadline.stop();
    if (c.socket) {
        disconnect(c.socket, nullptr, &c, nullptr);
        c.socket->abort();
    }
    // This may run inside one of the candidate's own events.
    c.deleteLater();
}

}  // namespace screenlink
