#pragma once

#include <QByteArray>
#include <QString>

// The bytes of every message of the screen link, each written in exactly one
// place. Text is ASCII, one byte per character; numbers in plain decimal; the
// session identifiers go in as the service gave them (they never contain
// ":", "|" or a line feed).

namespace screenlink {

QByteArray HelloMessage(const QString& sessaoId, const QString& streamKey);
QByteArray AcceptMessage();
QByteArray GoodbyeMessage(const QString& sessaoId);
QByteArray JoinMessage(const QString& sessaoId, const QString& streamKey, const QString& papelRelay);
// The version-2 Join carries no key; the relay's challenge is answered with
// ProofMessage, a MAC over it keyed from the key (throws std::runtime_error
// only if OpenSSL fails).
QByteArray Join2Message(const QString& sessaoId, const QString& papelRelay);
QByteArray ProofMessage(const QString& streamKey, const QString& sessaoId, const QString& papelRelay,
                        const QByteArray& challengeHex);
QByteArray MouseCommand(const QString& action, int x, int y, int button);
QByteArray KeyCommand(const QString& action, int keyCode);
QByteArray QualityCommand(int nitidez, int atualizacao);

// Writes "FRAME:left:top:width:height:length:" into `out` (cleared first, its
// capacity kept), so the caller can append the Base64 payload straight after
// it in the same buffer.
void WriteFrameHeader(QByteArray& out, int left, int top, int width, int height, qsizetype payloadLength);

}  // namespace screenlink
