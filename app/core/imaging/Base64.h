#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Standard Base64 ("+", "/", "=" padding) for frames on the link. The
// output is one line; decoding skips white space anywhere and refuses
// anything else that is not Base64. Both reuse the output's buffer.

namespace imaging {

void Base64EncodeInto(QByteArrayView bytes, QByteArray* text);

// False, with `bytes` emptied and the reason in `error`, for invalid text.
bool Base64DecodeInto(QByteArrayView text, QByteArray* bytes, QString* error);

}  // namespace imaging
