#include "core/common/ledger_date.h"

namespace tovira {

namespace {

// Reads the digits at text[*at...] (at most `most`, at least one) as a
// number and moves *at past them; -1 when there are none or too many.
int ReadDigits(QStringView text, qsizetype* at, int most) {
    int value = 0;
    int digits = 0;
    while (*at < text.size() && text[*at] >= u'0' && text[*at] <= u'9') {
        if (++digits > most) return -1;
        value = value * 10 + (text[*at].unicode() - u'0');
        ++*at;
    }
    return digits == 0 ? -1 : value;
}

bool IsSeparator(QChar c) { return c == u'/' || c == u'-' || c == u'.'; }

}  // namespace

std::optional<QDate> ReadLedgerDate(QStringView text) {
    const QStringView t = text.trimmed();
    qsizetype at = 0;
    const int year = ReadDigits(t, &at, 4);
    if (year < 0 || at != 4 || at >= t.size() || !IsSeparator(t[at])) {
        return std::nullopt;
    }
    const QChar separator = t[at++];
    const int month = ReadDigits(t, &at, 2);
    if (month < 0 || at >= t.size() || t[at] != separator) return std::nullopt;
    ++at;
    const int day = ReadDigits(t, &at, 2);
    if (day < 0 || at != t.size()) return std::nullopt;
    const QDate date(year, month, day);  // invalid for a day the calendar lacks
    if (!date.isValid()) return std::nullopt;
    return date;
}

std::optional<QDate> ReadLedgerDate(const QString& text) {
    return ReadLedgerDate(QStringView(text));
}

}  // namespace tovira
