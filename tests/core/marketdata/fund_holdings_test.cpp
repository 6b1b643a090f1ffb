#include "core/marketdata/fund_holdings.h"

#include <gtest/gtest.h>

#include "core/marketdata/estimate_fixtures.h"

namespace tovira {
namespace {

// The lines of the published answers in the file, comments left out.
QStringList FixtureLines(const char* file) {
    QStringList lines;
    for (const QByteArray& body : test::FixtureBodies(file))
        lines += QString::fromUtf8(body).split(u'\n');
    return lines;
}

const QString kPosition = FixtureLines("holdings_position.txt").value(0);

// The archive page's answer around the given table markup.
QString Page(const QString& content) {
    return QStringLiteral("var apidata={ content:\"") + content +
           QStringLiteral("\",arryear:[2025,2024],curyear:2025};");
}

// The 005827 box of the fixture (2025-12-31), its rows replaced when given.
QString Box(const QStringList& rows = {}) {
    const QStringList lines = FixtureLines("holdings_jjcc.txt");
    return lines.mid(0, 5).join(QString()) + QStringLiteral("<tbody>") +
           (rows.isEmpty() ? lines.mid(6, 2) : rows).join(QString()) +
           QStringLiteral("</tbody></table></div></div>");
}

QString Summary(const HoldingsReading& r) {
    if (!r.holdings) return QStringLiteral("failed %1: %2").arg(int(r.failure)).arg(r.detail);
    QStringList out{r.holdings->reportDate.toString(Qt::ISODate)};
    for (const Holding& h : r.holdings->stocks) {
        out << QStringLiteral("%1.%2 %3 %4").arg(h.market, h.code, h.name).arg(h.weightPct);
    }
    return out.join(QStringLiteral(" | "));
}

QString Failure(EstimateFailure f, const char* detail) {
    return QStringLiteral("failed %1: %2").arg(int(f)).arg(QString::fromUtf8(detail));
}

TEST(FundHoldings, UrlsAndThePageHeaders) {
    EXPECT_EQ(FundPositionUrl("http://127.0.0.1:9/", "005827").toString(),
              "http://127.0.0.1:9/FundMNewApi/FundMNInverstPosition?FCODE=005827&deviceid=Wap&"
              "plat=WAP&product=EFund&version=2.0.0");
    EXPECT_EQ(HoldingsPageUrl("https://f10.example", "005827").toString(),
              "https://f10.example/FundArchivesDatas.aspx?type=jjcc&code=005827&topline=10&year=&"
              "month=");
    const HttpHeaders headers = HoldingsPageHeaders("005827");
    ASSERT_EQ(headers.size(), 2u);
    EXPECT_EQ(headers[0].second, "https://fundf10.eastmoney.com/ccmx_005827.html");
    EXPECT_EQ(headers[1].first, "X-Requested-With");
}

TEST(FundHoldings, QuoteMarketByTheCodesForm) {
    const std::pair<const char*, const char*> cases[] = {
        {"600519", "1"}, {"510300", "1"},  {"900901", "1"}, {"920001", "0"}, {"000001", "0"},
        {"300750", "0"}, {"159995", "0"},  {"430047", "0"}, {"830799", "0"}, {"00700", "116"},
        {"NVDA", ""},    {"60051", "116"}, {"6005190", ""}, {"", ""},        {"700519", ""},
    };
    for (const auto& [code, market] : cases) EXPECT_EQ(QuoteMarketOfCode(code), market) << code;
}

TEST(FundHoldings, PositionAnswers) {
    QString noExchange = kPosition;
    noExchange.replace(QStringLiteral("\"NEWTEXCH\":\"0\""), QStringLiteral("\"NEWTEXCH\":\"\""));
    QString numbers = kPosition;
    numbers.replace(QStringLiteral("\"JZBL\":\"9.97\""), QStringLiteral("\"JZBL\":9.5"));
    numbers.replace(QStringLiteral("\"NEWTEXCH\":\"0\""), QStringLiteral("\"NEWTEXCH\":116"));
    QString nullWeight = kPosition;
    nullWeight.replace(QStringLiteral("\"JZBL\":\"9.90\""), QStringLiteral("\"JZBL\":null"));
    QString noDate = kPosition;
    noDate.replace(QStringLiteral("2026-03-31"), QStringLiteral("2026-02-30"));
    const std::pair<QString, QString> cases[] = {
        {kPosition,
         "2026-03-31 | 0.300390 天华新能 9.97 | 0.002738 中矿资源 9.94 | 0.002240 盛新锂能 9.9"},
        // A missing exchange comes from the code; a number is taken as given.
        {noExchange,
         "2026-03-31 | 0.300390 天华新能 9.97 | 0.002738 中矿资源 9.94 | "
         "0.002240 盛新锂能 9.9"},
        {numbers,
         "2026-03-31 | 116.300390 天华新能 9.5 | 116.002738 中矿资源 9.94 | "
         "116.002240 盛新锂能 9.9"},
        {R"({"Datas":{"fundStocks":[],"fundboods":[]},"ErrCode":0,"Expansion":"2026-03-31"})",
         Failure(EstimateFailure::NoEstimate, "no stock holdings disclosed")},
        {R"({"Datas":null,"ErrCode":0,"Success":true})",
         Failure(EstimateFailure::NoEstimate, "no holdings disclosed")},
        {R"({"Datas":null,"ErrCode":61113,"ErrMsg":"无数据","Success":false})",
         Failure(EstimateFailure::NoEstimate, "ErrCode 61113 无数据")},
        {R"({"Datas":{"fundStocks":{"GPDM":"600519"}},"ErrCode":0})",
         Failure(EstimateFailure::Unreadable, "fundStocks")},
        {nullWeight, Failure(EstimateFailure::Unreadable, "fundStocks[2]")},
        {noDate, Failure(EstimateFailure::Unreadable, "Expansion")},
        {kPosition.left(kPosition.size() - 40),
         Failure(EstimateFailure::Unreadable, "not a JSON object")},
        {"<html><title>404 Not Found</title></html>",
         Failure(EstimateFailure::Unreadable, "not a JSON object")},
    };
    for (const auto& [body, expected] : cases) {
        EXPECT_EQ(Summary(ParseFundPosition(body)), expected) << body.left(60).toStdString();
    }
}

TEST(FundHoldings, ArchivePageReadsTheNewestQuarterByItsHeadings) {
    const QStringList lines = FixtureLines("holdings_jjcc.txt");
    const QString q4 = Box();
    QString q3 = Box({lines[7]});
    q3.replace(QStringLiteral("2025-12-31"), QStringLiteral("2025-09-30"));
    // The ETF table has two more columns before the weight.
    QString etf = Box({lines[11]});
    etf.replace(lines[4], lines[10]);
    QString escaped = q4;
    escaped.replace(QStringLiteral("</"), QStringLiteral("<\\/"));
    QString noDate = q4;
    noDate.replace(QStringLiteral("2025-12-31"), QString());
    QString dashWeight = q4;
    dashWeight.replace(QStringLiteral("8.12%"), QStringLiteral("--"));

    const std::pair<QString, QString> cases[] = {
        {Page(q4), "2025-12-31 | 116.00700 腾讯控股 9.88 | 1.600519 贵州茅台 8.12"},
        {Page(q4 + q3), "2025-12-31 | 116.00700 腾讯控股 9.88 | 1.600519 贵州茅台 8.12"},
        {Page(escaped), "2025-12-31 | 116.00700 腾讯控股 9.88 | 1.600519 贵州茅台 8.12"},
        {Page(etf), "2025-12-31 | 1.600089 特变电工 9.76"},
        // The US row's exchange is only in its link.
        {Page(Box({lines[12]})), "2025-12-31 | 105.NVDA 英伟达 8.51"},
        {Page(QString()), Failure(EstimateFailure::NoEstimate, "no stock holdings published")},
        {Page(Box({QStringLiteral("<tr></tr>")})),
         Failure(EstimateFailure::NoEstimate, "no stock holdings published")},
        {Page(noDate), Failure(EstimateFailure::Unreadable, "report date")},
        {Page(dashWeight), Failure(EstimateFailure::Unreadable, "row 2")},
        {Page(q4).left(Page(q4).indexOf(QStringLiteral("贵州茅台"))),
         Failure(EstimateFailure::Unreadable, "content")},
        {Page(q4.left(q4.indexOf(QStringLiteral("贵州茅台")))),
         Failure(EstimateFailure::Unreadable, "table")},
        {Page(Box({lines[7].left(lines[7].indexOf(QStringLiteral("</td><td class='tor'>8.12")))})),
         Failure(EstimateFailure::Unreadable, "tr")},
        {Page(Box({QStringLiteral("<tr><td>1</td><td>600519</tr>")})),
         Failure(EstimateFailure::Unreadable, "td")},
        {"<html>404</html>", Failure(EstimateFailure::Unreadable, "content")},
    };
    for (const auto& [body, expected] : cases) {
        EXPECT_EQ(Summary(ParseHoldingsPage(body)), expected) << body.right(80).toStdString();
    }
}

}  // namespace
}  // namespace tovira
