#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Standard Base64 ("+", "/", "=" padding) for frames on the link. The
// output is one line; decoding skips white space anywhere and refuses
// anything else that is not Base64. Both reuse the output's buffer.

namespace imaging {

// The length of the text for n bytes.
constexpr qsizetype Base64EncodedLength(qsizetype n)
{
    return (n + 2) / 3 * 4;
}

void Base64EncodeInto(QByteArrayView bytes, QByteArray* text);
// The same after what `text` already holds (a message header), so the
// payload is written once, in place.
void Base64EncodeAppend(QByteArrayView bytes, QByteArray* text);

// False, with `bytes` emptied and the reason in `error`, for invalid text.
bool Base64DecodeInto(QByteArrayView text, QByteArray* bytes, QString* error);

}  // namespace imaging
