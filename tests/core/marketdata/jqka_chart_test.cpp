#include "core/marketdata/jqka_chart.h"

#include <gtest/gtest.h>

#include "core/common/beijing_time.h"
#include "core/marketdata/estimate_fixtures.h"

using namespace tovira;

TEST(JqkaChartTest, ThePublishedCurves) {
    const QByteArrayList bodies = test::FixtureBodies("jqka_chart.txt");
    ASSERT_EQ(bodies.size(), 2);

    const JqkaChart first = ReadJqkaChart(bodies[0]);
    ASSERT_TRUE(first.latest.estimate.has_value()) << first.latest.detail.toStdString();
    ASSERT_EQ(first.points.size(), 3);
    EXPECT_EQ(first.points[0].time, ReadBeijingDateTime(u"2026-10-09 09:30"));
    EXPECT_DOUBLE_EQ(first.points[0].nav, 2.03537);
    const SourceEstimate& e = *first.latest.estimate;
    EXPECT_EQ(e.source, EstimateSource::Jqka);
    EXPECT_EQ(e.time, ReadBeijingDateTime(u"2026-10-09 15:00"));
    EXPECT_DOUBLE_EQ(e.nav, 2.03365);
    EXPECT_NEAR(e.changePct, (2.03365 / 2.0401 - 1) * 100, 1e-12);
    EXPECT_EQ(e.previousNav, 2.0401);
    EXPECT_EQ(e.previousNavDate, QDate(2026, 10, 8));

    // The second ends its points and its statement with ';'.
    const JqkaChart second = ReadJqkaChart(bodies[1]);
    ASSERT_EQ(second.points.size(), 2);
    ASSERT_TRUE(second.latest.estimate.has_value());
    EXPECT_DOUBLE_EQ(second.latest.estimate->nav, 3.101);
    EXPECT_EQ(second.latest.estimate->time, ReadBeijingDateTime(u"2026-07-20 15:00"));

    EXPECT_EQ(JqkaChartUrl(QStringLiteral("http://127.0.0.1:1"), QStringLiteral("000171")),
              "http://127.0.0.1:1/?module=api&controller=index&action=chart&info=vm_fd_000171"
              "&start=0930");
}

// Anything short of a whole curve gives no points at all.
TEST(JqkaChartTest, OtherAnswers) {
    const QByteArray good = test::FixtureBodies("jqka_chart.txt").value(1);
    const QByteArray head = "vm_fd_016664='2026-07-17;0930-1130,1300-1500|2026-07-20~2.9763~";
    const auto no = EstimateFailure::NoEstimate;
    const auto bad = EstimateFailure::Unreadable;
    struct Case {
        const char* what;
        QByteArray body;
        EstimateFailure failure;
    };
    const Case cases[] = {
        {"cut in the curve", good.left(good.indexOf("1500")), bad},
        {"cut after a point", good.left(good.indexOf(";1500") + 1), bad},
        {"nothing between the quotes", "vm_fd_016664='';", no},
        {"a day without points", head + "';", no},
        {"a day of separators only", head + ";;'", no},
        {"a time that is no time", head + "0970,3.05,2.9763,0'", bad},
        {"a NAV that is no number", head + "0930,abc,2.9763,0'", bad},
        {"a point without its NAV", head + "0930'", bad},
        {"a NAV of zero", head + "0930,0,2.9763,0'", bad},
        {"no previous NAV", "vm_fd_1='2026-07-17;x|2026-07-20~~0930,3.05,0,0'", bad},
        {"a bad day", "vm_fd_1='2026-07-17;x|2026-7-20~2.9763~0930,3.05,0,0'", bad},
        {"no '|'", "vm_fd_1='2026-07-17;0930-1130'", bad},
        {"more after the quote", good + " alert(1)", bad},
        {"another variable", "var x='a';", bad},
        {"an HTML page", "<html><title>404</title></html>", bad},
    };
    for (const Case& c : cases) {
        const JqkaChart chart = ReadJqkaChart(c.body);
        EXPECT_FALSE(chart.latest.estimate.has_value()) << c.what;
        EXPECT_EQ(chart.latest.failure, c.failure) << c.what;
        EXPECT_TRUE(chart.points.isEmpty()) << c.what;
    }
}
