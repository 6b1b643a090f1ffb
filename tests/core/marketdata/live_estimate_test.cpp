#include "core/marketdata/live_estimate.h"

#include <gtest/gtest.h>

#include <QSet>

#include "core/common/gbk_codec.h"
#include "core/marketdata/estimate_fixtures.h"
#include "core/marketdata/http_client.h"

using namespace tovira;

TEST(LiveEstimateTest, NamesAndMessagesAreOnePerSourceAndFailure) {
    QSet<QString> cliNames;
    for (int i = 0; i < kEstimateSourceCount; ++i) {
        const auto s = static_cast<EstimateSource>(i);
        EXPECT_FALSE(EstimateSourceCaption(s).isEmpty());
        EXPECT_FALSE(EstimateSourceShortName(s).isEmpty());
        cliNames.insert(EstimateSourceCliName(s));
        EXPECT_EQ(EstimateSourceByCliName(EstimateSourceCliName(s)), s);
    }
    EXPECT_EQ(cliNames.size(), kEstimateSourceCount);
    EXPECT_FALSE(EstimateSourceByCliName(QStringLiteral("Sina")).has_value());

    QSet<QString> messages;
    for (EstimateFailure f :
         {EstimateFailure::Gone, EstimateFailure::NoEstimate, EstimateFailure::NoQuotesYet,
          EstimateFailure::Stale, EstimateFailure::Network, EstimateFailure::TimedOut,
          EstimateFailure::Unreadable})
        messages.insert(EstimateFailureMessage(f));
    EXPECT_EQ(messages.size(), 7);
    EXPECT_FALSE(messages.contains(QString()));
    EXPECT_EQ(EstimateFailureText(EstimateAttempt::Failed(EstimateFailure::Gone)),
              QString::fromUtf8("数据源已停止服务"));
    EXPECT_EQ(EstimateFailureText(
                  EstimateAttempt::Failed(EstimateFailure::Unreadable, QStringLiteral("GZTIME"))),
              QString::fromUtf8("估值数据不完整（GZTIME）"));
}

// The old script source's death is told apart from the other failures, so
// the window can stop asking it instead of reporting a network fault.
TEST(LiveEstimateTest, AGoneSourceIsToldFromOtherFailures) {
    // The published answer: 301 with the not-found page as Location.
    const QByteArray redirect = test::FixtureBodies("fundgz_after_shutdown.txt").value(0);
    const QByteArray location = redirect.mid(redirect.indexOf("Location: ") + 10).trimmed();
    ASSERT_EQ(location, "https://fund.eastmoney.com/notfound.html");
    const QUrl notFound(QString::fromLatin1(location));

    const QByteArray cachedPage =
        "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>页面未找到 - 东方财富网"
        "</title></head><body>...</body></html>";
    const QByteArray gbkPage = "<HTML><HEAD><TITLE>" +
                               EncodeGbk(QString::fromUtf8("页面未找到")).value() +
                               "</TITLE></HEAD></HTML>";
    const QByteArray script = R"(jsonpgz({"fundcode":"161725","gsz":"0.5480"});)";
    const QByteArray mentionsIt = "<html><title>估值</title><p>未找到 404</p></html>";

    struct Case {
        const char* what;
        int status;
        bool redirected;
        QUrl finalUrl;
        QByteArray body;
        std::optional<EstimateFailure> expected;
    };
    const Case cases[] = {
        {"301 to the not-found page", 301, true, notFound, {}, EstimateFailure::Gone},
        {"followed to it", 200, true, notFound, "<html></html>", EstimateFailure::Gone},
        {"200 with the cached page", 200, false, {}, cachedPage, EstimateFailure::Gone},
        {"404 with a GBK page", 404, false, {}, gbkPage, EstimateFailure::Gone},
        {"a script answer", 200, false, {}, script, std::nullopt},
        {"followed within the host", 200, true, QUrl(QStringLiteral("https://x/js/1.js")), script,
         std::nullopt},
        {"not found only in the text", 200, false, {}, mentionsIt, std::nullopt},
        {"302 to a login page",
         302,
         true,
         QUrl(QStringLiteral("https://x/login")),
         {},
         EstimateFailure::Network},
        {"server error", 503, false, {}, "busy", EstimateFailure::Network},
    };
    for (const Case& c : cases) {
        const std::optional<EstimateAttempt> a =
            ClassifyAnswer(c.status, c.redirected, c.finalUrl, c.body);
        ASSERT_EQ(a.has_value(), c.expected.has_value()) << c.what;
        if (!a) continue;
        EXPECT_EQ(a->failure, *c.expected) << c.what;
        EXPECT_FALSE(a->estimate.has_value()) << c.what;
    }

    HttpResponse response;
    response.timedOut = true;
    EXPECT_EQ(ClassifyAnswer(response)->failure, EstimateFailure::TimedOut);
    response = {};
    response.error = QStringLiteral("Connection refused");
    EXPECT_EQ(ClassifyAnswer(response)->failure, EstimateFailure::Network);
    EXPECT_EQ(ClassifyAnswer(response)->detail, QStringLiteral("Connection refused"));
    // The client refuses a redirect to another host and reports no answer.
    response.status = 301;
    response.redirectRefused = true;
    response.redirectedTo = notFound;
    EXPECT_EQ(ClassifyAnswer(response)->failure, EstimateFailure::Gone);
}
