#include "core/api/Json.h"

#include "core/common/Text.h"

namespace api {
namespace {

bool IsGap(QChar c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool EndsBareValue(QChar c) { return c == '}' || c == ',' || c == '\r' || c == '\n'; }

}  // namespace

QString JsonGetValue(const QString& json, const QString& key)
{
    const QString pattern = '"' + key + "\":";
    qsizetype at = json.indexOf(pattern, 0, Qt::CaseInsensitive);
    if (at < 0)
        return {};
    at += pattern.size();
    while (at < json.size() && IsGap(json[at]))
        ++at;
    if (at >= json.size())
        return {};
    if (json[at] == '"') {
        const qsizetype close = json.indexOf('"', at + 1);
        return close > at + 1 ? json.mid(at + 1, close - at - 1) : QString();
    }
    qsizetype end = at;
    while (end < json.size() && !EndsBareValue(json[end]))
        ++end;
    return common::TrimSpaces(json.mid(at, end - at));
}

bool JsonIsOk(const QString& json)
{
    return JsonGetValue(json, QStringLiteral("ok")).toLower() == QLatin1String("true");
}

QString JsonEscape(const QString& value)
{
    QString escaped = value;
    escaped.replace('\\', QLatin1String("\\\\"));
    escaped.replace('"', QLatin1String("\\\""));
    escaped.replace(QLatin1String("\r\n"), QLatin1String("\\n"));
    escaped.replace('\r', QLatin1String("\\n"));
    escaped.replace('\n', QLatin1String("\\n"));
    return escaped;
}

}  // namespace api
