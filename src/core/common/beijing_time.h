#pragma once
// Beijing time: the clock of the fund sources and of the Chinese markets.
// A fixed UTC+8 all year (China has no daylight saving time), whatever zone
// the computer is set to and whether or not a time-zone database is installed,
// so the system zone is never consulted.

#include <QDate>
#include <QDateTime>
#include <QStringView>
#include <QTime>
#include <QTimeZone>

namespace tovira {

inline constexpr int kBeijingOffsetSeconds = 8 * 3600;

// UTC+8 as a fixed offset.
QTimeZone BeijingZone();

// Now, from the UTC clock, in Beijing time.
QDateTime BeijingNow();
// The same moment in Beijing time; invalid stays invalid.
QDateTime ToBeijing(const QDateTime& moment);
// Today's date in Beijing.
QDate BeijingToday();

// The sources' time texts. Each reads the whole text strictly (digits where
// digits belong, no blanks around) and gives an invalid value for anything
// else, including days and times the calendar or clock does not have.

// "2026-07-22"
QDate ReadDashedDate(QStringView text);
// "1009", "10:09" or "10:09:30"
QTime ReadClockTime(QStringView text);
// "2026-07-22 10:09" or "2026-07-22 10:09:30", taken as Beijing time.
QDateTime ReadBeijingDateTime(QStringView text);
// A clock time on a day, taken as Beijing time.
QDateTime BeijingTimeOn(const QDate& date, const QTime& time);
// Seconds since 1970-01-01 00:00 UTC, in Beijing time.
QDateTime BeijingFromEpochSeconds(qint64 seconds);

}  // namespace tovira
