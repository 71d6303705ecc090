#pragma once

#include <QString>

namespace driver {

// One command or reply per line: a backslash, a line break and a tab inside a
// value travel as "\\", "\n" and "\t".
QString EscapeLine(const QString& text);
QString UnescapeLine(const QString& text);

}  // namespace driver
