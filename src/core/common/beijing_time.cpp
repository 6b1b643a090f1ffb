#include "core/common/beijing_time.h"

namespace tovira {

namespace {

// The value of count decimal digits at text[from], or -1 when one is not a digit.
int Digits(QStringView text, qsizetype from, qsizetype count) {
    int value = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        const QChar c = text[i];
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return -1;
        value = value * 10 + (c.unicode() - '0');
    }
    return value;
}

}  // namespace

QTimeZone BeijingZone() { return QTimeZone(kBeijingOffsetSeconds); }

QDateTime BeijingNow() { return QDateTime::currentDateTimeUtc().toTimeZone(BeijingZone()); }

QDateTime ToBeijing(const QDateTime& moment) {
    if (!moment.isValid()) return {};
    return moment.toTimeZone(BeijingZone());
}

QDate BeijingToday() { return BeijingNow().date(); }

QDate ReadDashedDate(QStringView text) {
    if (text.size() != 10 || text[4] != QLatin1Char('-') || text[7] != QLatin1Char('-')) return {};
    const int year = Digits(text, 0, 4);
    const int month = Digits(text, 5, 2);
    const int day = Digits(text, 8, 2);
    if (year < 0 || month < 0 || day < 0) return {};
    return QDate(year, month, day);  // invalid for a day the calendar lacks
}

QTime ReadClockTime(QStringView text) {
    int hour = -1;
    int minute = -1;
    int second = 0;
    if (text.size() == 4) {
        hour = Digits(text, 0, 2);
        minute = Digits(text, 2, 2);
    } else if ((text.size() == 5 || text.size() == 8) && text[2] == QLatin1Char(':')) {
        hour = Digits(text, 0, 2);
        minute = Digits(text, 3, 2);
        if (text.size() == 8) {
            if (text[5] != QLatin1Char(':')) return {};
            second = Digits(text, 6, 2);
        }
    }
    if (hour < 0 || minute < 0 || second < 0) return {};
    return QTime(hour, minute, second);  // invalid past 23:59:59
}

QDateTime ReadBeijingDateTime(QStringView text) {
    // Only the forms with colons follow the date.
    if ((text.size() != 16 && text.size() != 19) || text[10] != QLatin1Char(' ')) return {};
    return BeijingTimeOn(ReadDashedDate(text.first(10)), ReadClockTime(text.mid(11)));
}

QDateTime BeijingTimeOn(const QDate& date, const QTime& time) {
    if (!date.isValid() || !time.isValid()) return {};
    return QDateTime(date, time, BeijingZone());
}

QDateTime BeijingFromEpochSeconds(qint64 seconds) {
    return QDateTime::fromSecsSinceEpoch(seconds, BeijingZone());
}

}  // namespace tovira
