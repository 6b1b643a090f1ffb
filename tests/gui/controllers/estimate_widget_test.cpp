// Real-time valuation in the window: against local stand-ins of the sources,
// or, where only the window's own handling is at stake, against a stand-in
// of the fetcher whose outcomes the test chooses.

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "core/common/beijing_time.h"
#include "core/marketdata/estimate_record.h"
#include "core/marketdata/nav_pages.h"
#include "core/storage/ini_document.h"
#include "gui/controllers/estimate_controller.h"
#include "gui/shell/main_window.h"
#include "support/local_http_server.h"
#include "support/window_fixture.h"

using namespace tovira;

namespace {

QByteArray Script(const char* dwjz, const char* gsz, const char* gszzl) {
    return QStringLiteral(
               "jsonpgz({\"fundcode\":\"006675\",\"name\":\"宝盈品牌消费股票A\",\"jzrq\":\"2024-12-"
               "30\","
               "\"dwjz\":\"%1\",\"gsz\":\"%2\",\"gszzl\":\"%3\",\"gztime\":\"2024-12-31 14:30\"});")
        .arg(QLatin1String(dwjz), QLatin1String(gsz), QLatin1String(gszzl))
        .toUtf8();
}

// A morning of 2024-12-31 (a Tuesday), during the session.
QDateTime Morning(int hour = 10, int minute = 0) {
    return BeijingTimeOn(QDate(2024, 12, 31), QTime(hour, minute));
}

SourceEstimate Est(EstimateSource source, double nav, double changePct,
                   const QDateTime& time = Morning()) {
    SourceEstimate e;
    e.source = source;
    e.time = time;
    e.nav = nav;
    e.changePct = changePct;
    return e;
}

EstimateOutcome Found(const SourceEstimate& e) {
    EstimateOutcome o;
    o.estimate = e;
    return o;
}

EstimateOutcome Failed(EstimateFailure failure, const QString& detail = {}) {
    EstimateOutcome o;
    o.failure = failure;
    o.detail = detail;
    return o;
}

class EstimateTest : public test::WindowFixture {
  protected:
    void SetUp() override {
        WindowFixture::SetUp();
        AddExamplePlan();
        ServeFrom(server.Port(),
                  {"EstimateTiantian", "EstimateBatch", "EstimateSina", "EstimateHowbuy",
                   "Estimate10jqka", "EstimateJqkaChart", "Holdings", "HoldingsPage", "Quotes",
                   "QuotesTencent", "FundDataScript", "NavHistory"});
        window = std::make_unique<MainWindow>(dir.path(), &prompt);
        window->SetToday([] { return QDate(2024, 12, 31); });
        Controller()->SetClock([this] { return now; });
        Timer()->setInterval(40);
        TypeCode(QStringLiteral("006675"));
        ASSERT_EQ(window->Ledger().LastRow(), 240);
    }
    // The fetcher's stand-in: answers each ask with `answer` at once, or
    // keeps it for the test to answer (hold).
    void StandIn() {
        Timer()->setInterval(3600000);  // the test ticks
        Controller()->SetAsk(
            [this](const EstimateRequest& r, std::function<void(const EstimateOutcome&)> done) {
                asked.push_back(r);
                if (hold)
                    held = std::move(done);
                else
                    done(answer);
            });
    }
    bool WaitFor(const std::function<bool()>& done) { return QTest::qWaitFor(done, 5000); }
    EstimateController* Controller() { return Find<EstimateController>("estimateController"); }
    QTimer* Timer() { return Find<QTimer>("estimateTimer"); }
    QCheckBox* LiveBox() { return Find<QCheckBox>("liveEstimateBox"); }
    QComboBox* Providers() { return Find<QComboBox>("providerBox"); }
    void Choose(const char* caption) {
        Providers()->setCurrentText(QString::fromUtf8(caption));
        emit Providers()->activated(Providers()->currentIndex());
    }
    QLabel* Value() { return Find<QLabel>("estimateValueLabel"); }
    QLabel* Source() { return Find<QLabel>("estimateSourceLabel"); }
    QLabel* Change() { return Find<QLabel>("estimateChangeLabel"); }
    QString Status() { return window->statusBar()->currentMessage(); }
    QString PreviousNav() { return Controller()->PreviousNav(); }
    // The days the accuracy record keeps of a source for 006675.
    std::vector<NotedEstimate> Recorded(EstimateSource source) {
        return EstimateRecord(dir.path())
            .Read(QStringLiteral("006675"))
            .days[static_cast<std::size_t>(source)];
    }

    test::LocalHttpServer server;
    QDateTime now = Morning();
    std::vector<EstimateRequest> asked;
    EstimateOutcome answer;
    bool hold = false;
    std::function<void(const EstimateOutcome&)> held;
};

}  // namespace

TEST_F(EstimateTest, AnEstimateBecomesTodaysProvisionalRow) {
    // 自动 asks 天天基金 first: its batch endpoint knows nothing here, its
    // script answers.
    server.Answer(QStringLiteral("/js/006675.js?rt=144"), Script("1.2000", "1.2100", "0.83"),
                  "application/javascript; charset=utf-8");
    EXPECT_EQ(Providers()->currentText(), "自动");
    EXPECT_FALSE(Timer()->isActive());
    LiveBox()->click();
    EXPECT_TRUE(Timer()->isActive());
    EXPECT_EQ(server.Requests(), 0);  // the first request waits one period
    ASSERT_TRUE(WaitFor([&] { return !Change()->text().isEmpty(); }));
    EXPECT_EQ(Value()->text(), "1.21");
    EXPECT_EQ(Source()->text(), "· 天天");
    EXPECT_EQ(Change()->text(), "0.83%");
    const LedgerModel& ledger = window->Ledger();
    ASSERT_EQ(ledger.LastRow(), 241);
    EXPECT_EQ(ledger.Cell(241, Column::ID), "241");
    EXPECT_EQ(ledger.Cell(241, Column::Date), "2024/12/31");
    EXPECT_EQ(ledger.Cell(241, Column::NetValue), "1.21");
    EXPECT_EQ(ledger.Cell(240, Column::NetValue), "1.2000");       // the previous official NAV
    EXPECT_FALSE(ledger.Cell(241, Column::HeldShares).isEmpty());  // recalculated
    const QStringList scripts =
        server.RequestedTargets().filter(QRegularExpression(QStringLiteral("^/js/")));
    ASSERT_FALSE(scripts.isEmpty());
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^/js/006675\\.js\\?rt=144[1-9][0-9]{8}$"))
                    .match(scripts.value(0))
                    .hasMatch())
        << scripts.value(0).toStdString();

    // The same estimate again changes nothing in the ledger.
    window->Ledger().SetCell(241, Column::NetValue, QStringLiteral("1.2099"));
    const int before = server.Requests();
    ASSERT_TRUE(WaitFor([&] { return server.Requests() >= before + 4; }));
    EXPECT_EQ(ledger.Cell(241, Column::NetValue), "1.2099");

    // Switched off: no more requests.
    LiveBox()->click();
    EXPECT_FALSE(Timer()->isActive());
}

TEST_F(EstimateTest, AutoFallsBackToTheNextSourceAndSaysWhichAnswered) {
    // The script's address leads to a not-found page, as since 2026-07-21.
    server.Redirect(QStringLiteral("/js/"), "/404.html", 301);
    server.Answer(QStringLiteral("/404.html"), "<html><title>404 Not Found</title></html>");
    window->Settings().SetChecked(Switch::TakeProfitAlert, false);  // no alerts in between
    server.Answer(QStringLiteral("/fundInfo/"),
                  R"(/*<script>location.href='//sina.com';</script>*/tovira({"result":{"status":)"
                  R"({"code":0},"data":{"networth":[{"symbol":"006675","min_time":"10:12:00",)"
                  R"("pre_date":"2024-12-31","pre_nav":"1.2000","growthrate":0.005}]}}}))");
    LiveBox()->click();
    ASSERT_TRUE(WaitFor([&] { return !Value()->text().isEmpty(); }));
    LiveBox()->click();
    EXPECT_EQ(Value()->text(), "1.2");  // pre_nav is the estimate, growthrate its change
    EXPECT_EQ(Source()->text(), "· 新浪");
    EXPECT_TRUE(Source()->toolTip().contains(QStringLiteral("新浪基金")));
    EXPECT_EQ(Change()->text(), "0.50%");
    EXPECT_EQ(window->Ledger().Cell(241, Column::NetValue), "1.2");
    EXPECT_EQ(window->Ledger().Cell(240, Column::NetValue), "1.1940");
    const std::vector<NotedEstimate> noted = Recorded(EstimateSource::Sina);
    ASSERT_EQ(noted.size(), 1u);
    EXPECT_EQ(noted[0].date, QDate(2024, 12, 31));
    EXPECT_EQ(noted[0].nav, 1.2);
    EXPECT_TRUE(prompt.texts.isEmpty()) << prompt.texts.join(u'|').toStdString();
}

TEST_F(EstimateTest, TickingTheSwitchAppliesTheEstimateShownOnItsDayOnly) {
    StandIn();
    answer = Found(Est(EstimateSource::Sina, 1.3, 0.5));
    LiveBox()->click();
    Controller()->Tick();
    LiveBox()->click();
    LedgerModel& ledger = window->Ledger();
    ASSERT_EQ(ledger.Cell(241, Column::NetValue), "1.3");
    ledger.RemoveRow(241);
    LiveBox()->click();  // goes in at once
    LiveBox()->click();
    EXPECT_EQ(ledger.Cell(241, Column::NetValue), "1.3");
    // Two days later the value shown is no estimate of that day.
    ledger.RemoveRow(241);
    now = now.addDays(2);
    LiveBox()->click();
    LiveBox()->click();
    EXPECT_EQ(ledger.LastRow(), 240);
}

TEST_F(EstimateTest, FailuresDoNotPileUpAndThePollingGoesOn) {
    server.Answer(QStringLiteral("/js/"), "jsonpgz();", "application/javascript");
    Choose("天天基金");
    prompt.holdMs = 400;  // the box stays open for several ticks
    LiveBox()->click();
    ASSERT_TRUE(WaitFor([&] { return !prompt.texts.isEmpty(); }));
    EXPECT_EQ(prompt.captions.value(0), "提示");
    EXPECT_TRUE(prompt.texts.value(0).startsWith(QStringLiteral("无法获取估值：")))
        << prompt.texts.value(0).toStdString();
    // Ticks went on while the box was open, and the later failures are
    // counted in the status bar instead of boxes.
    EXPECT_TRUE(Status().startsWith(QStringLiteral("估值获取失败（"))) << Status().toStdString();
    prompt.holdMs = 0;
    ASSERT_TRUE(WaitFor([&] { return server.Requests() >= 12; }));
    LiveBox()->click();
    EXPECT_EQ(prompt.texts.size(), 1);
    EXPECT_EQ(Value()->text(), "");
}

TEST_F(EstimateTest, TheFirstFailureBoxesTheNextAreCountedUntilSomethingChanges) {
    StandIn();
    const auto boxes = [&] { return prompt.captions.count(QStringLiteral("提示")); };
    answer = Failed(EstimateFailure::Gone, QStringLiteral("页面未找到"));
    LiveBox()->click();
    Controller()->Tick();
    EXPECT_EQ(prompt.texts.value(0),
              "无法获取估值：数据源已停止服务（页面未找到）。请更换基金公司！");
    Controller()->Tick();
    Controller()->Tick();
    EXPECT_EQ(boxes(), 1);
    EXPECT_EQ(Status(), "估值获取失败（3次）：数据源已停止服务（页面未找到）");
    // A success ends the run.
    answer = Found(Est(EstimateSource::Jqka, 1.21, 0.8));
    Controller()->Tick();
    EXPECT_EQ(Status(), "");
    answer = Failed(EstimateFailure::Network, QStringLiteral("HTTP 502"));
    Controller()->Tick();
    EXPECT_EQ(prompt.texts.last(),
              "无法获取估值：连接数据源失败（HTTP 502）。请检查网络是否正常，或者更换基金公司！");
    Controller()->Tick();
    EXPECT_EQ(boxes(), 2);
    EXPECT_EQ(Status(), "估值获取失败（2次）：连接数据源失败（HTTP 502）");
    // So does another source, fund or switching.
    const std::function<void()> changes[] = {
        [&] { Choose("新浪基金"); },
        [&] { window->Session().SetFundCode(QStringLiteral("006676")); },
        [&] {
            LiveBox()->click();
            LiveBox()->click();
        },
    };
    for (const auto& change : changes) {
        const int before = boxes();
        change();
        EXPECT_EQ(Status(), "");
        Controller()->Tick();
        EXPECT_EQ(boxes(), before + 1);
        Controller()->Tick();
        EXPECT_EQ(boxes(), before + 1);
    }
    LiveBox()->click();
}

TEST_F(EstimateTest, OneFetchAtATimeAndAnAnswerForWhatChangedIsDropped) {
    StandIn();
    hold = true;
    LiveBox()->click();
    Controller()->Tick();
    Controller()->Tick();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].code, "006675");
    EXPECT_EQ(asked[0].choice, EstimateChoice{});  // 自动
    EXPECT_EQ(asked[0].today, QDate(2024, 12, 31));
    ASSERT_TRUE(asked[0].ledgerNav);  // the ledger's last official day
    EXPECT_EQ(asked[0].ledgerNav->date, QDate(2024, 12, 30));
    Choose("爱基金");
    held(Found(Est(EstimateSource::Tiantian, 1.5, 1)));
    EXPECT_EQ(Value()->text(), "");
    EXPECT_EQ(window->Ledger().LastRow(), 240);
    Controller()->Tick();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[1].choice, EstimateChoice{EstimateSource::Jqka});
    LiveBox()->click();
}

TEST_F(EstimateTest, AnOlderEstimateStaysOutOfTheLedgerAndTheStatusSaysFromWhen) {
    StandIn();
    EstimateOutcome older;
    older.stale =
        Est(EstimateSource::Sina, 1.25, 4, BeijingTimeOn(QDate(2024, 12, 30), QTime(14, 26)));
    answer = older;
    window->Settings().SetChecked(Switch::TakeProfitAlert, false);
    LiveBox()->click();
    Controller()->Tick();
    EXPECT_EQ(Value()->text(), "");
    EXPECT_EQ(window->Ledger().LastRow(), 240);
    EXPECT_EQ(Status(), "估值为 2024-12-30 14:26 的数据");
    answer = Found(Est(EstimateSource::Sina, 1.21, 0.8));
    Controller()->Tick();
    answer = older;
    Controller()->Tick();
    LiveBox()->click();
    EXPECT_EQ(Value()->text(), "1.21");  // the last value shown stays
    EXPECT_EQ(window->Ledger().Cell(241, Column::NetValue), "1.21");
    EXPECT_TRUE(prompt.texts.isEmpty());
    const std::vector<NotedEstimate> noted = Recorded(EstimateSource::Sina);
    ASSERT_EQ(noted.size(), 1u);  // today's only
    EXPECT_EQ(noted[0].nav, 1.21);
}

TEST_F(EstimateTest, NothingIsAskedOutsideTheSessions) {
    StandIn();
    const QDateTime closed[] = {
        Morning(9, 24),
        Morning(15, 6),
        BeijingTimeOn(QDate(2024, 12, 28), QTime(10, 0)),       // a Saturday
        BeijingTimeOn(QDate(2026, 10, 1), QTime(10, 0)),        // National Day
        QDateTime(QDate(2024, 12, 31), QTime(10, 0), Qt::UTC),  // 18:00 in Beijing
    };
    for (const QDateTime& moment : closed) {
        SCOPED_TRACE(moment.toString(Qt::ISODate).toStdString());
        now = moment;
        LiveBox()->click();
        EXPECT_EQ(Status(), "休市");
        EXPECT_TRUE(Timer()->isActive());  // the session's start is picked up
        Controller()->Tick();
        LiveBox()->click();
    }
    EXPECT_TRUE(asked.empty());
    // 01:30 UTC is 09:30 in Beijing, whatever the computer's zone.
    now = QDateTime(QDate(2024, 12, 31), QTime(1, 30), Qt::UTC);
    LiveBox()->click();
    Controller()->Tick();
    LiveBox()->click();
    EXPECT_EQ(asked.size(), 1u);
    EXPECT_EQ(Status(), "");
}

TEST_F(EstimateTest, TheHoldingsEstimateSaysWhatItWasMadeOf) {
    StandIn();
    SourceEstimate e = Est(EstimateSource::Holdings, 1.21, 0.8);
    e.holdingsDate = QDate(2024, 9, 30);
    e.quotedWeightPct = 92.1;
    const struct {
        std::optional<double> share;
        const char* shareText;
    } cases[] = {{85.3, "股票占净值：85.3%"}, {std::nullopt, "股票占净值：未知"}};
    LiveBox()->click();
    for (const auto& c : cases) {
        e.stockSharePct = c.share;
        e.stockShareMissing = !c.share;
        answer = Found(e);
        Controller()->Tick();
        const QString tip = Source()->toolTip();
        EXPECT_EQ(Source()->text(), "· 持仓");
        EXPECT_TRUE(tip.contains(QStringLiteral("2024-09-30"))) << tip.toStdString();
        EXPECT_TRUE(tip.contains(QString::fromUtf8(c.shareText))) << tip.toStdString();
        EXPECT_TRUE(tip.contains(QStringLiteral("92.1%"))) << tip.toStdString();
    }
    LiveBox()->click();
}

TEST_F(EstimateTest, TheTakeProfitAlertAndASourceChange) {
    StandIn();
    SourceEstimate e = Est(EstimateSource::Tiantian, 1.21, 0.83);
    e.previousNav = 1.2;
    answer = Found(e);
    window->Settings().SetChecked(Switch::TakeProfitAlert, true);
    window->Settings().SetText(Field::TakeProfitPct, QStringLiteral("-50"));
    LiveBox()->click();
    Controller()->Tick();
    EXPECT_EQ(prompt.texts.value(0), "您的收益率已达到-50%，请决定是否全部赎回！");
    EXPECT_EQ(PreviousNav(), "1.2000");

    // Another source: its own estimate, and no previous NAV carried over.
    Choose("好买基金");
    EXPECT_EQ(PreviousNav(), "");
    answer = Found(Est(EstimateSource::Howbuy, 1.2234, -0.52));
    Controller()->Tick();
    EXPECT_EQ(asked.back().choice, EstimateChoice{EstimateSource::Howbuy});
    EXPECT_EQ(Value()->text(), "1.2234");
    EXPECT_EQ(Source()->text(), "· 好买");
    EXPECT_EQ(Change()->text(), "-0.52%");
    EXPECT_EQ(PreviousNav(), "");
    LiveBox()->click();
}

TEST_F(EstimateTest, AnErrorPageIsAFailedTickForEverySource) {
    // Bodies that would read as estimates, sent with a 502; the rest of the
    // sources' requests get one too.
    const struct {
        const char* prefix;
        QByteArray body;
    } answers[] = {
        {"/js/", Script("1.2000", "1.2100", "0.83")},
        {"/fund/ajax/",
         "<html><head><style>body{width:100%}</style></head><body>502 Bad Gateway</body></html>"},
        {"/?module=api", R"(jQuery1({"data":{"006675":{"value":"1.1","pre":"1.0"}}}))"},
        {"/fundInfo/", R"(tovira({"result":{"status":{"code":0},"data":{"networth":[{"symbol":)"
                       R"("006675","min_time":"10:12:00","pre_date":"2024-12-31","pre_nav":)"
                       R"("1.2000","growthrate":0.005}]}}}))"},
        {"/", "{}"},
    };
    for (const auto& a : answers) {
        server.Answer(QString::fromLatin1(a.prefix), a.body, "text/html", 502);
    }
    for (const QString& caption : EstimateChoiceCaptions()) {
        SCOPED_TRACE(caption.toStdString());
        prompt.texts.clear();
        Choose(caption.toUtf8().constData());
        LiveBox()->click();
        ASSERT_TRUE(WaitFor([&] { return !prompt.texts.isEmpty(); }));
        LiveBox()->click();
        EXPECT_TRUE(prompt.texts.value(0).startsWith(QStringLiteral("无法获取估值：")));
        EXPECT_EQ(Value()->text(), "");
        EXPECT_EQ(window->Ledger().LastRow(), 240);
    }
}

TEST_F(EstimateTest, AnAppendKeepsItsDaysWhenTheEstimateRowCameMeanwhile) {
    // The ledger ends 44 trading days early; while those download, the
    // estimate adds today's row.
    LedgerModel& ledger = window->Ledger();
    window->Settings().SetChecked(Switch::TakeProfitAlert, false);  // no alerts in between
    for (int i = 0; i < 44; ++i) ledger.RemoveRow(ledger.LastRow());
    const QList<test::NavRow> rows = test::ReadRows("nav/nav_006675_2024.csv");
    const QList<test::NavRow> missing = rows.mid(rows.size() - 44);
    server.Answer(QStringLiteral("/f10/"), test::RenderPage(missing, 44, 1).toUtf8(), "text/html",
                  200, 600);
    server.Answer(QStringLiteral("/js/"), Script("1.2980", "1.3100", "0.92"),
                  "application/javascript");
    const QString lastNav = ledger.Cell(196, Column::NetValue);
    QAction* add = Action("appendToToday");
    add->trigger();
    LiveBox()->click();
    ASSERT_TRUE(WaitFor([&] { return ledger.LastRow() == 197; }));  // the estimate row
    ASSERT_TRUE(WaitFor([&] { return add->isEnabled(); }));
    LiveBox()->click();
    EXPECT_TRUE(prompt.texts.isEmpty()) << prompt.texts.join(u'|').toStdString();
    ASSERT_EQ(ledger.LastRow(), 241);
    EXPECT_EQ(ledger.Cell(196, Column::NetValue), lastNav);  // not the previous NAV
    EXPECT_EQ(ledger.Cell(197, Column::Date), "2024/10/30");
    EXPECT_EQ(ledger.Cell(240, Column::Date), "2024/12/30");
    EXPECT_EQ(ledger.Cell(240, Column::NetValue), "1.2980");
    EXPECT_EQ(ledger.Cell(241, Column::Date), "2024/12/31");
    EXPECT_EQ(ledger.Cell(241, Column::NetValue), "1.31");
    EXPECT_EQ(ledger.Cell(241, Column::ID), "241");
    EXPECT_FALSE(ledger.Cell(241, Column::HeldShares).isEmpty());  // recalculated

    // A ledger cleared meanwhile gets nothing, and the user is told.
    server.Answer(QStringLiteral("/f10/"), test::RenderPage(missing.mid(0, 1), 1, 1).toUtf8(),
                  "text/html", 200, 300);
    for (int i = 0; i < 45; ++i) ledger.RemoveRow(ledger.LastRow());
    add->trigger();
    ledger.ClearRows();
    ASSERT_TRUE(WaitFor([&] { return add->isEnabled(); }));
    EXPECT_EQ(prompt.texts, QStringList{"列表已更换，下载的净值没有加入！"});
    EXPECT_EQ(ledger.LastRow(), 0);
}
