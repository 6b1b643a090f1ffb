#pragma once
// Texts taken from provider answers or typed into a cell go into ledger
// cells, plan files and FundCode.ini, whose lines they must not break.

#include <QChar>
#include <QString>

namespace tovira {

// The text without control characters (CR, LF, tab and the rest) and without
// the Unicode line and paragraph separators.
inline bool IsLineBreaking(QChar c) {
    return c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
           c == QChar::ParagraphSeparator;
}

inline QString StripControlCharacters(const QString& text) {
    bool any = false;
    for (const QChar c : text) any = any || IsLineBreaking(c);
    if (!any) return text;
    QString clean;
    clean.reserve(text.size());
    for (const QChar c : text) {
        if (!IsLineBreaking(c)) clean += c;
    }
    return clean;
}

}  // namespace tovira
