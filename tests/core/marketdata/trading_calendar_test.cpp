#include "core/marketdata/trading_calendar.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDate>
#include <QTimeZone>

#include "core/common/beijing_time.h"
#include "support/test_support.h"

using namespace tovira;

// The built-in table against the exchange's published closures: each is
// closed, and 2026 has the 242 trading days announced, so no weekday is
// missing from the table and none was added.
TEST(TradingCalendarTest, AgreesWithThePublishedClosures) {
    const QByteArray file =
        test::ReadFileBytes(test::DataPath("nav-2026/cn_trading_holidays_2026.txt"));
    int closures = 0;
    for (const QByteArray& line : file.split('\n')) {
        if (line.trimmed().isEmpty() || line.startsWith('#')) continue;
        const QDate day = ReadDashedDate(QString::fromLatin1(line.trimmed()));
        ASSERT_TRUE(day.isValid()) << line.toStdString();
        EXPECT_FALSE(IsTradingDay(day)) << line.toStdString();
        EXPECT_LT(day.dayOfWeek(), 6) << "a weekend in the weekday list: " << line.toStdString();
        ++closures;
    }
    EXPECT_EQ(closures, 19);

    int sessions = 0;
    for (QDate d(2026, 1, 1); d.year() == 2026; d = d.addDays(1)) sessions += IsTradingDay(d);
    EXPECT_EQ(sessions, 242);
    EXPECT_EQ(LastKnownTradingYear(), 2026);
}

TEST(TradingCalendarTest, DaysAndPollingHours) {
    struct Day {
        QDate date;
        bool trading;
    };
    const Day days[] = {
        {QDate(2026, 7, 22), true},   // Wednesday
        {QDate(2026, 10, 8), true},   // first session after the National Day week
        {QDate(2026, 10, 7), false},  // National Day week
        {QDate(2026, 2, 14), false},  // a make-up working Saturday
        {QDate(2026, 9, 20), false},  // a make-up working Sunday
        {QDate(2027, 1, 1), true},    // after the table: weekdays count as sessions
        {QDate(2027, 1, 2), false},   // ... weekends never
        {QDate(), false},
    };
    for (const Day& d : days)
        EXPECT_EQ(IsTradingDay(d.date), d.trading) << d.date.toString().toStdString();

    struct Moment {
        QDateTime at;
        bool polling;
    };
    const auto beijing = [](int month, int day, int h, int m, int s = 0) {
        return BeijingTimeOn(QDate(2026, month, day), QTime(h, m, s));
    };
    const Moment moments[] = {
        {beijing(7, 22, 9, 24, 59), false},
        {beijing(7, 22, 9, 25), true},
        {beijing(7, 22, 12, 0), true},  // the lunch break keeps the last estimate
        {beijing(7, 22, 15, 5, 59), true},
        {beijing(7, 22, 15, 6), false},
        {beijing(10, 7, 10, 0), false},  // holiday
        {beijing(7, 25, 10, 0), false},  // Saturday
        // Other zones are taken at their moment: 01:25 UTC is 09:25 in Beijing,
        // and 23:00 UTC on the 21st is 07:00 on the 22nd.
        {QDateTime(QDate(2026, 7, 22), QTime(1, 25), QTimeZone::utc()), true},
        {QDateTime(QDate(2026, 7, 21), QTime(23, 0), QTimeZone::utc()), false},
        {QDateTime(QDate(2026, 7, 21), QTime(7, 0), QTimeZone::utc()), true},  // 15:00
        {QDateTime(), false},
    };
    for (const Moment& m : moments)
        EXPECT_EQ(IsPollingTime(m.at), m.polling) << m.at.toString(Qt::ISODate).toStdString();
}
