#include "core/common/beijing_time.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <ctime>

#include "core/marketdata/trading_calendar.h"

using namespace tovira;

namespace {

// Runs the test body with the computer's zone set elsewhere, then puts it back.
class OtherZone {
  public:
    explicit OtherZone(const char* zone)
        : had_(qEnvironmentVariableIsSet("TZ")), old_(qgetenv("TZ")) {
        qputenv("TZ", zone);
        tzset();
    }
    ~OtherZone() {
        if (had_)
            qputenv("TZ", old_);
        else
            qunsetenv("TZ");
        tzset();
    }

  private:
    bool had_;
    QByteArray old_;
};

}  // namespace

TEST(BeijingTimeTest, SourceTextsReadWholeAndStrict) {
    const qint64 at1009 = 1784686140;  // 2026-07-22 02:09 UTC
    struct Case {
        const char* text;
        qint64 epoch;  // 0: not a time
    };
    const Case cases[] = {
        {"2026-07-22 10:09", at1009},
        {"2026-07-22 10:09:30", at1009 + 30},
        {"2026-07-22 00:00", at1009 - (10 * 60 + 9) * 60},
        {"2026-7-22 10:09", 0},
        {"2026-07-22T10:09", 0},
        {"2026-07-22 1009", 0},
        {"2026-07-22 10:9", 0},
        {"2026-07-22 10:09:", 0},
        {"2026-02-30 10:00", 0},
        {"2026-07-22 24:00", 0},
        {" 2026-07-22 10:09", 0},
        {"2026-07-22 10:09 ", 0},
        {"2026-07-22 +1:09", 0},
        {"", 0},
    };
    for (const Case& c : cases) {
        const QDateTime t = ReadBeijingDateTime(QString::fromUtf8(c.text));
        EXPECT_EQ(t.isValid(), c.epoch != 0) << c.text;
        if (!t.isValid()) continue;
        EXPECT_EQ(t.toSecsSinceEpoch(), c.epoch) << c.text;
        EXPECT_EQ(t.offsetFromUtc(), kBeijingOffsetSeconds) << c.text;
    }

    EXPECT_EQ(ReadClockTime(u"1009"), QTime(10, 9));
    EXPECT_EQ(ReadClockTime(u"10:09:30"), QTime(10, 9, 30));
    for (const char16_t* bad : {u"109", u"10:9", u"1060", u"10-09", u"10:09:3x", u"2400", u"-109"})
        EXPECT_FALSE(ReadClockTime(bad).isValid()) << QStringView(bad).toString().toStdString();
    EXPECT_FALSE(ReadDashedDate(u"2026-07-2x").isValid());
    EXPECT_EQ(BeijingFromEpochSeconds(at1009), ReadBeijingDateTime(u"2026-07-22 10:09"));
}

// UTC+8 holds whatever the computer's zone, daylight saving included.
TEST(BeijingTimeTest, FixedOffsetWhateverTheLocalZone) {
    for (const char* zone : {"America/New_York", "Europe/London", "UTC"}) {
        OtherZone other(zone);
        SCOPED_TRACE(zone);
        const QDateTime utc = QDateTime::currentDateTimeUtc();
        const QDateTime now = BeijingNow();
        EXPECT_EQ(now.offsetFromUtc(), kBeijingOffsetSeconds);
        EXPECT_LE(qAbs(now.toSecsSinceEpoch() - utc.toSecsSinceEpoch()), 5);
        EXPECT_EQ(BeijingToday(), utc.addSecs(8 * 3600).date());

        // 20:30 of 2026-07-21 in New York (summer time, UTC-4) is 08:30 the next morning.
        const QDateTime newYork(QDate(2026, 7, 21), QTime(20, 30), QTimeZone(-4 * 3600));
        EXPECT_EQ(ToBeijing(newYork), ReadBeijingDateTime(u"2026-07-22 08:30"));
        EXPECT_EQ(ToBeijing(newYork).time(), QTime(8, 30));
        EXPECT_EQ(ReadBeijingDateTime(u"2026-07-22 10:09").time(), QTime(10, 9));
        EXPECT_EQ(BeijingFromEpochSeconds(1784686140).date(), QDate(2026, 7, 22));
        EXPECT_TRUE(IsPollingTime(QDateTime(QDate(2026, 7, 22), QTime(1, 30), QTimeZone::utc())));
        EXPECT_FALSE(ToBeijing(QDateTime()).isValid());
    }
}
