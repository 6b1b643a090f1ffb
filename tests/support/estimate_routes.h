#pragma once
// The estimate sources on the tests' local server: every endpoint the
// estimate fetcher asks, answering in its published shape (the bodies of
// tests/data/estimates-2026, moved to the day and fund asked about), plus the
// ways they fail. Point a Config at the server with PointEstimatesAt.

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>
#include <QTimeZone>
#include <initializer_list>

#include "core/marketdata/config.h"
#include "core/marketdata/estimate_fixtures.h"
#include "support/local_http_server.h"

namespace tovira::test {

// The targets' prefixes, one per endpoint.
inline const QString kBatchRoute = QStringLiteral("/mm/newCore/FundValuationLast");
inline const QString kScriptRoute = QStringLiteral("/js/");
inline const QString kSinaRoute =
    QStringLiteral("/fundInfo/api/openapi.php/FdFundService.getEstimateNetworthPic");
inline const QString kJqkaRealRoute = QStringLiteral("/?module=api&controller=index&action=real");
inline const QString kJqkaChartRoute = QStringLiteral("/?module=api&controller=index&action=chart");
inline const QString kHowbuyRoute = QStringLiteral("/fund/ajax/gmfund/valuation/valuationnav.htm");
inline const QString kPositionRoute = QStringLiteral("/FundMNewApi/FundMNInverstPosition");
inline const QString kHoldingsPageRoute = QStringLiteral("/FundArchivesDatas.aspx");
inline const QString kFundScriptRoute = QStringLiteral("/pingzhongdata/");
inline const QString kUlistRoute = QStringLiteral("/api/qt/ulist.np/get");
inline const QString kGtimgRoute = QStringLiteral("/q=");

// Every endpoint an estimate may come from, at the server.
inline void PointEstimatesAt(Config& config, const QString& baseUrl) {
    for (Endpoint e : {Endpoint::EstimateTiantian, Endpoint::EstimateHowbuy,
                       Endpoint::Estimate10jqka, Endpoint::EstimateBatch, Endpoint::EstimateSina,
                       Endpoint::EstimateJqkaChart, Endpoint::Holdings, Endpoint::HoldingsPage,
                       Endpoint::Quotes, Endpoint::QuotesTencent, Endpoint::FundDataScript})
        config.SetHost(e, baseUrl);
}

// A published body with its day (and the day before) moved to `day` and its
// fund code to `code`.
inline QByteArray Moved(QByteArray body, const QDate& publishedDay, const QDate& day,
                        const char* publishedCode, const QString& code) {
    const auto text = [](const QDate& d) { return d.toString(Qt::ISODate).toLatin1(); };
    body.replace(text(publishedDay.addDays(-1)), "PREVIOUS-DAY");
    body.replace(text(publishedDay), text(day));
    body.replace("PREVIOUS-DAY", text(day.addDays(-1)));
    return body.replace(publishedCode, code.toLatin1());
}

// ---- the sources' answers ----

// 天天基金's batch: 0.548 at 10:09, -0.36 %, NAV 0.55 the day before.
inline QByteArray BatchBody(const QString& code, const QDate& day) {
    return Moved(FixtureBodies("valuation_last.txt").value(0), {2026, 7, 22}, day, "161725", code);
}
// The same fund without an estimate (an actively managed one): NAV 1.445.
inline QByteArray BatchNullBody(const QString& code, const QDate& day) {
    return Moved(FixtureBodies("valuation_last.txt").value(1), {2026, 7, 22}, day, "000001", code);
}
// 新浪基金: 1.4460 at 10:12, +0.0692 %.
inline QByteArray SinaBody(const QString& code, const QDate& day) {
    return Moved(FixtureBodies("sina_estimate.txt").value(0), {2026, 7, 22}, day, "000001", code);
}
inline QByteArray SinaEmptyBody() {
    return R"(/*<script>location.href='//sina.com';</script>*/tovira({"result":{"status":{"code":0},"data":{"networth":null}}}))";
}
// 爱基金's curve: last point 2.03365 at 15:00 against 2.0401.
inline QByteArray JqkaChartBody(const QString& code, const QDate& day) {
    QByteArray body = FixtureBodies("jqka_chart.txt").value(0);
    body.replace("2026-10-08", day.addDays(-1).toString(Qt::ISODate).toLatin1());
    body.replace("2026-10-09", day.toString(Qt::ISODate).toLatin1());
    return body.replace("000171", code.toLatin1());
}
// The script estimate as it answered before it shut down.
inline QByteArray ScriptBody(const QString& code, const QDate& day) {
    return QStringLiteral(R"(jsonpgz({"fundcode":"%1","jzrq":"%2","dwjz":"0.5162","gsz":"0.5077",)"
                          R"("gszzl":"-1.65","gztime":"%3 11:21"});)")
        .arg(code, day.addDays(-1).toString(Qt::ISODate), day.toString(Qt::ISODate))
        .toUtf8();
}
// The page as 好买基金 answers: 1.0234, -0.52 %.
inline QByteArray HowbuyBody() { return "<li><span>1.0234</span><span>-0.52%</span></li>"; }

// The holdings: three Shenzhen stocks, 9.97 / 9.94 / 9.90 % of NAV (2026-03-31).
inline QByteArray PositionBody() { return FixtureBodies("holdings_position.txt").value(0); }
// The fund data script's asset allocation: stocks 87.24 % of NAV.
inline QByteArray StockShareScript() { return FixtureBodies("asset_allocation.txt").value(1); }

struct TestQuote {
    const char* code;
    double changePct;
};
// The holdings' quotes (ulist, fltt=2) at 10:30 on `day`.
inline QByteArray UlistBody(std::initializer_list<TestQuote> quotes, const QDate& day) {
    const qint64 at = QDateTime(day, QTime(10, 30), QTimeZone(8 * 3600)).toSecsSinceEpoch();
    QStringList rows;
    for (const TestQuote& q : quotes)
        rows << QStringLiteral(R"({"f2":10.5,"f3":%1,"f12":"%2","f13":0,"f14":"x","f124":%3})")
                    .arg(q.changePct)
                    .arg(QString::fromLatin1(q.code))
                    .arg(at);
    return (QStringLiteral(R"({"rc":0,"data":{"total":%1,"diff":[)").arg(rows.size()) +
            rows.join(u',') + QStringLiteral("]}}"))
        .toUtf8();
}
// The same from the text service (Shenzhen symbols).
inline QByteArray GtimgBody(std::initializer_list<TestQuote> quotes, const QDate& day) {
    QByteArray body;
    for (const TestQuote& q : quotes) {
        QStringList f(40, QStringLiteral("0"));
        f[0] = QStringLiteral("51");
        f[2] = QString::fromLatin1(q.code);
        f[3] = QStringLiteral("10.5");
        f[30] = day.toString(QStringLiteral("yyyyMMdd")) + QStringLiteral("103000");
        f[32] = QString::number(q.changePct);
        body += "v_sz" + QByteArray(q.code) + "=\"" + f.join(u'~').toLatin1() + "\";\n";
    }
    return body;
}
// What the three holdings moved: +1 %, +2 %, -1 %.
inline constexpr TestQuote kHoldingQuotes[] = {{"300390", 1}, {"002738", 2}, {"002240", -1}};
// The holdings estimate's change with those quotes: 87.24 % of the weighted mean.
inline double HoldingsChangePct() {
    return 0.8724 * (9.97 * 1 + 9.94 * 2 - 9.90 * 1) / (9.97 + 9.94 + 9.90);
}

// Every source answering with `day`'s estimate of `code`.
inline void ServeEstimates(LocalHttpServer& server, const QString& code, const QDate& day) {
    const QByteArray json = "application/json; charset=utf-8";
    const QByteArray script = "application/javascript; charset=utf-8";
    server.Answer(kBatchRoute, BatchBody(code, day), json);
    server.Answer(kScriptRoute, ScriptBody(code, day), script);
    server.Answer(kSinaRoute, SinaBody(code, day), script);
    server.Answer(kJqkaRealRoute, "jQuery({})", script);
    server.Answer(kJqkaChartRoute, JqkaChartBody(code, day), script);
    server.Answer(kHowbuyRoute, HowbuyBody());
    server.Answer(kPositionRoute, PositionBody(), json);
    server.Answer(kFundScriptRoute, StockShareScript(), script);
    const auto& q = kHoldingQuotes;
    server.Answer(kUlistRoute, UlistBody({q[0], q[1], q[2]}, day), json);
    server.Answer(kGtimgRoute, GtimgBody({q[0], q[1], q[2]}, day), "text/plain; charset=GBK");
}

// The script estimate since it shut down: a redirect to the portal's
// not-found page on another host.
inline void ServeScriptGone(LocalHttpServer& server) {
    server.Redirect(kScriptRoute, "https://fund.eastmoney.invalid/notfound.html", 301);
}

}  // namespace tovira::test
