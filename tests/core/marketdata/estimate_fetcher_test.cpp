#include "core/marketdata/estimate_fetcher.h"

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>

#include "core/common/beijing_time.h"
#include "core/marketdata/config.h"
#include "core/marketdata/http_client.h"
#include "support/estimate_routes.h"
#include "support/local_http_server.h"

using namespace tovira;
using namespace tovira::test;

namespace {

const QString kCode = QStringLiteral("161725");
// The old sources' answers carry no time: they are as of the answer.
const QDate kToday = BeijingToday();

class EstimateFetcherTest : public ::testing::Test {
  protected:
    void SetUp() override {
        PointEstimatesAt(config, server.BaseUrl());
        http.SetTimeout(1500);
        ServeEstimates(server, kCode, kToday);
    }

    EstimateOutcome Fetch(EstimateChoice choice, EstimateFetcher* with = nullptr) {
        EstimateFetcher& f = with ? *with : fetcher;
        std::optional<EstimateOutcome> got;
        QEventLoop loop;
        f.Fetch({kCode, choice, kToday, std::nullopt}, [&](const EstimateOutcome& o) {
            got = o;
            loop.quit();
        });
        QTimer::singleShot(8000, &loop, &QEventLoop::quit);
        if (!got) loop.exec();
        EXPECT_TRUE(got.has_value());
        return got.value_or(EstimateOutcome{});
    }
    int Asked(const QString& route) const {
        int n = 0;
        for (const QString& t : server.RequestedTargets()) n += t.startsWith(route) ? 1 : 0;
        return n;
    }
    static void Spin(int ms) {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    }

    LocalHttpServer server;
    Config config;
    HttpClient http;
    QTemporaryDir folder;
    EstimateFetcher fetcher{http, config, folder.path()};
};

// Each source's estimate, and 自动's way down the chain as the ones before
// it have none for today.
TEST_F(EstimateFetcherTest, EachSourceAndTheAutomaticChain) {
    const QByteArray yesterdaysBatch = BatchBody(kCode, kToday.addDays(-1));
    struct Case {
        const char* name;
        EstimateChoice choice;
        std::function<void(LocalHttpServer&)> change;
        EstimateSource source;
        double nav;
        double changePct;
        bool stale;  // an older estimate of 天天基金 kept
    };
    const Case cases[] = {
        {"auto: the batch",
         {},
         [](LocalHttpServer&) {},
         EstimateSource::Tiantian,
         0.548,
         -0.36,
         false},
        {"auto: batch null -> sina",
         {},
         [](LocalHttpServer& s) { s.Answer(kBatchRoute, BatchNullBody(kCode, kToday)); },
         EstimateSource::Sina,
         1.446,
         0.069204152249127,
         false},
        {"auto: batch of yesterday kept, sina today",
         {},
         [&](LocalHttpServer& s) { s.Answer(kBatchRoute, yesterdaysBatch); },
         EstimateSource::Sina,
         1.446,
         0.069204152249127,
         true},
        {"auto: -> the curve",
         {},
         [](LocalHttpServer& s) {
             s.Answer(kBatchRoute, BatchNullBody(kCode, kToday));
             s.Answer(kSinaRoute, SinaEmptyBody());
         },
         EstimateSource::Jqka,
         2.03365,
         (2.03365 / 2.0401 - 1) * 100,
         false},
        {"auto: -> holdings on the batch's NAV",
         {},
         [](LocalHttpServer& s) {
             s.Answer(kBatchRoute, BatchNullBody(kCode, kToday));
             s.Answer(kSinaRoute, SinaEmptyBody());
             s.Answer(kJqkaChartRoute, "vm_fd_161725=''");
         },
         EstimateSource::Holdings,
         1.445 * (1 + HoldingsChangePct() / 100),
         HoldingsChangePct(),
         false},
        {"tiantian: batch unreachable -> script", EstimateSource::Tiantian,
         [](LocalHttpServer& s) { s.Drop(kBatchRoute); }, EstimateSource::Tiantian, 0.5077, -1.65,
         false},
        {"10jqka: the real-time answer first", EstimateSource::Jqka,
         [](LocalHttpServer& s) {
             s.Answer(kJqkaRealRoute,
                      R"(jQuery({"data":{"of_161725":{"value":"1.1","pre":"1.0"}}}))");
         },
         EstimateSource::Jqka, 1.1, 10, false},
        {"howbuy", EstimateSource::Howbuy, [](LocalHttpServer&) {}, EstimateSource::Howbuy, 1.0234,
         -0.52, false},
        {"holdings: quotes from the text service", EstimateSource::Holdings,
         [](LocalHttpServer& s) { s.Drop(kUlistRoute); }, EstimateSource::Holdings,
         0.55 * (1 + HoldingsChangePct() / 100), HoldingsChangePct(), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ServeEstimates(server, kCode, kToday);
        c.change(server);
        QTemporaryDir fresh;  // no holdings cache from the case before
        EstimateFetcher f(http, config, fresh.path());
        const EstimateOutcome o = Fetch(c.choice, &f);
        if (!o.estimate) {
            ADD_FAILURE() << o.detail.toStdString();
            continue;
        }
        EXPECT_EQ(o.estimate->source, c.source);
        EXPECT_NEAR(o.estimate->nav, c.nav, 5e-5);
        EXPECT_NEAR(o.estimate->changePct, c.changePct, 1e-3);
        EXPECT_TRUE(IsDatedOn(*o.estimate, kToday));
        EXPECT_EQ(o.stale.has_value(), c.stale);
        if (o.stale) {
            EXPECT_EQ(o.stale->source, EstimateSource::Tiantian);
        }
        EXPECT_EQ(o.tried.back().first, c.source);
    }
    // The batch's "no estimate for this fund" is an answer: the script is
    // not asked (it has shut down anyway).
    EXPECT_EQ(Asked(kScriptRoute), 1);
}

// With no estimate for today: the failure that tells most, and its source.
TEST_F(EstimateFetcherTest, FailuresAreNamed) {
    struct Case {
        const char* name;
        EstimateChoice choice;
        std::function<void(LocalHttpServer&)> change;
        EstimateFailure failure;
        const char* detailHas;
    };
    const QByteArray sina = SinaBody(kCode, kToday);
    const Case cases[] = {
        {"script and batch gone", EstimateSource::Tiantian,
         [](LocalHttpServer& s) {
             ServeScriptGone(s);
             s.Redirect(kBatchRoute, "/notfound.html", 301);
             s.Answer(QStringLiteral("/notfound.html"),
                      "<html><title>页面未找到 - 东方财富网</title></html>");
         },
         EstimateFailure::Gone, "天天基金"},
        {"batch cut, script gone", EstimateSource::Tiantian,
         [](LocalHttpServer& s) {
             ServeScriptGone(s);
             s.Cut(kBatchRoute, BatchBody(kCode, kToday), 40);
         },
         EstimateFailure::Unreadable, "天天基金"},
        {"batch null", EstimateSource::Tiantian,
         [](LocalHttpServer& s) { s.Answer(kBatchRoute, BatchNullBody(kCode, kToday)); },
         EstimateFailure::NoEstimate, "天天基金"},
        {"sina of yesterday", EstimateSource::Sina,
         [](LocalHttpServer& s) { s.Answer(kSinaRoute, SinaBody(kCode, kToday.addDays(-1))); },
         EstimateFailure::Stale, "新浪基金"},
        {"sina times out", EstimateSource::Sina, [](LocalHttpServer& s) { s.Hang(kSinaRoute); },
         EstimateFailure::TimedOut, "新浪基金"},
        {"sina cut", EstimateSource::Sina,
         [&](LocalHttpServer& s) { s.Cut(kSinaRoute, sina, sina.size() - 4); },
         EstimateFailure::Unreadable, "新浪基金"},
        {"holdings before the open", EstimateSource::Holdings,
         [](LocalHttpServer& s) {
             s.Answer(kUlistRoute,
                      R"({"rc":0,"data":{"diff":[{"f2":"-","f3":"-","f12":"300390","f13":0}]}})");
         },
         EstimateFailure::NoQuotesYet, "持仓估算"},
        {"auto: a failure to connect over no estimate",
         {},
         [](LocalHttpServer& s) {
             s.Answer(kBatchRoute, BatchNullBody(kCode, kToday));
             s.Answer(kSinaRoute, SinaEmptyBody());
             s.Drop(kJqkaChartRoute);
             s.Answer(kPositionRoute,
                      R"({"Datas":{"fundStocks":[]},"ErrCode":0,"Expansion":null})");
         },
         EstimateFailure::Network,
         "爱基金"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ServeEstimates(server, kCode, kToday);
        c.change(server);
        EstimateFetcher uncached(http, config, QString());
        const EstimateOutcome o = Fetch(c.choice, &uncached);
        EXPECT_FALSE(o.estimate.has_value());
        EXPECT_EQ(o.failure, c.failure);
        EXPECT_TRUE(o.detail.contains(QString::fromUtf8(c.detailHas))) << o.detail.toStdString();
    }
}

// The holdings page is asked as its own site's script asks, and the day's
// holdings and stock share are fetched once: the second fetch reads them
// from the cache.
TEST_F(EstimateFetcherTest, HoldingsHeadersAndTheDaysCache) {
    server.Drop(kPositionRoute);
    server.Answer(kHoldingsPageRoute, FixtureBodies("holdings_jjcc.txt").value(0));
    EstimateFetcher uncached(http, config, QString());
    Fetch(EstimateSource::Holdings, &uncached);
    const QStringList targets = server.RequestedTargets();
    const qsizetype page = targets.indexOf(
        QRegularExpression(QRegularExpression::escape(kHoldingsPageRoute) + QStringLiteral(".*")));
    ASSERT_GE(page, 0);
    const QByteArray head = server.RequestHeads().value(page);
    EXPECT_TRUE(head.contains("Referer: https://fundf10.eastmoney.com/ccmx_161725.html"));
    EXPECT_TRUE(head.contains("X-Requested-With: XMLHttpRequest"));

    ServeEstimates(server, kCode, kToday);
    const int positions = Asked(kPositionRoute);
    const int scripts = Asked(kFundScriptRoute);
    ASSERT_TRUE(Fetch(EstimateSource::Holdings).estimate.has_value());
    EXPECT_EQ(Asked(kPositionRoute), positions + 1);
    EXPECT_EQ(Asked(kFundScriptRoute), scripts + 1);
    const EstimateOutcome again = Fetch(EstimateSource::Holdings);
    ASSERT_TRUE(again.estimate.has_value());
    EXPECT_EQ(again.estimate->nav, Fetch(EstimateSource::Holdings).estimate->nav);
    EXPECT_EQ(Asked(kPositionRoute), positions + 1);
    EXPECT_EQ(Asked(kFundScriptRoute), scripts + 1);
}

// A cancelled, replaced or destroyed fetch never calls back.
TEST_F(EstimateFetcherTest, CancelReplaceAndDestroyMidRequest) {
    server.Hang(kBatchRoute);
    int calls = 0;
    fetcher.Fetch({kCode, EstimateSource::Tiantian, kToday, {}},
                  [&](const EstimateOutcome&) { ++calls; });
    EXPECT_TRUE(fetcher.Busy());
    fetcher.Cancel();
    EXPECT_FALSE(fetcher.Busy());

    fetcher.Fetch({kCode, EstimateSource::Tiantian, kToday, {}},
                  [&](const EstimateOutcome&) { calls += 100; });
    const EstimateOutcome replaced = Fetch(EstimateSource::Sina);
    EXPECT_EQ(replaced.estimate->source, EstimateSource::Sina);

    auto doomed = std::make_unique<EstimateFetcher>(http, config, QString());
    doomed->Fetch({kCode, EstimateSource::Tiantian, kToday, {}},
                  [&](const EstimateOutcome&) { calls += 10000; });
    Spin(50);
    doomed.reset();
    Spin(2000);  // past the time limit
    EXPECT_EQ(calls, 0);
}

}  // namespace
