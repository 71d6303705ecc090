#include "core/api/FormEncoding.h"

namespace api {
namespace {

bool IsUnreserved(char16_t c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'
        || c == '_' || c == '.' || c == '~';
}

}  // namespace

QString UrlEncode(const QString& value)
{
    static const char hex[] = "0123456789ABCDEF";
    QString out;
    out.reserve(value.size() * 3);
    for (const QChar qc : value) {
        const char16_t c = qc.unicode();
        if (IsUnreserved(c)) {
            out += qc;
        } else if (c == ' ') {
            out += '+';
        } else {
            const unsigned low = c & 0xFF;
            out += '%';
            out += QLatin1Char(hex[low >> 4]);
            out += QLatin1Char(hex[low & 0xF]);
        }
    }
    return out;
}

QString FormField(const char* name, const QString& value)
{
    return '&' + QLatin1String(name) + '=' + UrlEncode(value);
}

QString ApiAuthParams(const QString& email, const QString& dispositivoUid, const QString& token)
{
    return "email=" + UrlEncode(email) + FormField("dispositivo_uid", dispositivoUid)
        + FormField("token", token);
}

}  // namespace api
