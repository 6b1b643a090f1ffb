#pragma once
// Width of a text in a terminal's character cells: East Asian wide and
// full-width characters (Chinese, full-width punctuation) take two cells,
// everything else one. Used to line up text tables.

#include <QString>
#include <algorithm>

namespace tovira {

inline bool IsWideChar(char16_t u) {
    return (u >= 0x1100 && u <= 0x115F) || (u >= 0x2E80 && u <= 0xA4CF) ||
           (u >= 0xAC00 && u <= 0xD7A3) || (u >= 0xF900 && u <= 0xFAFF) ||
           (u >= 0xFE30 && u <= 0xFE4F) || (u >= 0xFF00 && u <= 0xFF60) ||
           (u >= 0xFFE0 && u <= 0xFFE6);
}

inline int DisplayWidth(QStringView text) {
    int w = 0;
    for (QChar c : text) w += IsWideChar(c.unicode()) ? 2 : 1;
    return w;
}

// text followed by blanks up to width cells.
inline QString PadRight(const QString& text, int width) {
    return text + QString(std::max(0, width - DisplayWidth(text)), u' ');
}

// Blanks up to width cells, then text.
inline QString PadLeft(const QString& text, int width) {
    return QString(std::max(0, width - DisplayWidth(text)), u' ') + text;
}

}  // namespace tovira
