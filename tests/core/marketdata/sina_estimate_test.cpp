#include "core/marketdata/sina_estimate.h"

#include <gtest/gtest.h>

#include "core/common/beijing_time.h"
#include "core/marketdata/estimate_fixtures.h"

using namespace tovira;

namespace {

QByteArray Answer(const char* entry) {
    return QByteArray(
               "/*<script>location.href='//sina.com';</script>*/fundpeek("
               R"({"result":{"status":{"code":0},"data":{"networth":[{"symbol":"000001",)") +
           entry + "}]}}})";
}

}  // namespace

TEST(SinaEstimateTest, ThePublishedAnswer) {
    const QByteArray body = test::FixtureBodies("sina_estimate.txt").value(0);
    const EstimateAttempt a = ReadSinaEstimate(body, QStringLiteral("000001"));
    ASSERT_TRUE(a.estimate.has_value()) << a.detail.toStdString();
    const SourceEstimate& e = *a.estimate;
    EXPECT_EQ(e.source, EstimateSource::Sina);
    // pre_nav is the estimate; the NAV it grew from is the portal's 1.445 of 2026-07-21.
    EXPECT_DOUBLE_EQ(e.nav, 1.446);
    EXPECT_NEAR(e.changePct, 0.0692, 1e-4);
    EXPECT_EQ(e.previousNav, 1.445);
    EXPECT_FALSE(e.previousNavDate.has_value());
    EXPECT_EQ(e.time, ReadBeijingDateTime(u"2026-07-22 10:12:00"));
    EXPECT_TRUE(IsDatedOn(e, QDate(2026, 7, 22)));
    EXPECT_FALSE(IsDatedOn(e, QDate(2026, 7, 23)));

    EXPECT_EQ(SinaEstimateUrl(QStringLiteral("http://127.0.0.1:1"), QStringLiteral("000001"),
                              QStringLiteral("fundpeek")),
              "http://127.0.0.1:1/fundInfo/api/openapi.php/"
              "FdFundService.getEstimateNetworthPic?symbol=000001&callback=fundpeek");
}

TEST(SinaEstimateTest, OtherAnswers) {
    const QByteArray good = test::FixtureBodies("sina_estimate.txt").value(0);
    const auto no = EstimateFailure::NoEstimate;
    const auto bad = EstimateFailure::Unreadable;
    struct Case {
        const char* what;
        QByteArray body;
        std::optional<EstimateFailure> failure;  // none: an estimate
        const char* detail = "";
    };
    const Case cases[] = {
        {"empty form", R"(fundpeek({"result":{"status":{"code":0},"data":{"networth":null}}}))",
         no},
        {"empty list", R"(fundpeek({"result":{"status":{"code":0},"data":{"networth":[]}}});)", no},
        {"with ';' and no comment", good.mid(good.indexOf("*/") + 2) + ";\n", std::nullopt},
        {"cut off", good.chopped(3), bad, "JSONP"},
        {"call not closed", good.chopped(1), bad, "JSONP"},
        {"comment not closed", "/*<script>" + good.mid(good.indexOf("*/") + 2), bad, "JSONP"},
        {"bare JSON", R"({"result":{"status":{"code":0}}})", bad, "JSONP"},
        {"refused", R"(f({"result":{"status":{"code":4,"msg":"x"},"data":{}}}))", no, "4"},
        {"no status", R"(f({"result":{"data":{"networth":null}}}))", bad, "status"},
        {"another fund", QByteArray(good).replace("\"000001\"", "\"000002\""), bad, "000001"},
        {"number texts",
         Answer(R"("min_time":"10:12:00","pre_date":"2026-07-22",)"
                R"("pre_nav":1.446,"growthrate":"0.0007")"),
         std::nullopt},
        {"null growth",
         Answer(R"("min_time":"10:12:00","pre_date":"2026-07-22",)"
                R"("pre_nav":"1.4460","growthrate":null)"),
         no},
        {"a percentage",
         Answer(R"("min_time":"10:12:00","pre_date":"2026-07-22",)"
                R"("pre_nav":"1.4460","growthrate":2.5)"),
         bad, "growthrate"},
        {"growth not a number",
         Answer(R"("min_time":"10:12:00","pre_date":"2026-07-22",)"
                R"("pre_nav":"1.4460","growthrate":"up")"),
         bad, "growthrate"},
        {"zero NAV",
         Answer(R"("min_time":"10:12:00","pre_date":"2026-07-22",)"
                R"("pre_nav":"0","growthrate":0.001)"),
         bad, "pre_nav"},
        {"no min_time", Answer(R"("pre_date":"2026-07-22","pre_nav":"1.4460","growthrate":0.001)"),
         bad, "min_time"},
        {"bad pre_date",
         Answer(R"("min_time":"10:12:00","pre_date":"2026/07/22",)"
                R"("pre_nav":"1.4460","growthrate":0.001)"),
         bad, "pre_date"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const EstimateAttempt a = ReadSinaEstimate(c.body, QStringLiteral("000001"));
        ASSERT_EQ(a.estimate.has_value(), !c.failure.has_value()) << a.detail.toStdString();
        if (a.estimate) {
            EXPECT_GT(a.estimate->nav, 1.4);
            EXPECT_TRUE(IsDatedOn(*a.estimate, QDate(2026, 7, 22)));
            continue;
        }
        EXPECT_EQ(a.failure, *c.failure);
        EXPECT_TRUE(a.detail.contains(QString::fromUtf8(c.detail))) << a.detail.toStdString();
    }
}
