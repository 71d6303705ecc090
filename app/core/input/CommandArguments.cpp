#include "core/input/CommandArguments.h"

#include "core/common/Numbers.h"

#include <cmath>

namespace input {
namespace {

// Received lines come from the peer: quote only a bounded part of a field.
constexpr qsizetype kQuotedFieldLength = 24;

bool IsDigit(QChar c) { return c >= u'0' && c <= u'9'; }

bool IsNumber(QStringView field)
{
    qsizetype i = 0;
    if (i < field.size() && (field[i] == u'+' || field[i] == u'-'))
        ++i;
    qsizetype digits = 0;
    for (; i < field.size() && IsDigit(field[i]); ++i)
        ++digits;
    if (i < field.size() && field[i] == u'.')
        for (++i; i < field.size() && IsDigit(field[i]); ++i)
            ++digits;
    return digits > 0 && i == field.size();
}

QString Quoted(QStringView field)
{
    const QString shown = field.left(kQuotedFieldLength).toString();
    return u'"' + shown + (field.size() > kQuotedFieldLength ? QStringLiteral("...\"") : QStringLiteral("\""));
}

}  // namespace

ArgumentResult ReadArgument(QStringView field, ArgumentRange range)
{
    ArgumentResult result;
    if (!IsNumber(field)) {
        result.error = QStringLiteral("argumento nao numerico ") + Quoted(field);
        return result;
    }
    const double value = field.toDouble();
    const double rounded = std::nearbyint(value);
    if (!(rounded >= static_cast<double>(range.min) && rounded <= static_cast<double>(range.max))) {
        result.error = QStringLiteral("argumento fora do intervalo ") + Quoted(field);
        return result;
    }
    result.value = common::RoundHalfEven(value);
    return result;
}

}  // namespace input
