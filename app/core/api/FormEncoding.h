#pragma once

#include <QString>

// Form encoding of request bodies. Values travel as single bytes: U+0080 to
// U+00FF as their ISO-8859-1 byte, higher code units keep only their low
// byte. The service decodes them that way, so this must not become UTF-8.

namespace api {

QString UrlEncode(const QString& value);

// "email=…&dispositivo_uid=…&token=…", the account part that almost every
// request starts with. Values are used as they stand, not trimmed.
QString ApiAuthParams(const QString& email, const QString& dispositivoUid, const QString& token);

// "&name=" followed by the encoded value: how callers extend a body.
QString FormField(const char* name, const QString& value);

}  // namespace api
