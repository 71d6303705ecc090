#include "core/link/RelayReply.h"

#include <QByteArray>

#include <algorithm>

namespace screenlink {

namespace {

QByteArray TrimSpaces(QByteArray text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == ' ')
        ++begin;
    while (end > begin && text[end - 1] == ' ')
        --end;
    return text.sliced(begin, end - begin);
}

bool ContainsWord(QByteArrayView text, QByteArrayView word)
{
    return text.toByteArray().toUpper().contains(word);
}

constexpr QByteArrayView kChallengePrefix = "DESAFIO|";
constexpr qsizetype kChallengeChars = 64;

bool IsChallenge(QByteArrayView hex)
{
    return hex.size() == kChallengeChars
        && std::all_of(hex.begin(), hex.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

}  // namespace

RelayReply ClassifyRelayReply(QByteArrayView line)
{
    const QByteArray text = TrimSpaces(line.toByteArray().replace("\r", ""));
    if (text.startsWith("OK|")) {
        if (ContainsWord(text, "CONECTADO"))
            return {RelayReply::Kind::Paired, {}, {}};
        if (ContainsWord(text, "AGUARDANDO"))
            return {RelayReply::Kind::Waiting, {}, {}};
        return {RelayReply::Kind::Accepted, {}, {}};
    }
    if (text.startsWith("ERR|"))
        return {RelayReply::Kind::Refused, QString::fromLatin1(text.sliced(4)), {}};
    if (text.startsWith(kChallengePrefix) && IsChallenge(QByteArrayView(text).sliced(kChallengePrefix.size())))
        return {RelayReply::Kind::Challenge, {}, text.sliced(kChallengePrefix.size())};
    return {};
}

}  // namespace screenlink
