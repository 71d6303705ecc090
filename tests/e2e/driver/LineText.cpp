#include "LineText.h"

namespace driver {

QString EscapeLine(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c == '\\')
            out += QStringLiteral("\\\\");
        else if (c == '\n')
            out += QStringLiteral("\\n");
        else if (c == '\t')
            out += QStringLiteral("\\t");
        else if (c != '\r')
            out += c;
    }
    return out;
}

QString UnescapeLine(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != '\\' || i + 1 == text.size()) {
            out += c;
            continue;
        }
        const QChar next = text[++i];
        out += next == 'n' ? QChar('\n') : next == 't' ? QChar('\t') : next;
    }
    return out;
}

}  // namespace driver
