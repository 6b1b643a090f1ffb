#include <gtest/gtest.h>

#include <QLabel>
#include <QMouseEvent>
#include <QTableWidget>
#include <QTest>

#include "core/common/numbers.h"
#include "gui/charts/profit_chart.h"
#include "gui/controllers/backtest_report_controller.h"
#include "gui/dialogs/backtest_report_window.h"
#include "support/window_fixture.h"

namespace tovira {
namespace {

class BacktestReportTest : public test::WindowFixture {
  protected:
    // The golden plan opened as 006675's plan.
    MainWindow& OpenGolden() {
        EXPECT_TRUE(QFile::copy(test::DataPath("golden/006675-default.ini"), PlanPath("006675")));
        MainWindow& w = Window();
        w.Plans().OpenPlan(PlanPath("006675"), Mode::Theory);
        return w;
    }
    // Types 资金总量 into the side panel, as the user would.
    void SetCapital(const char* amount) {
        QLineEdit* box = Panel()->Box(Field::TotalCapital);
        box->selectAll();
        QTest::keyClicks(box, QString::fromLatin1(amount));
    }
    QString Status() { return Find<QLabel>("backtestStatus")->text(); }
    // The text of a figure row of the report table, by its caption.
    static QString Figure(const QTableWidget& table, const QString& caption, int column) {
        for (int r = 0; r < table.rowCount(); ++r) {
            if (table.item(r, 0) && table.item(r, 0)->text() == caption) {
                return table.item(r, column) ? table.item(r, column)->text() : QString();
            }
        }
        return QStringLiteral("<no row>");
    }
    // Waits for the changes of a command to be looked at.
    static bool Settled(const std::function<bool()>& done) { return QTest::qWaitFor(done, 2000); }
};

TEST_F(BacktestReportTest, StatusLineFollowsEveryRecalculation) {
    MainWindow& w = OpenGolden();
    const LedgerModel& ledger = w.Ledger();
    const int n = ledger.LastRow();
    ASSERT_GT(n, 100);
    double peak = 0;
    for (int row = 1; row <= n; ++row) {
        peak = std::max(peak, ReadNumber(ledger.Cell(row, Column::NetInvested)));
    }
    const QString expected =
        QStringLiteral("最高占用资金 %1  净盈亏 %2  占用资金收益率 ")
            .arg(FormatPattern(peak, u"0.00"),
                 FormatPattern(ReadNumber(ledger.Cell(n, Column::Profit)), u"0.00"));
    ASSERT_TRUE(Settled([&] { return Status().startsWith(expected); })) << Status().toStdString();
    EXPECT_TRUE(Status().contains(QRegularExpression(
        QStringLiteral("占用资金收益率 -?\\d+\\.\\d\\d%  年化收益率XIRR -?\\d+\\.\\d\\d%$"))))
        << Status().toStdString();
    EXPECT_EQ(Find<QLabel>("unsavedMark")->text(), "");

    // A refresh with other parameters shows other figures; clearing the
    // list leaves none.
    const QString before = Status();
    SetCapital("5000");
    Action("refresh")->trigger();
    ASSERT_TRUE(Settled([&] { return Status() != before; }));
    EXPECT_TRUE(Status().startsWith(QStringLiteral("最高占用资金 ")));
    EXPECT_EQ(Find<QLabel>("unsavedMark")->text(), "未保存的修改");
    w.Ledger().ClearRows();
    EXPECT_TRUE(Settled([&] { return Status().isEmpty(); }));
}

// The status line speaks the report's words and shows its texts: "—" for
// a figure that does not exist, "溢出" for an absurd one, "（多解）".
TEST_F(BacktestReportTest, StatusLineTexts) {
    StrategyFigures f;
    f.maxCapital = 0;
    f.profit = -1.5;
    EXPECT_EQ(BacktestStatusText(f),
              "最高占用资金 0.00  净盈亏 -1.50  占用资金收益率 —  年化收益率XIRR —");
    f.returnOnCapitalPct = 12.3;
    f.xirrPct = -0.05;
    EXPECT_EQ(BacktestStatusText(f),
              "最高占用资金 0.00  净盈亏 -1.50  占用资金收益率 12.30%  年化收益率XIRR -0.05%");
    f.maxCapital = 3.166354e38;
    f.xirrPct = 3.7e210;
    f.xirrUnique = false;
    f.returnOnCapitalPct = 69.33;
    EXPECT_EQ(
        BacktestStatusText(f),
        "最高占用资金 溢出  净盈亏 -1.50  占用资金收益率 69.33%  年化收益率XIRR 溢出（多解）");
    EXPECT_EQ(BacktestStatusText(std::nullopt), "");
}

TEST(BacktestReportPlaceTest, BesideTheMainWindowWhereThereIsRoom) {
    const QRect screen(0, 0, 1366, 728);  // 1366×768 less a panel
    const QSize size(1040, 680);
    const struct {
        const char* name;
        QRect main;
        QRect place;
    } cases[] = {
        {"room on the right", QRect(0, 10, 300, 500), QRect(300, 10, 1040, 680)},
        {"room on the left only", QRect(1100, 50, 266, 500), QRect(60, 48, 1040, 680)},
        {"no room: at the right edge", QRect(200, 0, 1000, 700), QRect(326, 0, 1040, 680)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BacktestReportWindow::PlaceBeside(c.main, size, screen), c.place) << c.name;
    }
    // Never larger than the screen.
    EXPECT_EQ(BacktestReportWindow::PlaceBeside(QRect(0, 0, 10, 10), QSize(2000, 900), screen),
              QRect(0, 0, 1366, 728));
}

TEST_F(BacktestReportTest, EmptyLedgerOpensNothing) {
    Window();
    ASSERT_EQ(Window().Ledger().LastRow(), 0);
    Action("backtestReport")->trigger();
    EXPECT_EQ(prompt.texts, QStringList{"请导入净值！"});
    EXPECT_EQ(Window().Backtest().ReportWindow(), nullptr);
}

TEST_F(BacktestReportTest, ReportWindowFollowsTheNextRecalculation) {
    MainWindow& w = OpenGolden();
    w.show();
    Action("backtestReport")->trigger();
    BacktestReportWindow* report = w.Backtest().ReportWindow();
    ASSERT_NE(report, nullptr);
    EXPECT_TRUE(report->isVisible());
    EXPECT_FALSE(report->isModal());
    const QTableWidget& table = *report->Table();
    ASSERT_EQ(table.columnCount(), 4);
    QStringList header;
    for (int c = 0; c < 4; ++c) header << table.horizontalHeaderItem(c)->text();
    EXPECT_EQ(header, QStringList({"项目", "本计划", "一次性买入", "每月定投"}));
    EXPECT_EQ(
        Figure(table, QStringLiteral("净盈亏"), 1),
        FormatPattern(ReadNumber(w.Ledger().Cell(w.Ledger().LastRow(), Column::Profit)), u"0.00"));
    EXPECT_TRUE(table.item(1, 1)->textAlignment() & Qt::AlignRight);

    // A second command raises the same window.
    Action("backtestReport")->trigger();
    EXPECT_EQ(w.Backtest().ReportWindow(), report);
    EXPECT_EQ(w.findChildren<BacktestReportWindow*>().size(), 1);

    const QString capital = Figure(table, QStringLiteral("最高占用资金"), 1);
    const QString lump = Figure(table, QStringLiteral("净盈亏"), 2);
    SetCapital("5000");
    Action("refresh")->trigger();
    ASSERT_TRUE(
        Settled([&] { return Figure(table, QStringLiteral("最高占用资金"), 1) != capital; }));
    EXPECT_NE(Figure(table, QStringLiteral("净盈亏"), 2), lump);
    EXPECT_TRUE(prompt.texts.isEmpty());

    // The window fits a 1366×768 screen and remembers where it was left.
    EXPECT_LE(report->frameGeometry().width(), 1366);
    EXPECT_LE(report->frameGeometry().height(), 728);
    report->move(report->pos() + QPoint(7, 9));
    const QRect left(report->pos(), report->size());
    report->close();
    EXPECT_EQ(BacktestReportWindow::SavedPlace(w.Session().ProgramFolder()), left);
    ASSERT_TRUE(Settled([&] { return w.Backtest().ReportWindow() == nullptr; }));
    Action("backtestReport")->trigger();
    report = w.Backtest().ReportWindow();
    ASSERT_NE(report, nullptr);
    EXPECT_EQ(QRect(report->pos(), report->size()), left);

    // Hovering the chart picks the day nearest to the pointer.
    ProfitChart& chart = *report->Chart();
    const ProfitChartGeometry g = chart.Geometry();
    ASSERT_TRUE(g.Valid());
    const QPointF at(g.Plot().center());
    QMouseEvent move(QEvent::MouseMove, at, chart.mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(&chart, &move);
    EXPECT_EQ(chart.HoverRow(), g.NearestRow(at.x()));
    EXPECT_TRUE(chart.HoverRow().has_value());
}

TEST(ProfitChartGeometryTest, DatesValuesAndTheRowUnderThePointer) {
    const std::vector<QDate> dates = {QDate(2020, 1, 1), QDate(2020, 1, 2), QDate(2020, 1, 4),
                                      QDate(), QDate(2020, 1, 11)};
    const std::vector<ProfitSeries> series = {{"a", Qt::red, {0, 50, -50, 1e9, 150}},
                                              {"b", Qt::blue, {0, 10, 20, 30, 40}}};
    const ProfitChartGeometry g(dates, series, QRectF(100, 0, 100, 50));
    ASSERT_TRUE(g.Valid());
    EXPECT_EQ(g.First(), QDate(2020, 1, 1));
    EXPECT_EQ(g.Last(), QDate(2020, 1, 11));
    EXPECT_DOUBLE_EQ(g.XFor(QDate(2020, 1, 4)), 130);
    // The undated row's figure does not stretch the money axis.
    EXPECT_LT(g.High(), 200);
    EXPECT_DOUBLE_EQ(g.YFor(g.Low()), 50);
    EXPECT_DOUBLE_EQ(g.YFor(g.High()), 0);
    EXPECT_LT(g.YFor(150), g.YFor(0));

    const struct {
        double x;
        std::optional<int> row;
    } pointers[] = {{100, 0}, {117, 1},           {126, 2},           {170, 4},
                    {200, 4}, {50, std::nullopt}, {250, std::nullopt}};
    for (const auto& p : pointers) EXPECT_EQ(g.NearestRow(p.x), p.row) << p.x;

    EXPECT_FALSE(ProfitChartGeometry({QDate()}, series, QRectF(0, 0, 10, 10)).Valid());
}

TEST(ProfitChartGeometryTest, AxisLabelsFallOnRoundDatesAndAmounts) {
    const std::vector<QDate> dates = {QDate(2020, 1, 15), QDate(2023, 6, 30)};
    const std::vector<ProfitSeries> series = {{"a", Qt::red, {-1234, 5678}}};
    const ProfitChartGeometry g(dates, series, QRectF(0, 0, 600, 300));
    EXPECT_EQ(g.DateTicks(5),
              std::vector<QDate>({QDate(2021, 1, 1), QDate(2022, 1, 1), QDate(2023, 1, 1)}));
    const std::vector<QDate> quarters = g.DateTicks(20);
    ASSERT_EQ(quarters.size(), 13u);
    EXPECT_EQ(quarters.front(), QDate(2020, 4, 1));
    EXPECT_EQ(quarters.back(), QDate(2023, 4, 1));
    const std::vector<double> amounts = g.ValueTicks(8);
    ASSERT_GE(amounts.size(), 4u);
    EXPECT_EQ(amounts[1] - amounts[0], 1000);
    EXPECT_NE(std::find(amounts.begin(), amounts.end(), 0.0), amounts.end());
}

}  // namespace
}  // namespace tovira
