#pragma once

#include <QByteArrayView>
#include <QString>

namespace screenlink {

// What a line from the relay server means (`TratarRespostaRelay` without its
// reactions).
struct RelayReply {
    enum class Kind {
        NotAReply,
        Paired,    // "OK|" with "CONECTADO", any letter case
        Waiting,   // "OK|" with "AGUARDANDO" and without "CONECTADO"
        Accepted,  // "OK|" with neither word
        Refused,   // "ERR|" with a reason
        Challenge, // "DESAFIO|" and 64 lowercase hex digits, to a version-2 Join
    };

    Kind kind = Kind::NotAReply;
    QString reason;        // Refused only
    QByteArray challenge;  // Challenge only
};

// CRs are deleted and spaces trimmed at both ends before the line is read.
RelayReply ClassifyRelayReply(QByteArrayView line);

}  // namespace screenlink
