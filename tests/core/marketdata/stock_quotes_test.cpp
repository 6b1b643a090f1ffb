#include "core/marketdata/stock_quotes.h"

#include <gtest/gtest.h>

#include "core/common/gbk_codec.h"
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

// "market.code change time" per quote, or the failure.
QString Summary(const QuoteBatch& b) {
    if (!b.ok) return QStringLiteral("failed %1: %2").arg(int(b.failure)).arg(b.detail);
    QStringList out;
    for (const StockQuote& q : b.quotes) {
        out << QStringLiteral("%1.%2 %3 %4")
                   .arg(q.market, q.code)
                   .arg(q.changePct)
                   .arg(q.time.toString(Qt::ISODate));
    }
    return out.join(QStringLiteral(" | "));
}

QString Failure(const char* detail) {
    return QStringLiteral("failed %1: %2")
        .arg(int(EstimateFailure::Unreadable))
        .arg(QString::fromUtf8(detail));
}

TEST(StockQuotes, IdsSymbolsAndUrls) {
    const std::tuple<const char*, const char*, const char*, const char*> cases[] = {
        {"600519", "1", "1.600519", "sh600519"},
        {"000858", "0", "0.000858", "sz000858"},
        {"830799", "0", "0.830799", "bj830799"},
        {"920001", "0", "0.920001", "bj920001"},
        {"00700", "116", "116.00700", "hk00700"},
        {"NVDA", "105", "105.NVDA", ""},
        {"NVDA", "", "", ""},
    };
    for (const auto& [code, market, id, symbol] : cases) {
        const Holding h{code, {}, 1, market};
        EXPECT_EQ(QuoteId(h), id);
        EXPECT_EQ(TextQuoteSymbol(h), symbol);
    }
    EXPECT_EQ(QuoteBatchUrl("https://q.example/", {"1.600519", "116.00700"}).toString(),
              "https://q.example/api/qt/ulist.np/get?fltt=2&fields=f2,f3,f12,f13,f14,f124&"
              "secids=1.600519,116.00700");
    EXPECT_EQ(TextQuoteUrl("http://127.0.0.1:8", {"sh600519", "hk00700"}).toString(),
              "http://127.0.0.1:8/q=sh600519,hk00700");
}

TEST(StockQuotes, BatchAnswers) {
    const QStringList published = FixtureLines("quotes_ulist.txt");
    // 1785133800: 2026-07-27 14:30 in Beijing, 06:30 UTC.
    const QString today = QStringLiteral(
        R"({"rc":0,"data":{"total":3,"diff":[{"f2":1258.99,"f3":0.63,"f12":"600519","f13":1,)"
        R"("f14":"贵州茅台","f124":1785133800},{"f2":"10.77","f3":"-0.65","f12":"000001",)"
        R"("f13":0,"f124":1785133800},{"f2":0,"f3":0,"f12":"000002","f13":0,"f124":1785133800}]}})");
    QString keyed = today;
    keyed.replace(QStringLiteral("\"diff\":[{"), QStringLiteral("\"diff\":{\"0\":{"))
        .replace(QStringLiteral("},{\"f2\":\"10.77\""), QStringLiteral("},\"1\":{\"f2\":\"10.77\""))
        .replace(QStringLiteral("},{\"f2\":0"), QStringLiteral("},\"2\":{\"f2\":0"))
        .replace(QStringLiteral("}]}}"), QStringLiteral("}}}}"));
    const QString both = QStringLiteral(
        "1.600519 0.63 2026-07-27T14:30:00+08:00 | 0.000001 -0.65 2026-07-27T14:30:00+08:00");

    const std::pair<QString, QString> cases[] = {
        {today, both},
        {keyed, both},
        // Without a quote time nothing is known to be today's.
        {published[0], ""},
        {published[1], ""},
        // Before the open and suspended: "-".
        {published[2], ""},
        {published[3], ""},
        {R"({"rc":0,"rt":4,"data":null})", ""},
        {today.left(today.size() - 30), Failure("not a JSON object")},
        {R"({"rc":0,"data":{"diff":[{"f2":1.0,"f3":1.0,"f124":1785133800}]}})", Failure("diff[0]")},
        {R"({"rc":0,"data":{"total":0}})", Failure("diff")},
        {R"({"rc":0,"data":[1]})", Failure("data")},
    };
    for (const auto& [body, expected] : cases) {
        EXPECT_EQ(Summary(ParseQuoteBatch(body)), expected) << body.left(70).toStdString();
    }
}

TEST(StockQuotes, TextServiceAnswersInGbk) {
    const QString published = FixtureLines("quotes_gtimg.txt").mid(0, 3).join(u'\n');
    QString zeroPrice = published;
    zeroPrice.replace(QStringLiteral("~00700~443.400~"), QStringLiteral("~00700~0.000~"));
    QString badTime = published;
    badTime.replace(QStringLiteral("20260727145133"), QStringLiteral("20260732145133"));
    const QString quoted = QStringLiteral(
        "0.159995 0.16 2026-07-27T14:51:33+08:00 | 116.00700 2.02 2026-07-27T14:36:32+08:00");

    const std::pair<QString, QString> cases[] = {
        // The US line is not one of the service's markets asked about.
        {published, quoted},
        {published + QStringLiteral("\nv_pv_none_match=\"1\";\n"), quoted},
        {zeroPrice, "0.159995 0.16 2026-07-27T14:51:33+08:00"},
        {badTime, "116.00700 2.02 2026-07-27T14:36:32+08:00"},
        {QStringLiteral("v_sh600519=\"1~贵州茅台~600519~1258.99\";"), ""},
        {published.left(published.lastIndexOf(u'"')), Failure("statement 3")},
        {QStringLiteral("v_sh600519=1;"), Failure("statement 1")},
        {QStringLiteral("<html>404 Not Found</html>"), Failure("no quotes")},
    };
    for (const auto& [text, expected] : cases) {
        const std::optional<QByteArray> gbk = EncodeGbk(text);
        ASSERT_TRUE(gbk);
        EXPECT_EQ(Summary(ParseTextQuotes(*gbk)), expected) << text.right(60).toStdString();
    }
}

}  // namespace
}  // namespace tovira
