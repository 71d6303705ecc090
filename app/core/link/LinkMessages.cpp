#include "core/link/LinkMessages.h"

#include "core/link/LinkKeys.h"

namespace screenlink {

QByteArray HelloMessage(const QString& sessaoId, const QString& streamKey)
{
    return "HELLO:" + sessaoId.toLatin1() + ':' + streamKey.toLatin1() + '\n';
}

QByteArray AcceptMessage() { return QByteArrayLiteral("OK\n"); }

QByteArray GoodbyeMessage(const QString& sessaoId) { return "CMD:BYE:" + sessaoId.toLatin1() + ":0\n"; }

QByteArray JoinMessage(const QString& sessaoId, const QString& streamKey, const QString& papelRelay)
{
    return "JOIN|" + sessaoId.toLatin1() + '|' + streamKey.toLatin1() + '|' + papelRelay.toLatin1()
        + "|marquelin-relay-v1\n";
}

QByteArray Join2Message(const QString& sessaoId, const QString& papelRelay)
{
    const std::string_view tag = linkkeys::kRelayProtocolV2;
    return "JOIN2|" + sessaoId.toLatin1() + '|' + papelRelay.toLatin1() + '|'
        + QByteArray(tag.data(), static_cast<qsizetype>(tag.size())) + '\n';
}

QByteArray ProofMessage(const QString& streamKey, const QString& sessaoId, const QString& papelRelay,
                        const QByteArray& challengeHex)
{
    const std::string proof = linkkeys::RelayJoinProof(streamKey.toStdString(), sessaoId.toStdString(),
                                                       papelRelay.toStdString(), challengeHex.toStdString());
    return "PROVA|" + QByteArray::fromStdString(proof) + '\n';
}

QByteArray MouseCommand(const QString& action, int x, int y, int button)
{
    return "CMD:" + action.toLatin1() + ':' + QByteArray::number(x) + ':' + QByteArray::number(y) + ':'
        + QByteArray::number(button) + '\n';
}

QByteArray KeyCommand(const QString& action, int keyCode)
{
    return "CMD:" + action.toLatin1() + ':' + QByteArray::number(keyCode) + ":0:1\n";
}

QByteArray QualityCommand(int nitidez, int atualizacao)
{
    return "CMD:CF:" + QByteArray::number(nitidez) + ':' + QByteArray::number(atualizacao) + ":1\n";
}

void WriteFrameHeader(QByteArray& out, int left, int top, int width, int height, qsizetype payloadLength)
{
    out.resize(0);  // unlike clear(), keeps the allocation
    out += "FRAME:";
    for (const qint64 field : {qint64(left), qint64(top), qint64(width), qint64(height), qint64(payloadLength)}) {
        out += QByteArray::number(field);
        out += ':';
    }
}

}  // namespace screenlink
