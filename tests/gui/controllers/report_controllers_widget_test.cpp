// The back-test report and the parameter search over the session: the report
// is of the session's plan in the mode shown, and a chosen search cell goes
// into the session's settings as typed, as unsaved work.

#include <gtest/gtest.h>

#include <QFile>
#include <QLineEdit>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>

#include "gui/controllers/backtest_report_controller.h"
#include "gui/controllers/parameter_search_controller.h"
#include "gui/dialogs/backtest_report_window.h"
#include "plan_bench.h"

using namespace tovira;

namespace {

QStringList Cells(const QTableWidget& table) {
    QStringList cells;
    for (int r = 0; r < table.rowCount(); ++r) {
        for (int c = 0; c < table.columnCount(); ++c) {
            const QTableWidgetItem* item = table.item(r, c);
            cells << (item ? item->text() : QString());
        }
    }
    return cells;
}

QStringList ReportCells(const PlanSession& session, Mode mode) {
    BacktestReportWindow shown;
    shown.ShowReport(*BuildBacktestReport(session.Ledger(), session.Settings(), mode));
    return Cells(*shown.Table());
}

struct ReportBench : test::PlanBench {
    ReportBench() : report(&window, &bar, session, prompt) {
        EXPECT_TRUE(QFile::copy(test::DataPath("golden/006675-default.ini"), PlanPath("006675")));
    }
    QStatusBar bar;
    BacktestReportController report;
};

// Opened in either mode, the report follows a switch to the other one and
// closes once the rows are gone.
TEST(BacktestReportControllerWidget, TheReportIsOfTheSessionsPlanInTheModeShown) {
    for (const Mode mode : {Mode::Theory, Mode::Fact}) {
        const Mode other = mode == Mode::Theory ? Mode::Fact : Mode::Theory;
        ReportBench b;
        b.report.OpenReport();
        EXPECT_EQ(b.prompt.texts, QStringList{"请导入净值！"});
        EXPECT_EQ(b.report.ReportWindow(), nullptr);

        b.plans.OpenPlan(b.PlanPath("006675"), mode);
        b.report.OpenReport();
        ASSERT_NE(b.report.ReportWindow(), nullptr);
        const QStringList shown = Cells(*b.report.ReportWindow()->Table());
        EXPECT_EQ(shown, ReportCells(b.session, mode));

        b.plans.ModeClicked(other);
        b.report.UpdateNow();
        ASSERT_NE(b.report.ReportWindow(), nullptr);
        EXPECT_EQ(Cells(*b.report.ReportWindow()->Table()), ReportCells(b.session, other));
        EXPECT_NE(Cells(*b.report.ReportWindow()->Table()), shown);

        b.session.ClearRows();
        b.report.UpdateNow();
        EXPECT_EQ(b.report.ReportWindow(), nullptr);
    }
}

// What a chosen cell does to the plan: typed as the user would (clamped),
// refused for a greyed-out box or another fund's search, and unsaved work
// when anything was typed.
TEST(ParameterSearchControllerWidget, AChosenCellGoesIntoTheSessionsSettingsAsUnsavedWork) {
    struct Case {
        const char* name;
        Field x;
        const char* xText;
        const char* otherFund;  // the ledger's fund once the search started, or ""
        const char* xSetting;   // 起投涨幅 or 起卖点位 after the choice ("" = unchanged)
        const char* multiple;   // 倍数 after the choice ("" = unchanged)
        const char* message;    // what the user is told, or ""
    };
    const Case cases[] = {
        {"clamped", Field::StartBuyPct, "-12", "", "-9.00", "1.6", ""},
        {"greyed out", Field::StartSellPct, "3", "", "", "1.6",
         "「起卖点位」目前不可修改，未填入！"},
        {"another fund's", Field::StartBuyPct, "-2", "000011", "", "",
         "寻优结果属于基金006675的计划，请重新开始寻优！"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ReportBench b;
        ParameterSearchController search(&b.window, b.session, b.panel, b.plans, b.prompt);
        b.session.SetLedgerCode(QStringLiteral("006675"));
        b.plans.OpenPlan(b.PlanPath("006675"), Mode::Theory);
        search.Open();
        ASSERT_NE(search.Dialog(), nullptr);
        emit search.Dialog()->SearchStarted();
        if (*c.otherFund) b.session.SetLedgerCode(QLatin1String(c.otherFund));
        const QString xBefore = b.session.Settings().Text(c.x);
        const QString multipleBefore = b.session.Settings().Text(Field::Multiple);
        const QString profitBefore =
            b.session.Ledger().Cell(b.session.Ledger().LastRow(), Column::Profit);

        search.ApplyCell(c.x, QLatin1String(c.xText), Field::Multiple, QStringLiteral("1.6"));
        EXPECT_EQ(b.session.Settings().Text(c.x), *c.xSetting ? c.xSetting : xBefore);
        EXPECT_EQ(b.panel->Box(c.x)->text(), b.session.Settings().Text(c.x));
        EXPECT_EQ(b.session.Settings().Text(Field::Multiple),
                  *c.multiple ? c.multiple : multipleBefore);
        EXPECT_EQ(b.prompt.texts.join(u'|'), QString::fromUtf8(c.message));
        const bool typed = *c.multiple != '\0';
        EXPECT_EQ(b.session.SettingsModified(), typed);
        EXPECT_EQ(b.mark.text().isEmpty(), !typed);
        // Recalculated with the new parameters.
        EXPECT_EQ(
            b.session.Ledger().Cell(b.session.Ledger().LastRow(), Column::Profit) != profitBefore,
            typed);
    }
}

}  // namespace
