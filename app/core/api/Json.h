#pragma once

#include <QString>

// The program never parses a reply as a whole: it picks single members out of
// the text. Callers rely on the quirks: keys match in any letter case, the
// first occurrence wins wherever it stands, string values come back raw
// (escapes undecoded, an escaped quote ends the value), and a missing or
// empty member reads as "".

namespace api {

QString JsonGetValue(const QString& json, const QString& key);

// True exactly when the "ok" member, lower-cased, reads "true".
bool JsonIsOk(const QString& json);

// Escapes a text for a JSON string: backslash, quote, and every line break
// (CR LF, CR, LF) as the two characters \n.
QString JsonEscape(const QString& value);

}  // namespace api
