// The window's market-data commands against a local stand-in provider.

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAction>
#include <QCalendarWidget>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <array>

#include "core/common/messages.h"
#include "core/common/version.h"
#include "core/ledger/columns.h"
#include "core/marketdata/http_client.h"
#include "core/marketdata/nav_api_pages.h"
#include "core/marketdata/nav_pages.h"
#include "core/storage/ini_document.h"
#include "gui/dialogs/download_progress_dialog.h"
#include "gui/dialogs/import_range_dialog.h"
#include "gui/shell/main_window.h"
#include "support/local_http_server.h"
#include "support/window_fixture.h"

using namespace tovira;

namespace {

// The real page of 2015-06-29 .. 2015-07-24, its envelope cut to one page.
QByteArray JulyPage() {
    QByteArray page =
        test::ReadFileBytes(test::DataPath("nav/eastmoney_lsjz_page_2015-07_exact.txt"));
    page.replace(",records:868,pages:44,curpage:1", ",records:20,pages:1,curpage:1");
    return page;
}

class MarketCommandsTest : public test::WindowFixture {
  protected:
    void SetUp() override {
        WindowFixture::SetUp();
        ServeFrom(server.Port(), {"NavHistory", "FundDirectory"});
        window = std::make_unique<MainWindow>(dir.path(), &prompt);
        window->SetToday([] { return QDate(2015, 7, 24); });
        TypeCode(QStringLiteral("150210"));
    }
    void ImportValue() { Action("importNav")->trigger(); }
    void Add() { Action("appendToToday")->trigger(); }

    // Runs the import window for a range and waits until it closes.
    bool Import(const QDate& start, const QDate& end) {
        ImportValue();
        ImportRangeDialog* form = ImportDialog();
        if (!form) return false;
        form->StartCalendar()->setSelectedDate(start);
        form->EndCalendar()->setSelectedDate(end);
        form->OkButton()->click();
        return QTest::qWaitFor([&] { return !ImportDialog(); }, 5000);
    }

    // 006675's 240 days of 2024 in twelve pages of 20, page 1 the newest.
    void Serve006675() {
        const QList<QString> pages =
            test::RenderPages(test::ReadRows("nav/nav_006675_2024.csv"), 20);
        for (int p = 1; p <= pages.size(); ++p) server.Answer(Page006675(p), pages[p - 1].toUtf8());
        CodeBox()->lineEdit()->clear();
        QTest::keyClicks(CodeBox()->lineEdit(), QStringLiteral("006675"));
    }
    static QString Page006675(int page) {
        return QStringLiteral("/f10/F10DataApi.aspx?type=lsjz&code=006675&page=%1&").arg(page);
    }
    // Opens the import window on 2024 and clicks OK.
    ImportRangeDialog* StartImport2024() {
        ImportValue();
        ImportRangeDialog* form = ImportDialog();
        if (!form) return nullptr;
        form->StartCalendar()->setSelectedDate(QDate(2024, 1, 1));
        form->EndCalendar()->setSelectedDate(QDate(2024, 12, 31));
        form->OkButton()->click();
        return form;
    }

    // The fund directory's progress window while it is open.
    DownloadProgressDialog* DirectoryProgress() {
        for (auto* d : window->findChildren<DownloadProgressDialog*>()) {
            if (d->isVisible()) return d;
        }
        return nullptr;
    }

    test::LocalHttpServer server;
};

}  // namespace

TEST_F(MarketCommandsTest, ImportFillsTheLedgerFromTheProvider) {
    server.Answer(QStringLiteral("/f10/F10DataApi.aspx?type=lsjz&code=150210"), JulyPage());
    ImportValue();
    ImportRangeDialog* form = ImportDialog();
    ASSERT_TRUE(form);
    EXPECT_EQ(form->windowTitle(), "选择日期");
    EXPECT_EQ(form->StartLabel()->text(), "2017/3/27");
    EXPECT_EQ(form->EndLabel()->text(), "2015/7/24");
    form->close();

    ASSERT_TRUE(Import(QDate(2015, 6, 29), QDate(2015, 7, 24)));
    const LedgerModel& ledger = window->Ledger();
    ASSERT_EQ(ledger.LastRow(), 20);
    EXPECT_EQ(ledger.Cell(1, Column::Date), "2015/6/29");
    EXPECT_EQ(ledger.Cell(20, Column::Date), "2015/7/24");
    EXPECT_EQ(ledger.Cell(20, Column::NetValue), "0.3600");
    EXPECT_EQ(ledger.Cell(20, Column::PurchaseStatus), "场内买入");
    EXPECT_EQ(ledger.Cell(20, Column::ID), "20");
    EXPECT_FALSE(ledger.Cell(1, Column::DailyChange).isEmpty());
    EXPECT_EQ(ledger.Cell(1, Column::PurchaseAmount), "");  // not recalculated
    EXPECT_TRUE(prompt.texts.isEmpty());
    EXPECT_TRUE(server.RequestedTargets().value(0).contains(
        QStringLiteral("page=1&per=26&sdate=2015/6/29&edate=2015/7/24")));

    ImportValue();
    EXPECT_EQ(prompt.texts.value(0), "请保存现有数据并清空列表!");
    EXPECT_FALSE(ImportDialog());
}

TEST_F(MarketCommandsTest, ImportRefusesABadCodeAndReportsAFailure) {
    CodeBox()->lineEdit()->clear();
    QTest::keyClicks(CodeBox()->lineEdit(), QStringLiteral("21000a"));
    ImportValue();
    ASSERT_TRUE(ImportDialog());
    ImportDialog()->OkButton()->click();
    EXPECT_EQ(prompt.texts.value(0), "基金代码有误，请更正！");
    EXPECT_TRUE(ImportDialog());  // stays open
    ImportDialog()->close();

    CodeBox()->lineEdit()->clear();
    QTest::keyClicks(CodeBox()->lineEdit(), QStringLiteral("150210"));
    server.Answer(QStringLiteral("/f10/"),
                  "var apidata={ content:\"暂无数据!\",records:0,pages:0,curpage:1};");
    ASSERT_TRUE(Import(QDate(2015, 7, 25), QDate(2015, 7, 26)));
    EXPECT_EQ(prompt.texts.last(), "出错了，没有获取到日期区间内的净值！");
    EXPECT_EQ(window->Ledger().LastRow(), 0);
}

TEST_F(MarketCommandsTest, AppendAddsTheNewDaysOnceAndRecalculates) {
    Add();
    EXPECT_EQ(prompt.texts.value(0), "没有开始日期，请先导入净值！");

    server.Answer(QStringLiteral("/f10/"), JulyPage());
    ASSERT_TRUE(Import(QDate(2015, 6, 29), QDate(2015, 7, 24)));
    window->Ledger().RemoveRow(20);
    window->Ledger().RemoveRow(19);  // the ledger now ends on 2015/7/22

    Add();
    Add();  // still waiting: does nothing
    ASSERT_TRUE(QTest::qWaitFor([&] { return Action("appendToToday")->isEnabled(); }, 5000));
    const LedgerModel& ledger = window->Ledger();
    ASSERT_EQ(ledger.LastRow(), 20);
    EXPECT_EQ(ledger.Cell(19, Column::Date), "2015/7/23");
    EXPECT_EQ(ledger.Cell(20, Column::Date), "2015/7/24");
    EXPECT_EQ(ledger.Cell(19, Column::ID), "19");
    EXPECT_FALSE(ledger.Cell(20, Column::HeldShares).isEmpty());  // recalculated
    EXPECT_EQ(server.RequestedTargets().size(), 2);
    EXPECT_TRUE(server.RequestedTargets().last().contains(
        QStringLiteral("sdate=2015/7/23&edate=2015/7/24")));

    // Nothing new yet: the failure message, nothing added, still recalculated.
    Add();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Action("appendToToday")->isEnabled(); }, 5000));
    EXPECT_EQ(ledger.LastRow(), 20);
}

TEST_F(MarketCommandsTest, ARequestThatNeverAnswersTimesOut) {
    server.Answer(QStringLiteral("/f10/"), JulyPage());
    ASSERT_TRUE(Import(QDate(2015, 6, 29), QDate(2015, 7, 22)));
    server.Hang(QStringLiteral("/f10/"));
    window->SetToday([] { return QDate(2015, 7, 31); });
    window->findChild<HttpClient*>()->SetTimeout(300);
    Add();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Action("appendToToday")->isEnabled(); }, 5000));
    EXPECT_EQ(prompt.texts.last(), "连接超时，没有获取到日期区间内的净值！")
        << prompt.texts.join(u'|').toStdString();
}

TEST_F(MarketCommandsTest, AppendShowsItsPagesInTheStatusBarWhileItRuns) {
    AddExamplePlan();
    Serve006675();  // opens the plan: 240 days of 2024
    ASSERT_EQ(window->Ledger().LastRow(), 240);
    // 2024/12/31 .. 2025/2/28 takes three pages of 20; the second one asked
    // for (page 3) hangs.
    server.Hang(Page006675(3));
    window->SetToday([] { return QDate(2025, 2, 28); });
    window->findChild<HttpClient*>()->SetTimeout(500);
    const int before = server.Requests();
    Add();
    QStatusBar* status = window->statusBar();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.Requests() == before + 2; }, 5000));
    EXPECT_EQ(status->currentMessage(), "追加至今：已接收 1/3 页");
    ASSERT_TRUE(QTest::qWaitFor([&] { return Action("appendToToday")->isEnabled(); }, 5000));
    EXPECT_EQ(status->currentMessage(), "");
    EXPECT_EQ(prompt.texts.value(0), "连接超时，没有获取到日期区间内的净值！");
}

TEST_F(MarketCommandsTest, TheFundDirectoryNamesTheFund) {
    server.Answer(
        QStringLiteral("/js/fundcode_search.js"),
        test::ReadFileBytes(test::DataPath("provider/fundcode_search_excerpt_first60.js")),
        "application/javascript; charset=utf-8");
    CodeBox()->lineEdit()->clear();
    QTest::keyClicks(CodeBox()->lineEdit(), QStringLiteral("000001"));
    Action("updateFundDirectory")->trigger();
    EXPECT_FALSE(Action("updateFundDirectory")->isEnabled());
    ASSERT_TRUE(DirectoryProgress());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !prompt.texts.isEmpty(); }, 5000));
    EXPECT_EQ(prompt.texts.value(0), "更新成功！");
    EXPECT_FALSE(DirectoryProgress());
    EXPECT_TRUE(Action("updateFundDirectory")->isEnabled());
    EXPECT_EQ(window->windowTitle(), "Zororad" TOVIRA_VERSION " - 000001 华夏成长混合");
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("Cache.ini"))));
}

TEST_F(MarketCommandsTest, CancelDuringAnImportAbortsItAndAddsNothing) {
    // Pages go out 1, 12, 11, ...: page 8 hangs after four pages came in;
    // page 1 hangs at once. 取消 and Esc alike end the import there.
    // The bar counts the pages received of twelve; busy before page 1 came.
    struct Case {
        int hangingPage;
        int requestsBefore;
        bool escape;
        int barValue;
        int barMaximum;
    };
    for (const Case c : {Case{8, 6, false, 5, 12}, Case{1, 1, true, -1, 0}}) {
        SCOPED_TRACE(c.hangingPage);
        server.Clear();
        Serve006675();
        server.Hang(Page006675(c.hangingPage));
        const int before = server.Requests();
        QPointer<ImportRangeDialog> form = StartImport2024();
        ASSERT_TRUE(form);
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return server.Requests() == before + c.requestsBefore; }, 5000));
        EXPECT_TRUE(form->ProgressBar()->isVisible());
        EXPECT_EQ(form->ProgressBar()->value(), c.barValue);
        EXPECT_EQ(form->ProgressBar()->maximum(), c.barMaximum);
        if (c.escape) {
            QTest::keyClick(form, Qt::Key_Escape);
        } else {
            form->CancelButton()->click();
        }
        QTest::qWait(300);
        EXPECT_FALSE(form);
        EXPECT_FALSE(ImportDialog());
        EXPECT_TRUE(prompt.texts.isEmpty()) << prompt.texts.join(u'|').toStdString();
        EXPECT_EQ(window->Ledger().LastRow(), 0);
        EXPECT_EQ(server.Requests(), before + c.requestsBefore);
    }
}

TEST_F(MarketCommandsTest, TheWholeImportHasATimeLimit) {
    // A provider that is slow on page 8: what came before it is imported,
    // with a message saying the limit was hit. The limit: one second.
    IniDocument config;
    ASSERT_TRUE(config.Load(dir.filePath(QStringLiteral("Config.ini"))));
    config.SetValue(QStringLiteral("网络"), QStringLiteral("ImportTimeoutSeconds"),
                    QStringLiteral("1"));
    ASSERT_TRUE(config.Save(dir.filePath(QStringLiteral("Config.ini"))));
    window.reset();
    window = std::make_unique<MainWindow>(dir.path(), &prompt);
    window->SetToday([] { return QDate(2015, 7, 24); });
    Serve006675();
    const QList<QString> pages = test::RenderPages(test::ReadRows("nav/nav_006675_2024.csv"), 20);
    server.Answer(Page006675(8), pages[7].toUtf8(), "text/html; charset=utf-8", 200, 5000);
    ASSERT_TRUE(StartImport2024());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !ImportDialog(); }, 5000));
    EXPECT_EQ(prompt.texts, QStringList{"下载用时超过上限，没有获取到全部日期区间内的净值！"});
    const LedgerModel& ledger = window->Ledger();
    ASSERT_EQ(ledger.LastRow(), 80);  // pages 12 to 9, the oldest days
    EXPECT_EQ(ledger.Cell(1, Column::Date), "2024/1/4");
    EXPECT_EQ(ledger.Cell(80, Column::ID), "80");
}

TEST_F(MarketCommandsTest, DateLabelsFollowTheKeyboardToo) {
    ImportValue();
    ImportRangeDialog* form = ImportDialog();
    ASSERT_TRUE(form);
    const struct {
        QCalendarWidget* calendar;
        QLabel* label;
        Qt::Key key;
        const char* shown;
    } cases[] = {{form->StartCalendar(), form->StartLabel(), Qt::Key_Right, "2017/3/28"},
                 {form->StartCalendar(), form->StartLabel(), Qt::Key_Down, "2017/4/4"},
                 {form->EndCalendar(), form->EndLabel(), Qt::Key_Left, "2015/7/23"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        QWidget* view = c.calendar->findChild<QAbstractItemView*>();
        ASSERT_TRUE(view);
        QTest::keyClick(view, c.key);
        EXPECT_EQ(c.label->text(), c.shown);
    }
    EXPECT_EQ(form->Start(), QDate(2017, 4, 4));
    form->close();
}

TEST_F(MarketCommandsTest, CancellingTheDirectoryUpdateKeepsTheOldDirectory) {
    const QString directory = dir.filePath(QStringLiteral("FundCode.ini"));
    IniDocument names;
    names.SetValue(QStringLiteral("基金代码"), QStringLiteral("000001"), QStringLiteral("旧名"));
    ASSERT_TRUE(names.Save(directory));
    const QByteArray before = test::ReadFileBytes(directory);
    server.Hang(QStringLiteral("/js/fundcode_search.js"));
    for (const bool button : {true, false}) {
        SCOPED_TRACE(button);
        const int requests = server.Requests();
        Action("updateFundDirectory")->trigger();
        QPointer<DownloadProgressDialog> progress = DirectoryProgress();
        ASSERT_TRUE(progress);
        EXPECT_EQ(progress->ProgressBar()->maximum(), 0);  // nothing came yet: busy
        ASSERT_TRUE(QTest::qWaitFor([&] { return server.Requests() == requests + 1; }, 5000));
        if (button) {
            progress->CancelButton()->click();
        } else {
            progress->close();  // the window's own close button
        }
        QTest::qWait(200);
        EXPECT_FALSE(progress);
        EXPECT_TRUE(Action("updateFundDirectory")->isEnabled());
        EXPECT_TRUE(prompt.texts.isEmpty()) << prompt.texts.join(u'|').toStdString();
        EXPECT_EQ(test::ReadFileBytes(directory), before);
    }
}

TEST_F(MarketCommandsTest, TheWindowClosesSafelyWhileDownloadsRun) {
    server.Hang(QStringLiteral("/js/fundcode_search.js"));
    Serve006675();
    server.Hang(Page006675(12));
    Action("updateFundDirectory")->trigger();
    ASSERT_TRUE(StartImport2024());
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.Requests() == 3; }, 5000));
    window.reset();
    QTest::qWait(100);
    EXPECT_TRUE(prompt.texts.isEmpty()) << prompt.texts.join(u'|').toStdString();
}

// --- NAV histories from the JSON endpoint, the trend script behind it -------

namespace {

class ApiImportTest : public MarketCommandsTest {
  protected:
    void SetUp() override {
        MarketCommandsTest::SetUp();
        // 006675's trend script: the same days, no statuses.
        server.Answer(QStringLiteral("/pingzhongdata/006675.js"),
                      test::TrendScript(QStringLiteral("006675"), rows).toUtf8(),
                      "application/javascript; charset=utf-8");
        UseSource("api");
    }

    // Config.ini sending every NAV source to the local server, histories
    // from `source`; a new window reads it, its ledger empty.
    void UseSource(const char* source) {
        IniDocument config;
        const QString host = QStringLiteral("127.0.0.1:%1").arg(server.Port());
        for (const char* key : {"NavHistory", "NavHistoryApi", "FundDataScript", "FundDirectory"}) {
            config.SetValue(QStringLiteral("服务器"), QString::fromLatin1(key), host);
        }
        config.SetValue(QStringLiteral("服务器"), QStringLiteral("NavHistorySource"),
                        QString::fromLatin1(source));
        ASSERT_TRUE(config.Save(dir.filePath(QStringLiteral("Config.ini"))));
        window.reset();
        window = std::make_unique<MainWindow>(dir.path(), &prompt);
        window->SetToday([] { return QDate(2025, 1, 10); });
        TypeCode(QStringLiteral("006675"));
        prompt.texts.clear();
    }

    // Imports 2024 and waits until the import window closed.
    bool Import2024() {
        return StartImport2024() && QTest::qWaitFor([&] { return !ImportDialog(); }, 10000);
    }

    // Every cell of the ledger, a row a line.
    QStringList Cells() {
        QStringList lines;
        const LedgerModel& ledger = window->Ledger();
        for (int row = 1; row <= ledger.LastRow(); ++row) {
            QStringList cells;
            for (const ColumnInfo& c : Columns()) cells << ledger.Cell(row, c.column);
            lines << cells.join(u'\t');
        }
        return lines;
    }
    // The cells an import of `rows` gives: the days with their statuses and
    // dividends, row 1's Increase the first day's change, nothing computed.
    QStringList ExpectedCells(bool withStatuses) const {
        QStringList lines;
        for (int i = 0; i < rows.size(); ++i) {
            std::array<QString, kColumnCount> cells;
            cells[Index(Column::ID)] = QString::number(i + 1);
            cells[Index(Column::Date)] =
                QDate::fromString(rows[i].date, Qt::ISODate).toString(QStringLiteral("yyyy/M/d"));
            cells[Index(Column::NetValue)] = rows[i].nav;
            if (i == 0) cells[Index(Column::DailyChange)] = rows[i].change.chopped(1);
            if (withStatuses) {
                cells[Index(Column::PurchaseStatus)] = rows[i].purchase;
                cells[Index(Column::RedeemStatus)] = rows[i].redeem;
            }
            cells[Index(Column::DividendAction)] = rows[i].dividend;
            lines << QStringList(cells.begin(), cells.end()).join(u'\t');
        }
        return lines;
    }
    const QList<test::NavRow> rows = test::ReadRows("nav/nav_006675_2024.csv");
};

}  // namespace

TEST_F(ApiImportTest, TheEndpointsDaysAreTheTablesDays) {
    ASSERT_EQ(rows.size(), 240);
    ASSERT_EQ(rows[0].change, "0.37%");
    const QStringList expected = ExpectedCells(true);

    test::ServeApi(server, {{QStringLiteral("006675"), rows}});
    ASSERT_TRUE(Import2024());
    EXPECT_TRUE(prompt.texts.isEmpty()) << prompt.texts.join(u'|').toStdString();
    EXPECT_EQ(Cells(), expected);
    EXPECT_EQ(server.Requests(), 12);  // 20 days a page
    EXPECT_FALSE(server.RequestedTargets().contains(QStringLiteral("/pingzhongdata/006675.js")));

    UseSource("table");
    Serve006675();
    ASSERT_TRUE(Import2024());
    EXPECT_TRUE(prompt.texts.isEmpty()) << prompt.texts.join(u'|').toStdString();
    EXPECT_EQ(Cells(), expected);
}

TEST_F(ApiImportTest, AnUnusableEndpointOffersTheTrendScriptWithoutStatuses) {
    const QString offer = QString::fromUtf8(kMsgNavOfferTrend);
    const QString html = QStringLiteral("<!DOCTYPE html><html><body>页面已迁移</body></html>");
    const struct {
        QString answer;
        PromptAnswer reply;
        QString failure;  // shown after 否
    } cases[] = {
        {QString::fromLatin1(test::kApiRefused), PromptAnswer::Yes, {}},
        {QString::fromLatin1(test::kApiRefused), PromptAnswer::No,
         QString::fromUtf8(kMsgNavRefused).arg(-999)},
        {html, PromptAnswer::Yes, {}},
        {html, PromptAnswer::No, QString::fromUtf8(kMsgNavNotData)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer.left(30).toStdString() +
                     (c.reply == PromptAnswer::Yes ? " 是" : " 否"));
        UseSource("api");
        server.Answer(QStringLiteral("/f10/lsjz"), c.answer.toUtf8());
        const int before = server.Requests();
        prompt.replies = {c.reply};
        ASSERT_TRUE(Import2024());
        EXPECT_EQ(server.Requests(), before + (c.reply == PromptAnswer::Yes ? 2 : 1));
        if (c.reply == PromptAnswer::Yes) {
            EXPECT_EQ(prompt.texts, QStringList({offer, QString::fromUtf8(kMsgNavFromTrend)}));
            EXPECT_EQ(Cells(), ExpectedCells(false));
            EXPECT_EQ(server.RequestedTargets().last(), "/pingzhongdata/006675.js");
        } else {
            EXPECT_EQ(prompt.texts, QStringList({offer, c.failure}));
            EXPECT_EQ(window->Ledger().LastRow(), 0);
        }
    }
}

TEST_F(ApiImportTest, AMoneyFundIsRefusedWithoutAnOffer) {
    test::ServeApi(server, {{QStringLiteral("000905"), rows}});
    TypeCode(QStringLiteral("000905"));
    ASSERT_TRUE(Import2024());
    EXPECT_EQ(prompt.texts, QStringList{QString::fromUtf8(kMsgNavMoneyFund)});
    EXPECT_EQ(window->Ledger().LastRow(), 0);
    EXPECT_EQ(server.Requests(), 1);
}
