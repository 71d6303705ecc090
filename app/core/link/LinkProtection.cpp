#include "core/link/LinkProtection.h"

#include "core/link/LinkKeys.h"
#include "core/link/LinkMessages.h"
#include "core/link/LinkReceiver.h"
#include "core/shell/frmMain.h"

#include <QTcpSocket>

#include <algorithm>

namespace screenlink {

namespace {

using session::kCliente;
using session::kTecnico;

// A relay reply is a few dozen characters.
constexpr qsizetype kMaxRelayLine = 64 * 1024;
// What the relay writes before the pairing: replies and the Join challenge.
constexpr QByteArrayView kRelayLineStarts[] = {"OK|", "ERR|", "DESAFIO|"};

bool IsRelayLine(QByteArrayView line)
{
    return std::any_of(std::begin(kRelayLineStarts), std::end(kRelayLineStarts),
                       [line](QByteArrayView start) { return line.startsWith(start); });
}

// By link version, from 1.
constexpr const char* kProtectionSentences[] = {
    "Conexao de tela sem protecao (versao antiga do outro computador).",
    "Conexao de tela protegida.",
};

std::string Utf8(const QString& text) { return text.toStdString(); }

std::string LinkPsk(const session::SessionRecord& s)
{
    return linkkeys::LinkPsk(Utf8(s.stream_key), Utf8(s.sessao_id));
}

}  // namespace

QString HelloKey(const session::SessionRecord& s)
{
    if (!s.LinkProtegido())
        return s.stream_key;
    const std::string value = linkkeys::Derive(Utf8(s.stream_key), Utf8(s.sessao_id), "marquelin link v2 hello");
    return QString::fromLatin1(QByteArray::fromStdString(value).toHex().left(32));
}

HelloVerdict CheckSessionHello(QByteArrayView line, const session::SessionRecord& s)
{
    return CheckHello(line, s.sessao_id.toLatin1(), HelloKey(s).toLatin1());
}

void AnunciarProtecao(shell::frmMain& window)
{
    const QString sentence = QString::fromLatin1(kProtectionSentences[window.s.LinkProtegido() ? 1 : 0]);
    window.LogEvent(sentence);
    window.SetStatus(sentence);
}

LinkProtection::LinkProtection(shell::frmMain& window, QTcpSocket& socket)
    : QObject(&socket), w_(window), socket_(socket), versao2_(window.s.LinkProtegido())
{
}

bool LinkProtection::Begin()
{
    const session::SessionRecord& s = w_.s;
    if (!versao2_) {
        if (s.PapelTela == kTecnico)
            socket_.write(HelloMessage(s.sessao_id, HelloKey(s)));
        return true;
    }
    if (tls_)
        return true;
    const auto side = s.PapelTela == kCliente ? LinkTls::Side::Server : LinkTls::Side::Client;
    TakeOver(std::make_unique<LinkTls>(side, LinkPsk(s), nullptr));
    return tls_->Start();
}

bool LinkProtection::Receive(const QByteArray& bytes, LinkReceiver& receiver)
{
    if (!versao2_) {
        receiver.Receive(bytes);
        return true;
    }
    return tls_ ? ReceiveTls(bytes, receiver) : ReceiveRelayLines(bytes, receiver);
}

bool LinkProtection::Send(QByteArrayView message)
{
    // Before TLS begins, only the relay Join travels, plain as the relay reads it.
    if (tls_)
        return tls_->Send(message);
    socket_.write(message.data(), message.size());
    return true;
}

void LinkProtection::TakeOver(std::unique_ptr<LinkTls> tls)
{
    tls_ = std::move(tls);
    tls_->SetOutput([this](QByteArrayView cipher) { socket_.write(cipher.data(), cipher.size()); });
}

bool LinkProtection::Current() const { return socket_.state() == QAbstractSocket::ConnectedState; }

bool LinkProtection::ReceiveRelayLines(const QByteArray& bytes, LinkReceiver& receiver)
{
    const QByteArray pending = std::exchange(lines_, {}) + bytes;
    qsizetype start = 0;
    // The pairing line begins TLS, and the bytes behind it are TLS records.
    for (qsizetype lf = 0; !tls_ && (lf = pending.indexOf('\n', start)) >= 0; start = lf + 1) {
        const QByteArray line = pending.sliced(start, lf + 1 - start);
        // Nothing but the relay's replies is read before TLS.
        if (!IsRelayLine(line))
            continue;
        receiver.Receive(line);
        if (!Current())
            return true;  // the reply ended this link
    }
    const QByteArrayView rest = QByteArrayView(pending).sliced(start);
    if (tls_)
        return ReceiveTls(rest, receiver);
    if (rest.size() > kMaxRelayLine) {
        error_ = QStringLiteral("resposta do relay com mais de %1 caracteres").arg(kMaxRelayLine);
        return false;
    }
    lines_ = rest.toByteArray();
    return true;
}

bool LinkProtection::ReceiveTls(QByteArrayView bytes, LinkReceiver& receiver)
{
    const bool wasReady = tls_->Ready();
    QByteArray plain;
    if (!tls_->Receive(bytes, &plain))
        return false;
    const session::SessionRecord& s = w_.s;
    if (!wasReady && tls_->Ready() && s.PapelTela == kTecnico && !Send(HelloMessage(s.sessao_id, HelloKey(s))))
        return false;
    if (!plain.isEmpty())
        receiver.Receive(plain);
    return true;
}

TlsPipe::TlsPipe(const session::SessionRecord& s)
    : tls_(std::make_unique<LinkTls>(LinkTls::Side::Server, LinkPsk(s),
                                     [this](QByteArrayView cipher) { outgoing_.append(cipher); }))
{
}

bool TlsPipe::FromWire(QByteArrayView wire, QByteArray& plain, QString& error)
{
    if (tls_->Receive(wire, &plain))
        return true;
    error = tls_->Error().isEmpty() ? QStringLiteral("conexao encerrada antes da validacao.") : tls_->Error();
    return false;
}

}  // namespace screenlink
