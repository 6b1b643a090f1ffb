// Real-time valuation in the window against a local stand-in provider.

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

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

class EstimateTest : public test::WindowFixture {
  protected:
    void SetUp() override {
        WindowFixture::SetUp();
        AddExamplePlan();
        ServeFrom(server.Port(),
                  {"EstimateTiantian", "EstimateHowbuy", "Estimate10jqka", "NavHistory"});
        window = std::make_unique<MainWindow>(dir.path(), &prompt);
        window->SetToday([] { return QDate(2024, 12, 31); });  // a Tuesday
        Timer()->setInterval(40);
        TypeCode(QStringLiteral("006675"));
        ASSERT_EQ(window->Ledger().LastRow(), 240);
    }
    bool WaitFor(const std::function<bool()>& done) { return QTest::qWaitFor(done, 5000); }
    QTimer* Timer() { return Find<QTimer>("estimateTimer"); }
    QCheckBox* LiveBox() { return Find<QCheckBox>("liveEstimateBox"); }
    QComboBox* Providers() { return Find<QComboBox>("providerBox"); }
    QLabel* Value() { return Find<QLabel>("estimateValueLabel"); }
    QLabel* Change() { return Find<QLabel>("estimateChangeLabel"); }
    QString PreviousNav() { return Find<EstimateController>("estimateController")->PreviousNav(); }

    test::LocalHttpServer server;
};

}  // namespace

TEST_F(EstimateTest, AnEstimateBecomesTodaysProvisionalRow) {
    server.Answer(QStringLiteral("/js/006675.js?rt=144"), Script("1.2000", "1.2100", "0.83"),
                  "application/javascript; charset=utf-8");
    EXPECT_FALSE(Timer()->isActive());
    LiveBox()->click();
    EXPECT_TRUE(Timer()->isActive());
    EXPECT_EQ(server.Requests(), 0);  // the first request waits one period
    ASSERT_TRUE(WaitFor([&] { return !Change()->text().isEmpty(); }));
    EXPECT_EQ(Value()->text(), "1.21");
    EXPECT_EQ(Change()->text(), "0.83%");
    const LedgerModel& ledger = window->Ledger();
    ASSERT_EQ(ledger.LastRow(), 241);
    EXPECT_EQ(ledger.Cell(241, Column::ID), "241");
    EXPECT_EQ(ledger.Cell(241, Column::Date), "2024/12/31");
    EXPECT_EQ(ledger.Cell(241, Column::NetValue), "1.21");
    EXPECT_EQ(ledger.Cell(240, Column::NetValue), "1.2000");       // the previous official NAV
    EXPECT_FALSE(ledger.Cell(241, Column::HeldShares).isEmpty());  // recalculated
    const QString target = server.RequestedTargets().value(0);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^/js/006675\\.js\\?rt=144[1-9][0-9]{8}$"))
                    .match(target)
                    .hasMatch())
        << target.toStdString();

    // The same estimate again changes nothing in the ledger.
    window->Ledger().SetCell(241, Column::NetValue, QStringLiteral("1.2099"));
    const int before = server.Requests();
    ASSERT_TRUE(WaitFor([&] { return server.Requests() >= before + 2; }));
    EXPECT_EQ(ledger.Cell(241, Column::NetValue), "1.2099");

    // Switched off: no more requests.
    LiveBox()->click();
    EXPECT_FALSE(Timer()->isActive());
}

TEST_F(EstimateTest, TickingTheSwitchAppliesTheEstimateShown) {
    Value()->setText(QStringLiteral("1.3"));
    LiveBox()->click();
    EXPECT_EQ(window->Ledger().LastRow(), 241);
    EXPECT_EQ(window->Ledger().Cell(241, Column::NetValue), "1.3");
    LiveBox()->click();
}

TEST_F(EstimateTest, FailuresDoNotPileUpAndThePollingGoesOn) {
    server.Answer(QStringLiteral("/js/"), "jsonpgz();", "application/javascript");
    prompt.holdMs = 400;  // the box stays open for several ticks
    LiveBox()->click();
    ASSERT_TRUE(WaitFor([&] { return !prompt.texts.isEmpty(); }));
    EXPECT_EQ(prompt.texts.size(), 1);
    EXPECT_EQ(prompt.texts.value(0),
              "无法获取估值，请检查网络是否正常或代码是否正确，或者更换基金公司！");
    EXPECT_EQ(prompt.captions.value(0), "提示");
    EXPECT_GE(server.Requests(), 3);  // ticks went on while the box was open
    prompt.holdMs = 0;
    ASSERT_TRUE(WaitFor([&] { return prompt.texts.size() >= 2; }));  // the next one shows later
    LiveBox()->click();
}

TEST_F(EstimateTest, TheTakeProfitAlertAndAProviderChange) {
    server.Answer(QStringLiteral("/js/"), Script("1.2000", "1.2100", "0.83"),
                  "application/javascript");
    server.Answer(
        QStringLiteral("/fund/ajax/"),
        "<li><span class=\"con_value\">1.2234</span><span>0.01</span><span>-0.52%</span></li>");
    window->Settings().SetChecked(Switch::TakeProfitAlert, true);
    window->Settings().SetText(Field::TakeProfitPct, QStringLiteral("-50"));
    LiveBox()->click();
    ASSERT_TRUE(WaitFor([&] { return !prompt.texts.isEmpty(); }));
    EXPECT_EQ(prompt.texts.value(0), "您的收益率已达到-50%，请决定是否全部赎回！");

    // Another provider: its own estimate, and no previous NAV carried over.
    Providers()->setCurrentIndex(1);
    emit Providers()->activated(1);
    EXPECT_EQ(PreviousNav(), "");
    ASSERT_TRUE(WaitFor([&] { return Value()->text() == "1.2234"; }));
    EXPECT_EQ(Change()->text(), "-0.52%");
    EXPECT_EQ(PreviousNav(), "");
    LiveBox()->click();
}

TEST_F(EstimateTest, AnErrorPageIsAFailedTickForEveryProvider) {
    // Bodies that would read as estimates, sent with a 502.
    const struct {
        const char* prefix;
        QByteArray body;
    } providers[] = {
        {"/js/", Script("1.2000", "1.2100", "0.83")},
        {"/fund/ajax/",
         "<li><span class=\"con_value\">1.2234</span><span>0.01</span><span>-0.52%</span></li>"},
        {"/?module=api", R"(jQuery1({"data":{"006675":{"value":"1.1","pre":"1.0"}}}))"},
    };
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        server.Clear();
        prompt.texts.clear();
        server.Answer(QString::fromLatin1(providers[i].prefix), providers[i].body, "text/html",
                      502);
        Providers()->setCurrentIndex(i);
        LiveBox()->click();
        ASSERT_TRUE(WaitFor([&] { return !prompt.texts.isEmpty(); }));
        LiveBox()->click();
        EXPECT_EQ(prompt.texts.value(0),
                  "无法获取估值，请检查网络是否正常或代码是否正确，或者更换基金公司！");
        EXPECT_EQ(Value()->text(), "");
        EXPECT_EQ(window->Ledger().LastRow(), 240);
    }
    // The provider's real 502: a style sheet holding "width:100%".
    server.Answer(
        QStringLiteral("/fund/ajax/"),
        "<html><head><style>body{width:100%}</style></head><body>502 Bad Gateway</body></html>",
        "text/html", 502);
    prompt.texts.clear();
    Providers()->setCurrentIndex(1);
    LiveBox()->click();
    ASSERT_TRUE(WaitFor([&] { return !prompt.texts.isEmpty(); }));
    LiveBox()->click();
    EXPECT_EQ(Value()->text(), "");
    EXPECT_EQ(window->Ledger().LastRow(), 240);
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
