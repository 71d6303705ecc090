#pragma once

#include <QString>

namespace common {

// Removes leading and trailing spaces only: tabs and line breaks stay, as
// every "trimmed" comparison of the program expects.
inline QString TrimSpaces(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == ' ')
        ++begin;
    while (end > begin && text[end - 1] == ' ')
        --end;
    return text.mid(begin, end - begin);
}

}  // namespace common
