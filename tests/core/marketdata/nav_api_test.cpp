// The JSON NAV-history endpoint: its answers as the provider published them
// in 2026, and whole downloads through it, which must give exactly the rows
// the HTML table gave for the same days.

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>
#include <optional>

#include "core/ledger/plan_settings.h"
#include "core/marketdata/http_client.h"
#include "core/marketdata/nav_api_pages.h"
#include "core/marketdata/nav_history.h"
#include "core/marketdata/nav_import.h"
#include "core/storage/plan_file.h"
#include "support/test_support.h"

namespace tovira {
namespace {

using test::ApiPage;
using test::Between;
using test::LocalHttpServer;
using test::NavRow;

// The answers of the published fixtures (the line after each "# N)" note).
QString Fixture(const char* name, int answer = 0) {
    const QStringList lines =
        QString::fromUtf8(test::ReadFileBytes(test::DataPath(name))).split(QLatin1Char('\n'));
    QStringList bodies;
    for (const QString& line : lines) {
        if (line.startsWith(QLatin1Char('{'))) bodies << line.trimmed();
    }
    return bodies.value(answer);
}

TEST(NavApiPage, ReadsThePublishedAnswersByFieldName) {
    // August 2026: fourteen fields, one of them new.
    const NavPage page = ParseNavApiPage(Fixture("nav-2026/lsjz_api_json_110022_2026.json"));
    EXPECT_TRUE(page.complete);
    EXPECT_EQ(page.totalRecords, 506);
    EXPECT_EQ(page.rows, 2);
    EXPECT_EQ(page.oldestChange, "3.86");
    EXPECT_EQ(page.records, QStringList({"2026/1/29,3.4200,开放申购,开放赎回,",
                                         "2026/1/30,3.3480,开放申购,开放赎回,"}));

    // 2020: thirteen fields and no envelope counts.
    const NavPage old = ParseNavApiPage(Fixture("nav-2026/lsjz_api_json_full_2020.json"));
    EXPECT_TRUE(old.complete);
    EXPECT_EQ(old.totalRecords, -1);
    EXPECT_EQ(old.records.first(), "2020/5/7,1.0973,开放申购,开放赎回,");
    EXPECT_EQ(old.oldestChange, "-0.52");

    // October 2026, trimmed to the fields it had: no change gives 0.
    const NavPage trimmed =
        ParseNavApiPage(Fixture("nav-2026/lsjz_api_json_error_shapes_2026.txt", 2));
    EXPECT_TRUE(trimmed.complete);
    EXPECT_EQ(trimmed.records, QStringList({"2026/9/30,4.7800,开放申购,开放赎回,"}));
    EXPECT_EQ(trimmed.oldestChange, "0");
}

TEST(NavApiPage, EveryUnusableAnswerIsNamed) {
    const QString good = Fixture("nav-2026/lsjz_api_json_110022_2026.json");
    auto withRow = [&](const char* from, const char* to) {
        QString text = good;
        text.replace(QString::fromUtf8(from), QString::fromUtf8(to));
        return text;
    };
    const struct {
        QString answer;
        NavFailure failure;
        const char* detail;
    } cases[] = {
        {Fixture("nav-2026/lsjz_api_json_error_shapes_2026.txt", 0), NavFailure::Refused, "-999"},
        {Fixture("nav-2026/lsjz_api_json_error_shapes_2026.txt", 1), NavFailure::NoDays, ""},
        {Fixture("nav-2026/lsjz_api_json_moneyfund_000905_2026.json"), NavFailure::MoneyFund, ""},
        {QStringLiteral("<html><body>404 Not Found</body></html>"), NavFailure::NotData, ""},
        {QString(), NavFailure::NotData, ""},
        {QStringLiteral("{\"Data\":{\"LSJZList\":[]}"), NavFailure::Malformed, nullptr},
        {QStringLiteral("{\"Data\":{},\"ErrCode\":0}"), NavFailure::Malformed, ""},
        {QStringLiteral("{\"Data\":\"\",\"ErrCode\":0}"), NavFailure::Malformed, ""},
        {withRow("\"DWJZ\":\"3.4200\"", "\"DWJZ\":null"), NavFailure::BadRow, nullptr},
        {withRow("\"DWJZ\":\"3.4200\"", "\"DWJZ\":\"3.42|0\""), NavFailure::BadRow, nullptr},
        {withRow("\"DWJZ\":\"3.4200\"", "\"DWJZ\":\"0\""), NavFailure::BadRow, nullptr},
        {withRow("\"DWJZ\":\"3.4200\"", "\"DWJZ\":\"1e999\""), NavFailure::BadRow,
         "2026/1/29 的单位净值“1e999”不是净值"},
        {withRow("\"FSRQ\":\"2026-01-29\"", "\"FSRQ\":\"2026-01-2,9\""), NavFailure::BadRow,
         "“2026-01-2,9”不是日期"},
        {withRow("\"FSRQ\":\"2026-01-29\"", "\"FSRQ\":null"), NavFailure::BadRow, "第2条没有日期"},
        // Rows must come newest first, one per day.
        {withRow("\"FSRQ\":\"2026-01-29\"", "\"FSRQ\":\"2026-01-30\""), NavFailure::Malformed,
         nullptr},
        {withRow("\"FSRQ\":\"2026-01-29\"", "\"FSRQ\":\"2026-01-31\""), NavFailure::Malformed,
         nullptr},
    };
    for (const auto& c : cases) {
        const NavPage page = ParseNavApiPage(c.answer);
        EXPECT_EQ(page.failure, c.failure) << c.answer.left(120).toStdString();
        EXPECT_FALSE(page.complete) << c.answer.left(120).toStdString();
        if (c.detail) {
            EXPECT_EQ(page.detail, QString::fromUtf8(c.detail));
        }
    }
    // A bad newer day keeps the older days before it.
    const NavPage partial = ParseNavApiPage(withRow("\"DWJZ\":\"3.3480\"", "\"DWJZ\":\"\""));
    EXPECT_EQ(partial.records, QStringList({"2026/1/29,3.4200,开放申购,开放赎回,"}));
    EXPECT_EQ(partial.detail, "2026/1/30 的单位净值“”不是净值");

    // An answer cut anywhere is never taken, whatever it holds by then.
    for (int cut = 0; cut < good.size(); ++cut) {
        const NavPage page = ParseNavApiPage(good.left(cut));
        ASSERT_FALSE(page.complete) << cut;
        ASSERT_TRUE(page.records.isEmpty()) << cut;
    }
}

TEST(NavApiPage, ProviderTextsCannotSplitARecord) {
    const NavPage page =
        ParseNavApiPage(ApiPage({{"2024-04-29", "1.3204", "1.3204", "0.10%",
                                  "限制大额申购,单日100元", "开放|赎回", "每份派现金0.0675元\r\n"}},
                                1));
    ASSERT_TRUE(page.complete);
    EXPECT_EQ(
        page.records,
        QStringList({"2024/4/29,1.3204,限制大额申购，单日100元,开放｜赎回,每份派现金0.0675元"}));
    EXPECT_EQ(page.oldestChange, "0.10");
}

TEST(NavApiUrl, AsksForTwentyRowsOfTheRangeWithTheFundsPageAsReferer) {
    EXPECT_EQ(NavHistoryApiUrl(QStringLiteral("https://api.example/"), "006675", QDate(2024, 1, 1),
                               QDate(2024, 12, 31), 3)
                  .toEncoded(),
              "https://api.example/f10/lsjz?fundCode=006675&pageIndex=3&pageSize=20"
              "&startDate=2024-01-01&endDate=2024-12-31");
    EXPECT_EQ(NavHistoryApiReferer("006675"), "https://fundf10.eastmoney.com/jjjz_006675.html");
}

class NavApiDownload : public ::testing::Test {
  protected:
    void SetUp() override {
        funds.insert("006675", test::ReadApiRows("nav-2026/raw_lsjzjson_006675_2024.csv"));
        funds.insert("161128", test::ReadApiRows("nav-2026/raw_lsjzjson_161128_2024.csv"));
        test::ServeApi(server, funds);
    }
    std::optional<NavDownloadResult> Run(const char* code, QDate start, QDate end,
                                         QStringList* progress = nullptr) {
        std::optional<NavDownloadResult> result;
        QEventLoop loop;
        DownloadNavHistoryFrom(
            NavSource::Api, client, server.BaseUrl(), QString::fromLatin1(code), start, end,
            [&](const NavDownloadResult& r) {
                result = r;
                loop.quit();
            },
            nullptr, 0,
            [&](int done, int pages) {
                if (progress) *progress << QStringLiteral("%1/%2").arg(done).arg(pages);
            });
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        if (!result) loop.exec();
        return result;
    }
    // The rows and row 1's Increase in a ledger, as the import writes them.
    static std::unique_ptr<LedgerModel> Imported(const NavDownloadResult& result) {
        auto ledger = std::make_unique<LedgerModel>();
        ImportNavHistory(*ledger, result.history);
        return ledger;
    }

    QMap<QString, QList<NavRow>> funds;
    LocalHttpServer server;
    HttpClient client;
};

TEST_F(NavApiDownload, AYearOf006675GivesTheGoldenPlanByteForByte) {
    QStringList progress;
    const auto result = Run("006675", QDate(2024, 1, 1), QDate(2024, 12, 31), &progress);
    ASSERT_TRUE(result);
    ASSERT_TRUE(result->complete) << NavFailureMessage(*result).toStdString();
    EXPECT_FALSE(result->withoutStatus);
    EXPECT_EQ(progress.size(), 12);  // 240 days, 20 a page
    EXPECT_EQ(progress.last(), "12/12");
    EXPECT_EQ(server.Requests(), 12);

    // The golden plans were made from the HTML table: the same settings and
    // the downloaded rows must be saved as the same bytes.
    const QString golden = test::DataPath("golden/006675-default.ini");
    LedgerModel goldenLedger;
    PlanSettings settings;
    ASSERT_EQ(OpenPlanFile(golden, goldenLedger, settings, {}).result, OpenResult::Opened);
    const auto imported = Imported(*result);
    LedgerModel& ledger = *imported;
    EXPECT_EQ(ledger.LastRow(), 240);
    EXPECT_EQ(ledger.Cell(1, Column::DailyChange), "0.37");
    QTemporaryDir dir;
    const QString saved = dir.filePath("006675.ini");
    ASSERT_TRUE(SavePlanFileAt(ledger, settings, Mode::Theory, saved, "006675").Saved());
    EXPECT_EQ(test::ReadFileBytes(saved), test::ReadFileBytes(golden));
}

TEST_F(NavApiDownload, SuspendedPurchasesStayOnTheirDays) {
    const auto result = Run("161128", QDate(2024, 1, 1), QDate(2024, 12, 31));
    ASSERT_TRUE(result && result->complete);
    const auto imported = Imported(*result);
    const LedgerModel& ledger = *imported;
    const QList<NavRow>& rows = funds["161128"];
    ASSERT_EQ(ledger.LastRow(), rows.size());
    int suspended = 0;
    for (int i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i].date.toStdString());
        EXPECT_EQ(ReadLedgerDate(ledger.Cell(i + 1, Column::Date)),
                  QDate::fromString(rows[i].date, QStringLiteral("yyyy-MM-dd")));
        EXPECT_EQ(ledger.Cell(i + 1, Column::NetValue), rows[i].nav);
        EXPECT_EQ(ledger.Cell(i + 1, Column::PurchaseStatus), rows[i].purchase);
        EXPECT_EQ(ledger.Cell(i + 1, Column::RedeemStatus), rows[i].redeem);
        suspended += rows[i].purchase == QStringLiteral("暂停申购");
    }
    EXPECT_GT(suspended, 100);
}

TEST_F(NavApiDownload, APageShortOfItsRowsStopsWithTheOlderDaysKept) {
    // Page 2 of 44 days (3 pages) comes with 19 rows: the provider lost one.
    const QList<NavRow> days = Between(funds["006675"], "2024-01-01", "2024-03-13");
    ASSERT_EQ(days.size(), 44);
    server.Answer(QStringLiteral("/f10/lsjz?fundCode=006675&pageIndex=2&"),
                  ApiPage(days.mid(5, 19), 44, 2).toUtf8(), "application/json");
    const auto result = Run("006675", QDate(2024, 1, 1), QDate(2024, 3, 13));
    ASSERT_TRUE(result);
    EXPECT_FALSE(result->complete);
    EXPECT_EQ(result->failure, NavFailure::Incomplete);
    EXPECT_EQ(NavFailureStatus(*result), 3);
    EXPECT_EQ(Imported(*result)->LastRow(), 4);  // page 3: the oldest days, whole
    EXPECT_TRUE(NavSourceUnreachable(*result));

    // Nothing in the range, a money fund: told apart from a failing source.
    const auto none = Run("006675", QDate(2025, 1, 1), QDate(2025, 1, 31));
    ASSERT_TRUE(none);
    EXPECT_EQ(std::make_pair(none->failure, NavFailureStatus(*none)),
              std::make_pair(NavFailure::NoDays, 4));
    EXPECT_FALSE(NavSourceUnreachable(*none));
    funds.insert("000905", funds["006675"]);
    test::ServeApi(server, funds);
    const auto money = Run("000905", QDate(2024, 1, 1), QDate(2024, 1, 31));
    ASSERT_TRUE(money);
    EXPECT_EQ(std::make_pair(money->failure, NavFailureStatus(*money)),
              std::make_pair(NavFailure::MoneyFund, 1));
    EXPECT_EQ(money->history, "");
    EXPECT_EQ(NavFailureMessage(*money), QString::fromUtf8(kMsgNavMoneyFund));
}

}  // namespace
}  // namespace tovira
