#include <gtest/gtest.h>

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTimer>
#include <thread>

#include "core/common/numbers.h"
#include "gui/charts/heat_map.h"
#include "gui/controllers/parameter_search_controller.h"
#include "gui/dialogs/parameter_search_dialog.h"
#include "support/window_fixture.h"

namespace tovira {
namespace {

class ParameterSearchTest : public test::WindowFixture {
  protected:
    // The golden plan opened as 006675's plan, and the search dialog.
    ParameterSearchDialog& OpenSearch() {
        EXPECT_TRUE(QFile::copy(test::DataPath("golden/006675-default.ini"), PlanPath("006675")));
        MainWindow& w = Window();
        w.Plans().OpenPlan(PlanPath("006675"), Mode::Theory);
        Action("parameterSearch")->trigger();
        ParameterSearchDialog* d = w.Search().Dialog();
        EXPECT_TRUE(d && d->isVisible() && !d->isModal());
        return *d;
    }
    // The parameter by its key (the boxes list the captions of those on offer).
    void SetRange(ParameterSearchDialog& d, const char* axis, const char* parameter,
                  const char* from, const char* to, const char* step) {
        const QString a = QString::fromLatin1(axis);
        QComboBox* box = d.findChild<QComboBox*>(a + QStringLiteral("Parameter"));
        const int index = box->findData(QString::fromLatin1(parameter));
        ASSERT_GE(index, 0) << parameter << " is not on offer";
        box->setCurrentIndex(index);
        d.findChild<QLineEdit*>(a + QStringLiteral("From"))->setText(QString::fromLatin1(from));
        d.findChild<QLineEdit*>(a + QStringLiteral("To"))->setText(QString::fromLatin1(to));
        d.findChild<QLineEdit*>(a + QStringLiteral("Step"))->setText(QString::fromLatin1(step));
    }
    // A grid big enough to run for seconds: 起投涨幅 × 资金总量.
    void BigGrid(ParameterSearchDialog& d) {
        SetRange(d, "x", "StartBuyPct", "-9", "0", "0.01");
        SetRange(d, "y", "TotalCapital", "10000", "500000", "1000");
    }
};

TEST_F(ParameterSearchTest, WindowKeepsRunningDuringASearchAndCancelStopsItQuickly) {
    ParameterSearchDialog& d = OpenSearch();
    BigGrid(d);
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(10);
    QSignalSpy ended(&d, &ParameterSearchDialog::SearchEnded);
    ASSERT_TRUE(d.Start());
    QTest::qWait(400);
    ASSERT_TRUE(d.Running()) << "the grid finished too soon to show anything";
    EXPECT_GE(ticks, 15);  // the event loop turned while the search ran
    EXPECT_GT(d.findChild<QProgressBar*>("searchProgress")->value(), 0);

    QElapsedTimer clock;
    clock.start();
    d.Cancel();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !ended.isEmpty(); }, 2000));
    EXPECT_LT(clock.elapsed(), 200);
    EXPECT_FALSE(d.Running());
    EXPECT_FALSE(d.Result());
    EXPECT_FALSE(d.Map()->Data().values.size());
}

TEST_F(ParameterSearchTest, ClosingTheWindowDuringASearchStopsIt) {
    ParameterSearchDialog& d = OpenSearch();
    BigGrid(d);
    ASSERT_TRUE(d.Start());
    QTest::qWait(50);
    QElapsedTimer clock;
    clock.start();
    window.reset();  // the dialog goes with it; its worker must not outlive it
    EXPECT_LT(clock.elapsed(), 1000);
}

TEST_F(ParameterSearchTest, DoubleClickTypesTheCellIntoTheSidePanelAndRecalculates) {
    ParameterSearchDialog& d = OpenSearch();
    // 起投涨幅 beyond the box's bounds (-9) and 投入倍数.
    SetRange(d, "x", "StartBuyPct", "-12", "-3", "9");
    SetRange(d, "y", "Multiple", "1.5", "1.6", "0.1");
    QSignalSpy ended(&d, &ParameterSearchDialog::SearchEnded);
    ASSERT_TRUE(d.Start());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !ended.isEmpty(); }, 10000));
    ASSERT_TRUE(d.Result());
    const SweepResult& r = *d.Result();
    ASSERT_EQ(r.x.Count(), 2);
    ASSERT_EQ(r.y.Count(), 2);
    EXPECT_EQ(d.Map()->Data().values.size(), 4u);

    MainWindow& w = Window();
    ASSERT_FALSE(w.Session().SettingsModified());
    const QString profitBefore = w.Ledger().Cell(w.Ledger().LastRow(), Column::Profit);
    const QPoint cell = d.Map()->Geometry().CellRect({0, 1}).center();  // -12, 1.6
    QTest::mouseDClick(d.Map(), Qt::LeftButton, {}, cell);

    // Typed into the boxes: 起投涨幅 clamped to the bound as the box does.
    EXPECT_EQ(Panel()->Box(Field::StartBuyPct)->text(), QStringLiteral("-9.00"));
    EXPECT_EQ(w.Settings().Text(Field::StartBuyPct), QStringLiteral("-9.00"));
    EXPECT_EQ(w.Settings().Text(Field::Multiple), QStringLiteral("1.6"));
    EXPECT_EQ(Panel()->Box(Field::Multiple)->text(), QStringLiteral("1.6"));
    EXPECT_TRUE(w.Session().SettingsModified());
    EXPECT_TRUE(w.PlanModified());
    // The plan's cell is the chosen one now (起投涨幅 used at the bound).
    EXPECT_EQ(d.Map()->Data().currentX, 0);
    EXPECT_EQ(d.Map()->Data().currentY, 1);
    // Recalculated: the ledger's last profit is the cell's figure.
    const QString profitAfter = w.Ledger().Cell(w.Ledger().LastRow(), Column::Profit);
    EXPECT_NE(profitAfter, profitBefore);
    EXPECT_DOUBLE_EQ(ReadNumber(profitAfter), r.At(0, 1).profit);
}

TEST_F(ParameterSearchTest, AGreyedOutBoxIsNotTypedIntoAndTheUserIsTold) {
    ParameterSearchDialog& d = OpenSearch();
    // 起卖点位 is on offer while 越涨越卖 is on; the switch goes off after the search.
    QCheckBox* sellOnRises =
        Panel()->findChild<QCheckBox*>(QLatin1String(SwitchOf(Switch::SellOnRises).objectName));
    sellOnRises->click();
    QCoreApplication::processEvents();
    SetRange(d, "x", "StartSellPct", "2", "3", "1");
    SetRange(d, "y", "Multiple", "1.5", "1.6", "0.1");
    QSignalSpy ended(&d, &ParameterSearchDialog::SearchEnded);
    ASSERT_TRUE(d.Start());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !ended.isEmpty(); }, 10000));
    sellOnRises->click();
    QCoreApplication::processEvents();
    ASSERT_FALSE(Panel()->Box(Field::StartSellPct)->isEnabled());
    EXPECT_EQ(d.StaleReason(), QStringLiteral("参数已改变"));
    const QString sellBefore = Window().Settings().Text(Field::StartSellPct);
    QTest::mouseDClick(d.Map(), Qt::LeftButton, {}, d.Map()->Geometry().CellRect({1, 0}).center());
    EXPECT_EQ(Window().Settings().Text(Field::StartSellPct), sellBefore);
    EXPECT_EQ(Window().Settings().Text(Field::Multiple), QStringLiteral("1.5"));
    ASSERT_FALSE(prompt.texts.isEmpty());
    EXPECT_EQ(prompt.texts.first(), QStringLiteral("「起卖点位」目前不可修改，未填入！"));
}

TEST_F(ParameterSearchTest, CellsOfAnotherFundsSearchAreNotTypedIntoThisPlan) {
    ParameterSearchDialog& d = OpenSearch();
    SetRange(d, "x", "StartBuyPct", "-2", "-1", "1");
    SetRange(d, "y", "Multiple", "1.5", "1.6", "0.1");
    QSignalSpy ended(&d, &ParameterSearchDialog::SearchEnded);
    ASSERT_TRUE(d.Start());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !ended.isEmpty(); }, 10000));
    // Another fund's plan takes the ledger while the dialog stays open.
    Window().Session().SetLedgerCode(QStringLiteral("000011"));
    const QString startBuy = Window().Settings().Text(Field::StartBuyPct);
    QTest::mouseDClick(d.Map(), Qt::LeftButton, {}, d.Map()->Geometry().CellRect({0, 0}).center());
    EXPECT_EQ(Window().Settings().Text(Field::StartBuyPct), startBuy);
    EXPECT_FALSE(Window().Session().SettingsModified());
    ASSERT_FALSE(prompt.texts.isEmpty());
    EXPECT_EQ(prompt.texts.last(),
              QStringLiteral("寻优结果属于基金006675的计划，请重新开始寻优！"));
}

TEST_F(ParameterSearchTest, ParametersAreOfferedByCaptionOnlyWhenTheirSwitchesLetThemCount) {
    ParameterSearchDialog& d = OpenSearch();  // every switch off
    auto offered = [&] {
        QStringList captions;
        const QComboBox* box = d.findChild<QComboBox*>(QStringLiteral("yParameter"));
        for (int k = 0; k < box->count(); ++k) captions << box->itemText(k);
        return captions.join(u' ');
    };
    EXPECT_EQ(offered(), QStringLiteral("起投涨幅 投入倍数 倍数加大 资金总量"));
    EXPECT_TRUE(d.findChild<QLabel*>(QStringLiteral("idleParameters"))
                    ->text()
                    .contains(QStringLiteral("风控仓位在「加仓优先」关闭时不起作用")));
    Panel()->findChild<QCheckBox*>(QLatin1String(SwitchOf(Switch::BuyFirst).objectName))->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(offered(), QStringLiteral("起投涨幅 投入倍数 倍数加大 风控仓位 资金总量"));
    // 实际操作: the dialog says what it searches and what a double-click does.
    const QLabel* note = d.findChild<QLabel*>(QStringLiteral("searchModeNote"));
    EXPECT_TRUE(note->isHidden());
    Window().Plans().ModeClicked(Mode::Fact);
    EXPECT_FALSE(note->isHidden());
    EXPECT_TRUE(note->text().contains(QStringLiteral("理论计算")));
}

TEST_F(ParameterSearchTest, AResultIsGreyedWhenThePlanChangesOrASearchIsCancelled) {
    ParameterSearchDialog& d = OpenSearch();
    SetRange(d, "x", "StartBuyPct", "-2", "-1", "1");
    SetRange(d, "y", "Multiple", "1.5", "1.6", "0.1");
    QSignalSpy ended(&d, &ParameterSearchDialog::SearchEnded);
    const auto search = [&] {
        const qsizetype before = ended.count();
        ASSERT_TRUE(d.Start());
        ASSERT_TRUE(QTest::qWaitFor([&] { return ended.count() > before; }, 10000));
    };
    search();
    ASSERT_TRUE(d.Result());
    EXPECT_EQ(d.StaleReason(), QString());
    EXPECT_FALSE(d.Map()->graphicsEffect());
    // A chosen cell changes only the two searched parameters: still current.
    QTest::mouseDClick(d.Map(), Qt::LeftButton, {}, d.Map()->Geometry().CellRect({0, 0}).center());
    EXPECT_EQ(Window().Settings().Text(Field::Multiple), QStringLiteral("1.5"));
    EXPECT_EQ(d.StaleReason(), QString());
    // Another parameter, then a row: stale; back as it was: current again.
    QLineEdit* fee = Panel()->Box(Field::PurchaseFeePct);
    const QString feeBefore = fee->text();
    fee->selectAll();
    QTest::keyClicks(fee, QStringLiteral("1"));
    QCoreApplication::processEvents();
    EXPECT_EQ(d.StaleReason(), QStringLiteral("参数已改变"));
    EXPECT_TRUE(d.Map()->graphicsEffect());
    fee->selectAll();
    QTest::keyClicks(fee, feeBefore);
    QCoreApplication::processEvents();
    EXPECT_EQ(d.StaleReason(), QString());
    LedgerModel& ledger = Window().Ledger();
    const QString nav = ledger.Cell(2, Column::NetValue);
    ledger.SetCell(2, Column::NetValue, QStringLiteral("9.9999"));
    EXPECT_EQ(d.StaleReason(), QStringLiteral("参数已改变"));
    ledger.SetCell(2, Column::NetValue, nav);
    EXPECT_EQ(d.StaleReason(), QString());
    // A cancelled search leaves the last result, greyed; a finished one clears it.
    BigGrid(d);
    ASSERT_TRUE(d.Start());
    d.Cancel();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !d.Running(); }, 2000));
    EXPECT_EQ(d.StaleReason(), QStringLiteral("已取消"));
    EXPECT_EQ(d.findChild<QLabel*>(QStringLiteral("staleResult"))->text().left(3),
              QStringLiteral("已取消"));
    SetRange(d, "x", "StartBuyPct", "-2", "-1", "1");
    SetRange(d, "y", "Multiple", "1.5", "1.6", "0.1");
    search();
    EXPECT_EQ(d.StaleReason(), QString());
}

}  // namespace
}  // namespace tovira
