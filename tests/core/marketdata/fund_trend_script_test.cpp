#include "core/marketdata/fund_trend_script.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QLocale>
#include <QTimeZone>

#include "core/marketdata/nav_pages.h"
#include "support/test_support.h"

namespace tovira {
namespace {

using test::DataPath;
using test::ReadFileBytes;

QString Fixture(const char* name) { return QString::fromUtf8(ReadFileBytes(DataPath(name))); }

QString Trend(const QString& days) {
    return QStringLiteral(
               "var ishb=false;var Data_netWorthTrend = [%1];var Data_ACWorthTrend = [];")
        .arg(days);
}

// One day at Beijing midnight of 2024-01-04 with the given fields.
QString Day(const char* fields, qint64 x = 1704297600000) {
    return QStringLiteral("{\"x\":%1,%2}").arg(x).arg(QString::fromUtf8(fields));
}

const QDate kFirst(2000, 1, 1);
const QDate kLast(2030, 12, 31);

TEST(FundTrendScriptUrl, JoinsTheBaseWithoutItsTrailingSlashes) {
    EXPECT_EQ(FundTrendScriptUrl("https://fund.example", "110022").toString(),
              "https://fund.example/pingzhongdata/110022.js");
    EXPECT_EQ(FundTrendScriptUrl("http://127.0.0.1:8080//", "006675").toString(),
              "http://127.0.0.1:8080/pingzhongdata/006675.js");
}

TEST(FundTrendScriptParse, DatesAreBeijingDaysOldestFirst) {
    const NavPage page = ParseFundTrendScript(Fixture("nav-2026/pingzhongdata_110022.js"),
                                              QDate(2010, 1, 1), QDate(2010, 12, 31));
    EXPECT_EQ(page.failure, NavFailure::None);
    EXPECT_TRUE(page.complete);
    EXPECT_TRUE(page.closed);
    EXPECT_EQ(page.oldestChange, "0");
    EXPECT_EQ(page.records,
              QStringList({"2010/8/20,1.0000,,,", "2010/8/27,1.0010,,,", "2010/9/3,1.0060,,,"}));
    EXPECT_EQ(page.rows, 3);
    EXPECT_EQ(page.totalRecords, 3);
    EXPECT_EQ(page.pages, 1);

    const NavPage other =
        ParseFundTrendScript(Fixture("nav-2026/pingzhongdata_multifactor_2026.js"), kFirst, kLast);
    EXPECT_EQ(other.records, QStringList({"2013/6/14,1.0000,,,", "2026/9/30,4.7800,,,"}));
}

TEST(FundTrendScriptParse, TakesOnlyTheRangeAndItsOldestDaysChange) {
    const QString script = Fixture("nav-2026/pingzhongdata_110022.js");
    struct Case {
        QDate start, end;
        QStringList records;
        const char* oldestChange;
    };
    const Case cases[] = {
        {{2010, 8, 21}, {2010, 9, 3}, {"2010/8/27,1.0010,,,", "2010/9/3,1.0060,,,"}, "0.1"},
        {{2010, 9, 3}, {2010, 9, 3}, {"2010/9/3,1.0060,,,"}, "0.4995"},
        {{2010, 8, 20}, {2010, 8, 26}, {"2010/8/20,1.0000,,,"}, "0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start.toString().toStdString());
        const NavPage page = ParseFundTrendScript(script, c.start, c.end);
        EXPECT_TRUE(page.complete);
        EXPECT_EQ(page.records, c.records);
        EXPECT_EQ(page.oldestChange, c.oldestChange);
        EXPECT_EQ(page.rows, c.records.size());
    }
    // 2010-08-19 is the first day's date in UTC only; a range between days
    // holds none.
    for (const QDate& day : {QDate(2010, 8, 19), QDate(2010, 8, 28), QDate(2026, 1, 5)}) {
        const NavPage page = ParseFundTrendScript(script, day, day);
        EXPECT_EQ(page.failure, NavFailure::NoDays);
        EXPECT_TRUE(page.closed);
        EXPECT_FALSE(page.complete);
        EXPECT_EQ(page.rows, 0);
        EXPECT_TRUE(page.records.isEmpty());
    }
}

TEST(FundTrendScriptParse, WritesNavsChangesAndDividendsAsTheHistoryTables) {
    struct Case {
        const char* fields;
        const char* record;
        const char* change;
    };
    const Case cases[] = {
        {R"("y":4.78,"equityReturn":-1.23,"unitMoney":"")", "2024/1/4,4.7800,,,", "-1.23"},
        {R"("y":1.23456,"equityReturn":0.4995)", "2024/1/4,1.23456,,,", "0.4995"},
        {R"("y":2,"equityReturn":null,"unitMoney":null)", "2024/1/4,2.0000,,,", "0"},
        {R"("y":0.0000001,"equityReturn":"")", "2024/1/4,0.0000001,,,", "0"},
        {R"("y":1.5,"equityReturn":-0.0)", "2024/1/4,1.5000,,,", "0"},
        {R"("y":12345678.9,"equityReturn":1e-7)", "2024/1/4,12345678.9000,,,", "0.0000001"},
        {R"("y":1.3204,"equityReturn":0.21,"unitMoney":"分红：每份派现金0.0675元")",
         "2024/1/4,1.3204,,,每份派现金0.0675元", "0.21"},
        {R"("y":1.0,"equityReturn":0,"unitMoney":"拆分：每份基金份额折算1.46406491份")",
         "2024/1/4,1.0000,,,每份基金份额折算1.46406491份", "0"},
        {R"("y":1.0,"equityReturn":0,"unitMoney":"分红:每份派现金0.03元")",
         "2024/1/4,1.0000,,,每份派现金0.03元", "0"},
        // The record's own separators and line breaks must not split the day.
        {R"("y":1.0,"equityReturn":0,"unitMoney":"分红：每份派现金0.03元,\n再投资|")",
         "2024/1/4,1.0000,,,每份派现金0.03元，再投资｜", "0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fields);
        const NavPage page = ParseFundTrendScript(Trend(Day(c.fields)), kFirst, kLast);
        ASSERT_TRUE(page.complete);
        EXPECT_EQ(page.records, QStringList{QString::fromUtf8(c.record)});
        EXPECT_EQ(page.oldestChange, c.change);
    }
}

TEST(FundTrendScriptParse, RefusesWhatIsNotAWholeTrendOfNavs) {
    const QString nested = QStringLiteral("var Data_netWorthTrend = ") + QString(100000, u'[') +
                           QString(100000, u']') + ';';
    struct Case {
        QString script;
        NavFailure failure;
        const char* detail;
    };
    const Case cases[] = {
        {Fixture("nav-2026/pingzhongdata_moneyfund_000905.js"), NavFailure::MoneyFund, ""},
        {"var ishb = true;" + Trend(Day(R"("y":1.0)")), NavFailure::MoneyFund, ""},
        {"var Data_millionCopiesIncome=[[1694448000000,0.5807]];", NavFailure::MoneyFund, ""},
        {Fixture("nav/eastmoney_lsjz_page_2015-07_exact.txt"), NavFailure::NotData, ""},
        {"<html><body>Data_netWorthTrend</body></html>", NavFailure::NotData, ""},
        {"var Data_netWorthTrendOld = [];", NavFailure::NotData, ""},
        {"var My_Data_netWorthTrend = [];", NavFailure::NotData, ""},
        {"", NavFailure::NotData, ""},
        {"var Data_netWorthTrend = null;", NavFailure::Malformed, ""},
        {Trend(R"({"x":1704297600000,"y":1.0,})"), NavFailure::Malformed, ""},
        {nested, NavFailure::Malformed, ""},
        {Trend(Day(R"("y":1.0)") + ',' + Day(R"("y":1.1)")), NavFailure::Malformed, "2024/1/4"},
        {Trend(Day(R"("y":1.0)") + ',' + Day(R"("y":1.1)", 1704211200000)), NavFailure::Malformed,
         "2024/1/3"},
        {Trend(Day(R"("y":null)")), NavFailure::BadRow, "2024/1/4"},
        {Trend(Day(R"("y":0)")), NavFailure::BadRow, "2024/1/4"},
        {Trend(Day(R"("y":-1.5)")), NavFailure::BadRow, "2024/1/4"},
        {Trend(Day(R"("y":"1.0")")), NavFailure::BadRow, "2024/1/4"},
        {Trend(Day(R"("equityReturn":0)")), NavFailure::BadRow, "2024/1/4"},
        {Trend(Day(R"("y":1.0,"equityReturn":"up")")), NavFailure::BadRow, "2024/1/4"},
        {Trend(Day(R"("y":1.0,"unitMoney":0.03)")), NavFailure::BadRow, "2024/1/4"},
        {Trend(Day(R"("y":1.0)") + R"(,{"y":1.1})"), NavFailure::BadRow, "1"},
        {Trend(R"({"x":1704297600000.5,"y":1.0})"), NavFailure::BadRow, "0"},
        {Trend(R"({"x":"1704297600000","y":1.0})"), NavFailure::BadRow, "0"},
        {Trend(R"([1704297600000,1.0])"), NavFailure::BadRow, "0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script.left(120).toStdString());
        const NavPage page = ParseFundTrendScript(c.script, kFirst, kLast);
        EXPECT_EQ(page.failure, c.failure);
        EXPECT_EQ(page.detail, c.detail);
        EXPECT_FALSE(page.complete);
        EXPECT_FALSE(page.closed);
        EXPECT_TRUE(page.records.isEmpty());
    }
}

TEST(FundTrendScriptParse, AnAnswerCutInsideTheTrendIsNeverTaken) {
    const QString script = Fixture("nav-2026/pingzhongdata_110022.js");
    const qsizetype open = script.indexOf("Data_netWorthTrend");
    const qsizetype close = script.indexOf("];", open);
    ASSERT_GT(open, 0);
    ASSERT_GT(close, open);
    for (qsizetype cut = open; cut <= close; ++cut) {
        const NavPage page = ParseFundTrendScript(script.left(cut), kFirst, kLast);
        ASSERT_FALSE(page.complete) << cut;
        ASSERT_TRUE(page.records.isEmpty()) << cut;
        if (script.indexOf('[', open) < cut) {
            ASSERT_EQ(page.failure, NavFailure::Malformed) << cut;
        }
    }
}

// A year of fund 006675 as its trend script, built from the JSON source's
// fields, gives the days the HTML table gives, without the statuses.
TEST(FundTrendScriptParse, AYearOfNavsMatchesTheHistoryTable) {
    const QStringList lines =
        Fixture("nav-2026/raw_lsjzjson_006675_2024.csv").split('\n', Qt::SkipEmptyParts);
    QStringList days;
    for (const QString& line : lines.mid(1)) {
        // FSRQ,DWJZ,LJJZ,SDATE,ACTUALSYI,NAVTYPE,JZZZL,SGZT,SHZT,FHFCZ,FHFCBZ,DTYPE,FHSP
        const QStringList f = line.trimmed().split(',');
        ASSERT_EQ(f.size(), 13) << line.toStdString();
        const QDateTime midnight(QDate::fromString(f[0], Qt::ISODate), QTime(0, 0),
                                 QTimeZone(8 * 3600));
        const QString nav = QString::number(f[1].toDouble(), 'g', QLocale::FloatingPointShortest);
        const QString money = f[12].isEmpty() ? QString() : QStringLiteral("分红：") + f[12];
        days << QStringLiteral(R"({"x":%1,"y":%2,"equityReturn":%3,"unitMoney":"%4"})")
                    .arg(midnight.toMSecsSinceEpoch())
                    .arg(nav, f[6].isEmpty() ? QStringLiteral("null") : f[6], money);
    }
    const QString script = Trend(days.join(','));

    QStringList table =
        ParseNavPage(test::RenderTable(test::ReadRows("nav/nav_006675_2024.csv"))).records;
    for (QString& r : table) {
        QStringList f = r.split(',');
        f[2].clear();
        f[3].clear();
        r = f.join(',');
    }
    ASSERT_EQ(table.size(), 240);

    const NavPage year = ParseFundTrendScript(script, QDate(2024, 1, 1), QDate(2024, 12, 31));
    ASSERT_TRUE(year.complete);
    EXPECT_EQ(year.oldestChange, "0.37");
    EXPECT_EQ(year.records, table);
    EXPECT_EQ(year.records.first(), "2024/1/4,1.2855,,,");
    EXPECT_EQ(year.records.filter(QStringLiteral("派现金")).size(), 4);

    // A range starting on a dividend day.
    const NavPage spring = ParseFundTrendScript(script, QDate(2024, 4, 29), QDate(2024, 6, 27));
    ASSERT_TRUE(spring.complete);
    EXPECT_EQ(spring.oldestChange, "0.21");
    EXPECT_EQ(spring.records.first(), "2024/4/29,1.3204,,,每份派现金0.0675元");
    EXPECT_EQ(spring.records.last(), "2024/6/27,1.2396,,,每份派现金0.0638元");
}

}  // namespace
}  // namespace tovira
