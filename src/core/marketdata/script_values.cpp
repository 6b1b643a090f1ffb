#include "core/marketdata/script_values.h"

namespace tovira {
namespace {

bool IsNameCharacter(QChar c) { return c.isLetterOrNumber() || c == u'_' || c == u'$'; }

bool IsBlank(QChar c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

qsizetype SkipBlanks(const QString& text, qsizetype at) {
    while (at < text.size() && IsBlank(text[at])) ++at;
    return at;
}

}  // namespace

qsizetype ScriptAssignedValue(const QString& text, const QString& name) {
    for (qsizetype at = text.indexOf(name); at >= 0; at = text.indexOf(name, at + name.size())) {
        if (at > 0 && IsNameCharacter(text[at - 1])) continue;
        const qsizetype equals = SkipBlanks(text, at + name.size());
        if (equals >= text.size() || text[equals] != u'=') continue;
        if (equals + 1 < text.size() && text[equals + 1] == u'=') continue;
        return SkipBlanks(text, equals + 1);
    }
    return -1;
}

qsizetype ScriptValueEnd(const QString& text, qsizetype open) {
    qsizetype depth = 0;
    bool inString = false;
    for (qsizetype i = open; i < text.size(); ++i) {
        const QChar c = text[i];
        if (inString) {
            if (c == u'\\') {
                ++i;
            } else if (c == u'"') {
                inString = false;
            }
        } else if (c == u'"') {
            inString = true;
        } else if (c == u'[' || c == u'{') {
            ++depth;
        } else if (c == u']' || c == u'}') {
            if (--depth == 0) return i;
        }
    }
    return -1;
}

}  // namespace tovira
