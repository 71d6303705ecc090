#include "core/link/HelloCheck.h"

#include <QByteArray>
#include <QList>

namespace screenlink {

namespace {

// Only the lengths can show in the time taken, never the place of a
// difference.
bool SameInConstantTime(QByteArrayView given, QByteArrayView expected)
{
    unsigned difference = given.size() == expected.size() ? 0u : 1u;
    for (qsizetype i = 0; i < expected.size(); ++i) {
        const char g = i < given.size() ? given[i] : '\0';
        difference |= static_cast<unsigned char>(g ^ expected[i]);
    }
    return difference == 0;
}

}  // namespace

HelloVerdict CheckHello(QByteArrayView line, QByteArrayView sessaoId, QByteArrayView streamKey)
{
    const QList<QByteArray> parts = line.toByteArray().split(':');
    if (parts.size() < 3)
        return HelloVerdict::Invalid;
    // Both comparisons run, so their time does not tell which one failed.
    const bool sameId = SameInConstantTime(parts[1], sessaoId);
    const bool sameKey = SameInConstantTime(parts[2], streamKey);
    if (sameId & sameKey & !streamKey.isEmpty())
        return HelloVerdict::Accepted;
    return HelloVerdict::Refused;
}

}  // namespace screenlink
