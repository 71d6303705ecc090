#pragma once

#include <QByteArrayView>

namespace screenlink {

enum class HelloVerdict {
    Invalid,   // fewer than three ":"-separated parts
    Accepted,  // the session id and stream key are this session's
    Refused,
};

// `ValidarHello` without its reactions: "HELLO:" id ":" key, parts after the
// key ignored. The comparison takes the same time wherever the texts differ,
// so the key cannot be guessed a character at a time; a session without a
// key yet accepts no Hello.
HelloVerdict CheckHello(QByteArrayView line, QByteArrayView sessaoId, QByteArrayView streamKey);

}  // namespace screenlink
