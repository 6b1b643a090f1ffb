#include "core/marketdata/nav_history.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <optional>

#include "core/marketdata/http_client.h"
#include "core/marketdata/nav_pages.h"
#include "support/local_http_server.h"
#include "support/test_support.h"

namespace tovira {
namespace {

using test::Between;
using test::DataPath;
using test::LocalHttpServer;
using test::NavRow;
using test::ReadFileBytes;
using test::ReadRows;
using test::RenderPage;
using test::RenderTable;

// The history string the rows should give, record 0 included.
QString Expected(const QString& record0, const QList<NavRow>& oldestFirst) {
    QString s = record0;
    for (const NavRow& r : oldestFirst) {
        const QDate d = QDate::fromString(r.date, QStringLiteral("yyyy-MM-dd"));
        s += QStringLiteral("|%1,%2,%3,%4,%5")
                 .arg(d.toString(QStringLiteral("yyyy/M/d")), r.nav, r.purchase, r.redeem,
                      r.dividend);
    }
    return s;
}

QString FixturePage(const char* name) { return QString::fromUtf8(ReadFileBytes(DataPath(name))); }

// A hand-written row in the provider's markup.
QString Row(const char* date, const char* nav, const char* changeCell, const char* dividend = "") {
    return QStringLiteral(
               "<tr><td>%1</td><td class='tor bold'>%2</td><td class='tor bold'>%2</td>%3"
               "<td>开放申购</td><td>开放赎回</td><td class='red unbold'>%4</td></tr>")
        .arg(QString::fromUtf8(date), QLatin1String(nav), QString::fromUtf8(changeCell),
             QString::fromUtf8(dividend));
}

QString Table(const QString& rowsNewestFirst) {
    return QStringLiteral("<table><thead><tr><th>净值日期</th></tr></thead><tbody>") +
           rowsNewestFirst + QStringLiteral("</tbody></table>");
}

TEST(NavHistoryUrl, AsksForTheWholeRangeInOnePage) {
    const QString base = QStringLiteral("http://nav.example:8080");
    EXPECT_EQ(NavHistoryUrl(base, "161725", QDate(2017, 3, 1), QDate(2017, 3, 31)).toEncoded(),
              "http://nav.example:8080/f10/F10DataApi.aspx?type=lsjz&code=161725&page=1&per=31"
              "&sdate=2017/3/1&edate=2017/3/31");
    EXPECT_EQ(
        NavHistoryUrl(base + "/", "000011", QDate(2017, 3, 27), QDate(2017, 3, 27)).toEncoded(),
        "http://nav.example:8080/f10/F10DataApi.aspx?type=lsjz&code=000011&page=1&per=1"
        "&sdate=2017/3/27&edate=2017/3/27");
    // Across a leap day and a year end; an explicit page and page size.
    EXPECT_EQ(NavHistoryUrl(base, "006675", QDate(2023, 12, 30), QDate(2024, 3, 1)).query(),
              "type=lsjz&code=006675&page=1&per=63&sdate=2023/12/30&edate=2024/3/1");
    EXPECT_EQ(NavHistoryUrl(base, "006675", QDate(2024, 1, 1), QDate(2024, 12, 31), 3, 366).query(),
              "type=lsjz&code=006675&page=3&per=366&sdate=2024/1/1&edate=2024/12/31");
}

TEST(NavHistoryParse, RowsComeOutOldestFirstAfterRecordZero) {
    const QString page = Table(Row("2017-03-29", "1.0300", "<td class='tor bold red'>0.98%</td>") +
                               Row("2017-03-28", "1.0200", "<td class='tor bold red'>2.00%</td>") +
                               Row("2017-03-27", "1.0000", "<td class='tor bold grn'>-1.23%</td>"));
    bool complete = false;
    const QString history = ParseNavHistory(page, &complete);
    EXPECT_TRUE(complete);
    const QStringList records = history.split('|');
    ASSERT_EQ(records.size(), 4);
    EXPECT_EQ(records[0], "-1.23");
    EXPECT_EQ(records[1], "2017/3/27,1.0000,开放申购,开放赎回,");
    EXPECT_EQ(records[2], "2017/3/28,1.0200,开放申购,开放赎回,");
    EXPECT_EQ(records[3], "2017/3/29,1.0300,开放申购,开放赎回,");
}

TEST(NavHistoryParse, TakesRecordZeroFromTheLastTenCharacters) {
    auto recordZero = [](const char* cell) {
        return ParseNavPage(Table(Row("2017-03-27", "1.0000", cell))).oldestChange;
    };
    EXPECT_EQ(recordZero("<td class='tor bold bck'>0.00%</td>"), "0.00");
    EXPECT_EQ(recordZero("<td class='tor bold grn'>-17.27%</td>"), "-17.27");
    EXPECT_EQ(recordZero("<td class='tor bold red'>123.45%</td>"), "123.45");
    // Nine characters fit; ten leave no ">" in the tail, and the parse fails.
    EXPECT_EQ(recordZero("<td>123456789%</td>"), "123456789");
    const NavPage tooLong =
        ParseNavPage(Table(Row("2017-03-27", "1.0000", "<td>1234567890%</td>")));
    EXPECT_TRUE(tooLong.oldestChange.isNull());
    EXPECT_TRUE(tooLong.records.isEmpty());
    EXPECT_FALSE(tooLong.complete);
}

TEST(NavHistoryParse, DatesAndCellsAsTheProviderWritesThem) {
    // A row whose date is not a date (here the newest) ends the page; the
    // older days before it are kept.
    const QString page = Table(
        Row("估值日", "0.9981", "<td class='tor bold red'>0.19%</td>") +
        Row("2017/3/28", "1.0200", "<td class='tor bold red'>2.00%</td>", "每份派现金0.0800元") +
        Row("2017-03-27", "1.0000", "<td class='tor bold red'>0.19%</td>"));
    const NavPage parsed = ParseNavPage(page);
    EXPECT_EQ(parsed.oldestChange, "0.19");
    EXPECT_EQ(parsed.records,
              QStringList({"2017/3/27,1.0000,开放申购,开放赎回,",
                           "2017/3/28,1.0200,开放申购,开放赎回,每份派现金0.0800元"}));
    EXPECT_FALSE(parsed.complete);
    EXPECT_EQ(parsed.failure, NavFailure::BadRow);
    EXPECT_EQ(parsed.detail, "“估值日”不是日期");
}

// A date or NAV cell that does not read as a date or a positive number fails
// the page, naming the cell: a "," or "|" in it would otherwise shift the
// fields of its day or split the day in two. The day before it is kept.
TEST(NavHistoryParse, DatesAndNavsThatDoNotReadFailThePage) {
    struct Case {
        const char* date;
        const char* nav;
        const char* detail;  // empty: the day reads
    };
    const Case cases[] = {
        {"2017-03-28|2017-03-29", "1.0200", "“2017-03-28|2017-03-2”不是日期"},
        {"2017-03-28,1.0200", "1.0200", "“2017-03-28,1.0200”不是日期"},
        {"2017/3/28", "1.0200", ""},
        {"2017-02-30", "1.0200", "“2017-02-30”不是日期"},
        {"", "1.0200", "“”不是日期"},
        {"2017-03-28", "1,0200", "2017/3/28 的单位净值“1,0200”不是净值"},
        {"2017-03-28", "1.02|1.03", "2017/3/28 的单位净值“1.02|1.03”不是净值"},
        {"2017-03-28", "", "2017/3/28 的单位净值“”不是净值"},
        {"2017-03-28", "0", "2017/3/28 的单位净值“0”不是净值"},
        {"2017-03-28", "-1.0200", "2017/3/28 的单位净值“-1.0200”不是净值"},
        {"2017-03-28", "1.0200*", "2017/3/28 的单位净值“1.0200*”不是净值"},
        {"2017-03-28", "1e999", "2017/3/28 的单位净值“1e999”不是净值"},
        {"2017-03-28", "---", "2017/3/28 的单位净值“---”不是净值"},
        {" 2017-03-28 ", " 1.0200 ", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.date) + " / " + c.nav);
        const NavPage page = ParseNavPage(
            Table(Row("2017-03-29", "1.0300", "<td class='tor bold red'>0.98%</td>") +
                  Row(c.date, c.nav, "<td class='tor bold red'>2.00%</td>") +
                  Row("2017-03-27", "1.0000", "<td class='tor bold grn'>-1.23%</td>")));
        const QString detail = QString::fromUtf8(c.detail);
        EXPECT_EQ(page.complete, detail.isEmpty());
        EXPECT_EQ(page.failure, detail.isEmpty() ? NavFailure::None : NavFailure::BadRow);
        EXPECT_EQ(page.detail, detail);
        EXPECT_EQ(page.oldestChange, "-1.23");
        ASSERT_EQ(page.records.size(), detail.isEmpty() ? 3 : 1);
        EXPECT_EQ(page.records[0], "2017/3/27,1.0000,开放申购,开放赎回,");
        for (const QString& record : page.records) EXPECT_EQ(record.split(u',').size(), 5);
    }
    // The oldest row's date does not read, with a change cell and without
    // one: record 0, no day, the date named.
    const std::pair<const char*, const char*> oldestRows[] = {
        {"<td class='tor bold grn'>-1.23%</td>", "-1.23"},
        {"<td class='tor bold'></td>", "0"},
    };
    for (const auto& [change, recordZero] : oldestRows) {
        SCOPED_TRACE(change);
        const NavPage oldest =
            ParseNavPage(Table(Row("2017-03-28", "1.0200", "<td class='tor bold red'>2.00%</td>") +
                               Row("2017-03-27|x", "1.0000", change)));
        EXPECT_EQ(oldest.oldestChange, recordZero);
        EXPECT_TRUE(oldest.records.isEmpty());
        EXPECT_EQ(oldest.failure, NavFailure::BadRow);
        EXPECT_EQ(oldest.detail, "“2017-03-27|x”不是日期");
    }
}

TEST(NavHistoryParse, LineBreaksInCellsDoNotReachTheRecords) {
    // Each record becomes a line of the plan file.
    const QString page = Table(QStringLiteral(
        "<tr><td>2017-03-28\r\n</td><td class='tor bold'>1.02\n00</td><td class='tor bold'>1.0200"
        "</td><td class='tor bold red'>2.00%</td><td>开放\r\n申购</td><td>\t开放赎回\x7f</td>"
        "<td class='red unbold'>每份派现金\r0.0800元\u2028</td></tr>"));
    EXPECT_EQ(ParseNavHistory(page), "2.00|2017/3/28,1.0200,开放申购,开放赎回,每份派现金0.0800元");
}

TEST(NavHistoryParse, SeparatorsInCellsCannotShiftTheFields) {
    // "," and "|" part the fields and the days of the history string: a
    // provider text holding one keeps it in full-width form.
    const QString page = Table(QStringLiteral(
        "<tr><td>2017-03-28</td><td class='tor bold'>1.0200</td><td class='tor bold'>1.0200"
        "</td><td class='tor bold red'>2.00%</td><td>暂停申购,大额</td><td>开放|赎回</td>"
        "<td class='red unbold'>每份派现金0.0800元,另|注</td></tr>"));
    const QString history = ParseNavHistory(page);
    EXPECT_EQ(history,
              "2.00|2017/3/28,1.0200,暂停申购，大额,开放｜赎回,每份派现金0.0800元，另｜注");
    EXPECT_EQ(history.split(u'|').size(), 2);
    EXPECT_EQ(history.split(u'|')[1].split(u',').size(), 5);
}

TEST(NavHistoryParse, FailuresKeepTheOldestCompleteDays) {
    // No header marker: nothing at all.
    bool complete = true;
    EXPECT_EQ(ParseNavHistory("<html>Service Unavailable</html>", &complete), "");
    EXPECT_FALSE(complete);
    EXPECT_EQ(ParseNavHistory(""), "");
    EXPECT_EQ(ParseNavHistory("var apidata={ content:\"暂无数据!\",records:0,pages:0,curpage:1};"),
              "");

    // The third row, oldest first, has no dividend cell.
    const QString broken =
        Row("2017-03-30", "1.0400", "<td class='tor bold red'>0.97%</td>") +
        QStringLiteral(
            "<tr><td>2017-03-29</td><td class='tor bold'>1.0300</td><td class='tor "
            "bold'>1.0300</td><td class='tor bold red'>0.98%</td><td>开放申购</td>"
            "<td>开放赎回</td></tr>") +
        Row("2017-03-28", "1.0200", "<td class='tor bold red'>2.00%</td>") +
        Row("2017-03-27", "1.0000", "<td class='tor bold grn'>-1.23%</td>");
    EXPECT_EQ(ParseNavHistory(Table(broken), &complete),
              "-1.23|2017/3/27,1.0000,开放申购,开放赎回,|2017/3/28,1.0200,开放申购,开放赎回,");
    EXPECT_FALSE(complete);
    const NavPage page = ParseNavPage(Table(broken));
    EXPECT_EQ(page.records.size(), 2);
    EXPECT_FALSE(page.complete);

    // The oldest row itself is broken: record 0 and nothing else.
    const QString brokenOldest =
        Row("2017-03-28", "1.0200", "<td class='tor bold red'>2.00%</td>") +
        QStringLiteral(
            "<tr><td>2017-03-27</td><td class='tor bold grn'>-1.23%</td><td>开放申购</td></tr>");
    EXPECT_EQ(ParseNavHistory(Table(brokenOldest), &complete), "-1.23");
    EXPECT_FALSE(complete);
}

TEST(NavHistoryParse, EmptyChangeCells) {
    // 161725 opened on 2015-06-05 after three 封闭期 days without a change.
    const QList<NavRow> all = ReadRows("nav/nav_161725_2015-05-27_to_2018-08-29.csv");
    const QList<NavRow> opening = Between(all, "2015-05-27", "2015-06-09");
    ASSERT_EQ(opening.size(), 6);
    for (const char* emptyClass : {"tor bold", "tor bold bck"}) {
        SCOPED_TRACE(emptyClass);
        bool complete = false;
        const QString history =
            ParseNavHistory(RenderTable(opening, QString::fromLatin1(emptyClass)), &complete);
        EXPECT_TRUE(complete);
        EXPECT_EQ(history, Expected("0", opening));
        EXPECT_TRUE(history.startsWith("0|2015/5/27,1.0000,封闭期,封闭期,|"));
    }

    // Year-end rows the provider lists without a change, in the middle and
    // as the oldest day.
    const QList<NavRow> yearEnd = Between(all, "2017-12-28", "2018-01-03");
    ASSERT_EQ(yearEnd.size(), 5);
    EXPECT_EQ(ParseNavHistory(RenderTable(yearEnd)), Expected("4.05", yearEnd));
    const QList<NavRow> fromYearEnd = Between(all, "2017-12-31", "2018-01-03");
    EXPECT_EQ(ParseNavHistory(RenderTable(fromYearEnd)), Expected("0", fromYearEnd));

    // An oldest day without a change but with a conversion text.
    QList<NavRow> conversion = Between(all, "2017-09-26", "2017-09-28");
    conversion[0].change.clear();
    EXPECT_EQ(ParseNavHistory(RenderTable(conversion)), Expected("0", conversion));
}

TEST(NavHistoryParse, RealPages) {
    const QString july = FixturePage("nav/eastmoney_lsjz_page_2015-07_exact.txt");
    const NavPage page = ParseNavPage(july);
    EXPECT_TRUE(page.complete);
    EXPECT_EQ(page.totalRecords, 868);
    EXPECT_EQ(page.pages, 44);
    EXPECT_EQ(page.oldestChange, "-11.69");
    ASSERT_EQ(page.records.size(), 20);
    EXPECT_EQ(page.records.front(), "2015/6/29,0.5890,场内买入,场内卖出,");
    EXPECT_EQ(page.records[1], "2015/6/30,0.6680,场内买入,场内卖出,");
    EXPECT_EQ(page.records[9], "2015/7/10,0.2880,场内买入,场内卖出,");
    EXPECT_EQ(page.records.back(), "2015/7/24,0.3600,场内买入,场内卖出,");
    bool complete = false;
    EXPECT_EQ(ParseNavHistory(july, &complete), "-11.69|" + page.records.join('|'));
    EXPECT_TRUE(complete);

    const NavPage april =
        ParseNavPage(FixturePage("nav/eastmoney_lsjz_005827_2023-04_recompacted.txt"));
    EXPECT_TRUE(april.complete);
    EXPECT_EQ(april.totalRecords, 1092);
    EXPECT_EQ(april.pages, 55);
    EXPECT_EQ(april.oldestChange, "-0.20");
    ASSERT_EQ(april.records.size(), 20);
    EXPECT_EQ(april.records.front(), "2023/3/15,2.1320,限制大额申购,开放赎回,");
    EXPECT_EQ(april.records[16], "2023/4/7,2.1601,暂停申购,暂停赎回,");
    EXPECT_EQ(april.records[17], "2023/4/10,2.1480,暂停申购,暂停赎回,");
    EXPECT_EQ(april.records.back(), "2023/4/12,2.0934,限制大额申购,开放赎回,");

    // The sixth row from the top lacks its NAV cells: the fourteen oldest
    // days remain.
    QString broken = july;
    broken.replace("<td>2015-07-17</td><td class='tor bold'>", "<td>2015-07-17</td><td>");
    const NavPage partial = ParseNavPage(broken);
    EXPECT_FALSE(partial.complete);
    EXPECT_EQ(partial.totalRecords, 868);
    EXPECT_EQ(partial.oldestChange, "-11.69");
    EXPECT_EQ(partial.records, page.records.mid(0, 14));

    // A body cut short loses its oldest rows first, record 0 with them.
    const NavPage cut = ParseNavPage(july.left(july.indexOf("2015-07-17")));
    EXPECT_TRUE(cut.oldestChange.isNull());
    EXPECT_TRUE(cut.records.isEmpty());
    EXPECT_EQ(cut.totalRecords, -1);
}

TEST(NavHistoryParse, WholeHistoriesRoundTrip) {
    // Conversions, 封闭期, suspended trading and non-trading days (161725);
    // cash dividends and limited purchases (006675).
    const QList<NavRow> liquor = ReadRows("nav/nav_161725_2015-05-27_to_2018-08-29.csv");
    ASSERT_EQ(liquor.size(), 798);
    bool complete = false;
    const QString history = ParseNavHistory(RenderPage(liquor, 798, 1), &complete);
    EXPECT_TRUE(complete);
    EXPECT_EQ(history, Expected("0", liquor));
    EXPECT_TRUE(
        history.contains("|2017/9/26,1.0000,暂停申购,暂停赎回,每份基金份额折算1.494202845份|"));

    const QList<NavRow> consumer = ReadRows("nav/nav_006675_2024.csv");
    ASSERT_EQ(consumer.size(), 240);
    const QString dividends = ParseNavHistory(RenderPage(consumer, 240, 1), &complete);
    EXPECT_TRUE(complete);
    EXPECT_EQ(dividends, Expected("0.37", consumer));
    EXPECT_TRUE(dividends.contains("|2024/4/29,1.3204,限制大额申购,开放赎回,每份派现金0.0675元|"));
}

// Runs a download to its end on the event loop (at most 10 s).
// progress collects "done/pages" of every progress report.
std::optional<NavDownloadResult> Download(HttpClient& client, const QString& base, const char* code,
                                          QDate start, QDate end, int* calls = nullptr,
                                          QStringList* progress = nullptr) {
    std::optional<NavDownloadResult> result;
    int count = 0;
    QEventLoop loop;
    DownloadNavHistory(
        client, base, code, start, end,
        [&](const NavDownloadResult& r) {
            ++count;
            result = r;
            loop.quit();
        },
        nullptr, 0,
        [&](int done, int pages) {
            if (progress) *progress << QStringLiteral("%1/%2").arg(done).arg(pages);
        });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    if (!result) loop.exec();
    // A second call would come in this window.
    QEventLoop settle;
    QTimer::singleShot(50, &settle, &QEventLoop::quit);
    settle.exec();
    if (calls) *calls = count;
    return result;
}

QString Target(const char* code, int page, int per, const char* sdate, const char* edate) {
    return QStringLiteral("/f10/F10DataApi.aspx?type=lsjz&code=%1&page=%2&per=%3&sdate=%4&edate=%5")
        .arg(QLatin1String(code))
        .arg(page)
        .arg(per)
        .arg(QLatin1String(sdate), QLatin1String(edate));
}

class NavHistoryDownload : public ::testing::Test {
  protected:
    // 161725 from 2015-11-02 to 2015-12-31: 44 trading days, served by a
    // provider that caps the page at 20 rows (pages 3, 2, 1 hold 4, 20 and
    // 20 rows).
    void ServeCapped() {
        for (int page = 1; page <= 3; ++page) {
            const int from = std::max(0, int(days.size()) - 20 * page);
            const int to = int(days.size()) - 20 * (page - 1);
            server.Answer(Prefix(page),
                          RenderPage(days.mid(from, to - from), 44, 3, page).toUtf8());
        }
    }
    QString Prefix(int page) const {
        return QStringLiteral("/f10/F10DataApi.aspx?type=lsjz&code=161725&page=%1&").arg(page);
    }
    std::optional<NavDownloadResult> Run(int* calls = nullptr, QStringList* progress = nullptr) {
        return Download(client, server.BaseUrl(), "161725", QDate(2015, 11, 2), QDate(2015, 12, 31),
                        calls, progress);
    }

    LocalHttpServer server;
    HttpClient client;
    QList<NavRow> days = Between(ReadRows("nav/nav_161725_2015-05-27_to_2018-08-29.csv"),
                                 "2015-11-02", "2015-12-31");
};

TEST_F(NavHistoryDownload, OnePageHoldsTheRange) {
    const QList<NavRow> march = Between(ReadRows("nav/nav_161725_2015-05-27_to_2018-08-29.csv"),
                                        "2017-03-01", "2017-03-31");
    ASSERT_EQ(march.size(), 23);
    server.Answer("/f10/F10DataApi.aspx", RenderPage(march, 23, 1).toUtf8());
    int calls = 0;
    const auto result =
        Download(client, server.BaseUrl(), "161725", QDate(2017, 3, 1), QDate(2017, 3, 31), &calls);
    ASSERT_TRUE(result);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(result->complete);
    EXPECT_FALSE(result->timedOut);
    EXPECT_EQ(result->history, Expected(march.front().change.chopped(1), march));
    EXPECT_EQ(server.RequestedTargets(),
              QStringList{Target("161725", 1, 31, "2017/3/1", "2017/3/31")});
}

TEST_F(NavHistoryDownload, NothingToGet) {
    // An end before the start: no request at all.
    int calls = 0;
    auto result =
        Download(client, server.BaseUrl(), "161725", QDate(2017, 3, 2), QDate(2017, 3, 1), &calls);
    ASSERT_TRUE(result);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(result->history, "");
    EXPECT_FALSE(result->complete);
    EXPECT_EQ(server.Requests(), 0);

    // A range without a trading day: the answer has no table.
    server.Answer("/f10/",
                  "var apidata={ content:\"<table class='w782 comm lsjz'><thead><tr><th "
                  "class='first'>净值日期</th></tr></thead><tbody><tr><td colspan='7' "
                  "align='center'>暂无数据!</td></tr></tbody></table>\",records:0,pages:0,"
                  "curpage:1};");
    result = Download(client, server.BaseUrl(), "161725", QDate(2017, 1, 28), QDate(2017, 1, 29));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->history, "");
    EXPECT_FALSE(result->complete);

    // Whatever status comes, the text is what counts.
    server.Answer("/f10/", "<html>Bad Gateway</html>", "text/html", 502);
    result = Download(client, server.BaseUrl(), "161725", QDate(2017, 3, 1), QDate(2017, 3, 1));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->history, "");
    EXPECT_FALSE(result->timedOut);
}

TEST_F(NavHistoryDownload, CappedPagesComeOldestFirst) {
    ASSERT_EQ(days.size(), 44);
    ServeCapped();
    int calls = 0;
    QStringList progress;
    const auto result = Run(&calls, &progress);
    ASSERT_TRUE(result);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(progress, (QStringList{"1/3", "2/3", "3/3"}));
    EXPECT_TRUE(result->complete);
    EXPECT_EQ(result->history, Expected("0.12", days));
    EXPECT_EQ(server.RequestedTargets(),
              (QStringList{Target("161725", 1, 60, "2015/11/2", "2015/12/31"),
                           Target("161725", 3, 60, "2015/11/2", "2015/12/31"),
                           Target("161725", 2, 60, "2015/11/2", "2015/12/31")}));
}

TEST_F(NavHistoryDownload, PageCountFromTheRecordCount) {
    // An envelope that claims one page but more records than it holds.
    for (int page = 1; page <= 3; ++page) {
        const int from = std::max(0, int(days.size()) - 20 * page);
        const int to = int(days.size()) - 20 * (page - 1);
        server.Answer(Prefix(page), RenderPage(days.mid(from, to - from), 44, 1, page).toUtf8());
    }
    const auto result = Run();
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->complete);
    EXPECT_EQ(result->history, Expected("0.12", days));
    EXPECT_EQ(server.Requests(), 3);
}

TEST_F(NavHistoryDownload, FailingPageStopsWithTheOldestDays) {
    ServeCapped();
    server.Answer(Prefix(2), "<html>Internal Server Error</html>", "text/html", 500);
    QStringList progress;
    auto result = Run(nullptr, &progress);
    ASSERT_TRUE(result);
    EXPECT_EQ(progress, (QStringList{"1/3", "2/3"}));  // the failing page is no progress
    EXPECT_FALSE(result->complete);
    EXPECT_EQ(result->history, Expected("0.12", days.mid(0, 4)));
    EXPECT_EQ(server.Requests(), 3);

    // A malformed row on page 2 (2015-12-02): the rows older than it still
    // count, and nothing newer is fetched.
    QString page2 = RenderPage(days.mid(4, 20), 44, 3, 2);
    page2.replace("<td>2015-12-02</td><td class='tor bold'>", "<td>2015-12-02</td><td>");
    server.Answer(Prefix(2), page2.toUtf8());
    result = Run();
    ASSERT_TRUE(result);
    EXPECT_FALSE(result->complete);
    ASSERT_EQ(days[22].date, "2015-12-02");
    EXPECT_EQ(result->history, Expected("0.12", days.mid(0, 22)));
    ServeCapped();

    // The oldest page fails: there is no record 0, so nothing.
    server.Drop(Prefix(3));
    result = Run();
    ASSERT_TRUE(result);
    EXPECT_EQ(result->history, "");
    EXPECT_FALSE(result->complete);
    EXPECT_FALSE(result->timedOut);
}

TEST_F(NavHistoryDownload, PagesCutShortOrShortOfRowsAreNotTaken) {
    // A page ends right after a row's last cell opened, without a
    // Content-Length: it reads as whole rows, but the older ones are missing.
    const auto cutAfterRow = [](const QString& page, int rows) {
        const QByteArray bytes = page.toUtf8();
        const QByteArray cell = "<td class='red unbold'>";
        qsizetype at = -1;
        for (int i = 0; i < rows; ++i) at = bytes.indexOf(cell, at + 1);
        return std::make_pair(bytes, int(at + cell.size()));
    };
    const QList<NavRow> march = Between(ReadRows("nav/nav_161725_2015-05-27_to_2018-08-29.csv"),
                                        "2017-03-01", "2017-03-31");
    const auto [single, cut] = cutAfterRow(RenderPage(march, 23, 1), 10);
    server.Cut("/f10/", single, cut);
    auto result =
        Download(client, server.BaseUrl(), "161725", QDate(2017, 3, 1), QDate(2017, 3, 31));
    ASSERT_TRUE(result);
    EXPECT_FALSE(result->complete);
    EXPECT_EQ(result->history, "");

    // One page of three cut short: the days before it are kept, none after.
    server.Clear();
    ServeCapped();
    const auto [page2, cut2] = cutAfterRow(RenderPage(days.mid(4, 20), 44, 3, 2), 10);
    server.Cut(Prefix(2), page2, cut2);
    result = Run();
    ASSERT_TRUE(result);
    EXPECT_FALSE(result->complete);
    EXPECT_EQ(result->history, Expected("0.12", days.mid(0, 4)));

    // Whole tables, but fewer rows than the envelope's record count calls
    // for (a day left out in the middle): also not taken.
    QList<NavRow> gap = days.mid(4, 20);
    gap.removeAt(7);
    server.Answer(Prefix(2), RenderPage(gap, 44, 3, 2).toUtf8());
    result = Run();
    ASSERT_TRUE(result);
    EXPECT_FALSE(result->complete);
    EXPECT_EQ(result->history, Expected("0.12", days.mid(0, 4)));
    QList<NavRow> marchGap = march;
    marchGap.removeAt(11);
    server.Clear();
    server.Answer("/f10/", RenderPage(marchGap, 23, 1).toUtf8());
    result = Download(client, server.BaseUrl(), "161725", QDate(2017, 3, 1), QDate(2017, 3, 31));
    ASSERT_TRUE(result);
    EXPECT_FALSE(result->complete);
    EXPECT_EQ(result->history, "");
}

TEST_F(NavHistoryDownload, TheWholeDownloadHasATimeLimit) {
    // Page 2 is slow; the whole download may take 400 ms, each request 20 s.
    ServeCapped();
    server.Answer(Prefix(2), RenderPage(days.mid(4, 20), 44, 3, 2).toUtf8(),
                  "text/html; charset=utf-8", 200, 3000);
    std::optional<NavDownloadResult> result;
    QElapsedTimer clock;
    clock.start();
    DownloadNavHistory(
        client, server.BaseUrl(), "161725", QDate(2015, 11, 2), QDate(2015, 12, 31),
        [&](const NavDownloadResult& r) { result = r; }, nullptr, 400);
    ASSERT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 5000));
    EXPECT_LT(clock.elapsed(), 1500);
    EXPECT_TRUE(result->overTime);
    EXPECT_FALSE(result->timedOut);
    EXPECT_FALSE(result->complete);
    EXPECT_EQ(result->history, Expected("0.12", days.mid(0, 4)));
    EXPECT_EQ(NavFailureMessage(*result), QString::fromUtf8(kMsgNavOverTime));
}

TEST_F(NavHistoryDownload, OverlappingPagesAddNoDayTwice) {
    // The provider published a day between the requests: page 1 came while
    // it had 43 days, pages 3 and 2 after the 44th, shifted by one row, so
    // page 2 repeats the oldest day of page 1.
    server.Answer(Prefix(1), RenderPage(days.mid(23, 20), 43, 3, 1).toUtf8());
    server.Answer(Prefix(2), RenderPage(days.mid(4, 20), 44, 3, 2).toUtf8());
    server.Answer(Prefix(3), RenderPage(days.mid(0, 4), 44, 3, 3).toUtf8());
    const auto result = Run();
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->complete);
    EXPECT_EQ(result->history, Expected("0.12", days.mid(0, 43)));
}

TEST_F(NavHistoryDownload, TimeOut) {
    client.SetTimeout(200);
    server.Hang("/f10/");
    auto result = Run();
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->timedOut);
    EXPECT_FALSE(result->complete);
    EXPECT_EQ(result->history, "");

    ServeCapped();
    server.Hang(Prefix(2));
    result = Run();
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->timedOut);
    EXPECT_FALSE(result->complete);
    EXPECT_EQ(result->history, Expected("0.12", days.mid(0, 4)));
}

}  // namespace
}  // namespace tovira
