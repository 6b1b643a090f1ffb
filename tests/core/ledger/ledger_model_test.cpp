#include "core/ledger/ledger_model.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QSignalSpy>

#include "core/engine/ledger_commands.h"
#include "core/storage/plan_file.h"
#include "support/test_support.h"

using namespace tovira;
using test::AddDays;

namespace {

// Rows 1..n with IDs "1".."n" and a date cell telling them apart.
void AddNumberedRows(LedgerModel& ledger, int n) {
    for (int i = 0; i < n; ++i) {
        const int row = ledger.LastRow() + 1;
        ASSERT_TRUE(ledger.AddRow(QString::number(row)));
        ledger.SetCell(row, Column::Date, QStringLiteral("2020/1/%1").arg(row));
    }
}

QStringList Ids(const LedgerModel& ledger) {
    QStringList ids;
    for (int row = 1; row <= ledger.LastRow(); ++row) ids << ledger.Cell(row, Column::ID);
    return ids;
}

// Every notification a view could react to, counted.
struct ModelSignals {
    explicit ModelSignals(LedgerModel& m)
        : dataChanged(&m, &QAbstractItemModel::dataChanged),
          aboutToReset(&m, &QAbstractItemModel::modelAboutToBeReset),
          reset(&m, &QAbstractItemModel::modelReset),
          rowsInserted(&m, &QAbstractItemModel::rowsInserted),
          rowsRemoved(&m, &QAbstractItemModel::rowsRemoved) {}
    int Total() const {
        return int(dataChanged.count() + aboutToReset.count() + reset.count() +
                   rowsInserted.count() + rowsRemoved.count());
    }
    QSignalSpy dataChanged, aboutToReset, reset, rowsInserted, rowsRemoved;
};

}  // namespace

TEST(LedgerColumnsTest, EighteenColumnsWithKeysCaptionsAndWidths) {
    struct Expected {
        Column column;
        const char* key;
        const char* caption;
        int width;
    };
    const Expected expected[] = {
        {Column::ID, "ID", "ID", 500},
        {Column::Date, "Date", "日期", 1170},
        {Column::NetValue, "NetValue", "净值", 900},
        {Column::DailyChange, "Increase", "涨幅(%)", 900},
        {Column::CumulativeChange, "TTIncrease", "累涨(%)", 900},
        {Column::PurchaseAmount, "PurchaseAmount", "申购金额", 1000},
        {Column::ConfirmedShares, "PurchaseShares", "确认份额", 1000},
        {Column::RedeemShares, "RedeemShares", "赎回份额", 1000},
        {Column::RedeemAmount, "RedeemAmount", "确认金额", 1000},
        {Column::HeldShares, "HoldShares", "持有份额", 1000},
        {Column::MarketValue, "MarketValue", "资产市值", 1000},
        {Column::NetInvested, "TTPurchase", "总投入", 1000},
        {Column::Profit, "Profit", "净盈亏", 1000},
        {Column::ReturnPct, "ROProfit", "收益(%)", 900},
        {Column::AverageCost, "AverageValue", "持仓成本", 1000},
        {Column::PurchaseStatus, "PurchaseEnabled", "申购状态", 1000},
        {Column::RedeemStatus, "RedeemEnabled", "赎回状态", 1000},
        {Column::DividendAction, "RedConversion", "分红配送", 3000},
    };
    LedgerModel ledger;
    ASSERT_EQ(ledger.columnCount(), 18);
    ASSERT_EQ(Columns().size(), std::size(expected));
    for (int i = 0; i < 18; ++i) {
        const Expected& e = expected[i];
        SCOPED_TRACE(e.key);
        EXPECT_EQ(Index(e.column), i);
        EXPECT_EQ(ColumnKey(e.column), QLatin1String(e.key));
        EXPECT_EQ(ColumnByKey(QString::fromLatin1(e.key)), e.column);
        EXPECT_EQ(ledger.headerData(i, Qt::Horizontal).toString(), QString::fromUtf8(e.caption));
        EXPECT_EQ(ColumnOf(e.column).widthTwips, e.width);
    }
    EXPECT_EQ(ColumnByKey(u"Nothing"), std::nullopt);
    EXPECT_EQ(ColumnByKey(u""), std::nullopt);
}

TEST(LedgerModelTest, RowsHoldTextCellsAddressedByKey) {
    LedgerModel ledger;
    EXPECT_EQ(ledger.LastRow(), 0);
    ASSERT_TRUE(ledger.AddRow(QStringLiteral("7")));
    ASSERT_TRUE(ledger.AddRow(QStringLiteral("8")));
    EXPECT_EQ(ledger.LastRow(), 2);
    EXPECT_EQ(ledger.rowCount(), 2);
    EXPECT_EQ(ledger.Cell(1, Column::ID), "7");
    for (int c = 1; c < kColumnCount; ++c) {
        EXPECT_TRUE(ledger.Cell(1, static_cast<Column>(c)).isEmpty());
    }

    ledger.SetCell(2, Column::NetValue, QStringLiteral("1.0234"));
    ledger.SetCell(2, Column::DividendAction, QStringLiteral("每份派现金0.05元"));
    EXPECT_EQ(ledger.Cell(2, Column::NetValue), "1.0234");
    EXPECT_EQ(ledger.Cell(2, Column::DividendAction), "每份派现金0.05元");
    EXPECT_TRUE(ledger.Cell(1, Column::NetValue).isEmpty());

    // The view sees the same texts, left-aligned, at the column's position.
    const QModelIndex at = ledger.index(1, Index(Column::NetValue));
    EXPECT_EQ(ledger.data(at).toString(), "1.0234");
    EXPECT_EQ(ledger.data(ledger.index(1, 0)).toString(), "8");
    EXPECT_EQ(
        ledger.data(at, Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignHorizontal_Mask,
        Qt::AlignLeft);
}

TEST(LedgerModelTest, RemovingARowKeepsTheOtherIds) {
    LedgerModel ledger;
    AddNumberedRows(ledger, 5);
    ledger.SetCellColour(4, Column::DailyChange, kRed);

    ledger.RemoveRow(3);
    EXPECT_EQ(Ids(ledger), QStringList({"1", "2", "4", "5"}));
    EXPECT_EQ(ledger.rowCount(), 4);
    // The rows below moved up with their cells and colours.
    EXPECT_EQ(ledger.Cell(3, Column::Date), "2020/1/4");
    EXPECT_EQ(ledger.CellColour(3, Column::DailyChange), kRed);
    EXPECT_EQ(ledger.CellColour(4, Column::DailyChange), std::nullopt);

    ledger.RemoveRow(1);
    ledger.RemoveRow(3);
    EXPECT_EQ(Ids(ledger), QStringList({"2", "4"}));

    ledger.ClearRows();
    EXPECT_EQ(ledger.LastRow(), 0);
    EXPECT_EQ(ledger.rowCount(), 0);
    // A new row after clearing starts empty.
    ASSERT_TRUE(ledger.AddRow(QStringLiteral("1")));
    EXPECT_TRUE(ledger.Cell(1, Column::Date).isEmpty());
    EXPECT_EQ(ledger.CellColour(1, Column::DailyChange), std::nullopt);
}

TEST(LedgerModelTest, RowsOutsideTheTableAreHarmless) {
    LedgerModel ledger;
    EXPECT_TRUE(ledger.Cell(1, Column::Date).isEmpty());
    AddNumberedRows(ledger, 2);
    ModelSignals spy(ledger);

    for (int row : {-1, 0, 3, 40000}) {
        EXPECT_TRUE(ledger.Cell(row, Column::Date).isEmpty());
        ledger.SetCell(row, Column::Date, QStringLiteral("2021/1/1"));
        ledger.SetCellColour(row, Column::DailyChange, kRed);
        EXPECT_EQ(ledger.CellColour(row, Column::DailyChange), std::nullopt);
        ledger.RemoveRow(row);
    }
    EXPECT_EQ(Ids(ledger), QStringList({"1", "2"}));
    EXPECT_EQ(ledger.Cell(2, Column::Date), "2020/1/2");
    EXPECT_FALSE(ledger.data(ledger.index(5, 1)).isValid());
    EXPECT_FALSE(ledger.data(QModelIndex()).isValid());
    EXPECT_EQ(spy.Total(), 0);

    LedgerModel empty;
    ModelSignals emptySpy(empty);
    empty.ClearRows();
    empty.RemoveRow(1);
    EXPECT_EQ(emptySpy.Total(), 0);
}

TEST(LedgerModelTest, AddRowStopsAtTheRowLimit) {
    LedgerModel ledger;
    {
        BulkUpdate bulk(ledger);
        for (int i = 1; i <= LedgerModel::kMaxRows; ++i) {
            ASSERT_TRUE(ledger.AddRow(QString::number(i)));
        }
    }
    EXPECT_EQ(ledger.LastRow(), 32767);
    ModelSignals spy(ledger);
    EXPECT_FALSE(ledger.AddRow(QStringLiteral("32768")));
    EXPECT_EQ(ledger.LastRow(), 32767);
    EXPECT_EQ(ledger.Cell(32767, Column::ID), "32767");
    EXPECT_EQ(spy.Total(), 0);

    // Room again after a removal.
    ledger.RemoveRow(1);
    EXPECT_TRUE(ledger.AddRow(QStringLiteral("32768")));
    EXPECT_EQ(ledger.Cell(32767, Column::ID), "32768");
}

TEST(LedgerModelTest, CellColoursReachTheView) {
    LedgerModel ledger;
    AddNumberedRows(ledger, 2);
    ledger.SetCellColour(1, Column::DailyChange, kRed);
    ledger.SetCellColour(2, Column::ReturnPct, kGreen);

    const auto foreground = [&](int row, Column c) {
        return ledger.data(ledger.index(row - 1, Index(c)), Qt::ForegroundRole);
    };
    EXPECT_EQ(foreground(1, Column::DailyChange).value<QColor>(), QColor(255, 0, 0));
    EXPECT_EQ(foreground(2, Column::ReturnPct).value<QColor>(), QColor(0, 255, 0));
    // Uncoloured cells leave the colour to the view.
    EXPECT_FALSE(foreground(1, Column::ReturnPct).isValid());
    EXPECT_FALSE(foreground(2, Column::DailyChange).isValid());
    EXPECT_FALSE(foreground(1, Column::Date).isValid());

    // A change is announced for that cell; setting the same colour again is not.
    QSignalSpy changed(&ledger, &QAbstractItemModel::dataChanged);
    ledger.SetCellColour(1, Column::DailyChange, kGreen);
    ledger.SetCellColour(1, Column::DailyChange, kGreen);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].toModelIndex(), ledger.index(0, Index(Column::DailyChange)));
    EXPECT_TRUE(changed[0][2].value<QList<int>>().contains(Qt::ForegroundRole));
    EXPECT_EQ(foreground(1, Column::DailyChange).value<QColor>(), QColor(0, 255, 0));
}

TEST(LedgerModelTest, SingleChangesAreAnnouncedOneByOne) {
    LedgerModel ledger;
    ModelSignals spy(ledger);
    AddNumberedRows(ledger, 3);
    EXPECT_EQ(spy.rowsInserted.count(), 3);
    EXPECT_EQ(spy.dataChanged.count(), 3);  // the three dates

    spy.dataChanged.clear();
    ledger.SetCell(2, Column::NetValue, QStringLiteral("1.5"));
    ledger.SetCell(2, Column::NetValue, QStringLiteral("1.5"));  // unchanged: silent
    ASSERT_EQ(spy.dataChanged.count(), 1);
    const QModelIndex cell = ledger.index(1, Index(Column::NetValue));
    EXPECT_EQ(spy.dataChanged[0][0].toModelIndex(), cell);
    EXPECT_EQ(spy.dataChanged[0][1].toModelIndex(), cell);

    ledger.RemoveRow(2);
    ASSERT_EQ(spy.rowsRemoved.count(), 1);
    EXPECT_EQ(spy.rowsRemoved[0][1].toInt(), 1);
    ledger.ClearRows();
    EXPECT_EQ(spy.reset.count(), 1);
}

TEST(LedgerModelTest, BulkCellWritesGiveOneDataChanged) {
    LedgerModel ledger;
    AddNumberedRows(ledger, 6);
    ModelSignals spy(ledger);
    ledger.BeginBulk();
    for (int row = 2; row <= 4; ++row) {
        for (int c = 3; c < kColumnCount; ++c) {
            ledger.SetCell(row, static_cast<Column>(c), QStringLiteral("%1.%2").arg(row).arg(c));
        }
        ledger.SetCellColour(row, Column::DailyChange, kRed);
    }
    EXPECT_EQ(spy.Total(), 0);
    ledger.EndBulk();

    ASSERT_EQ(spy.dataChanged.count(), 1);
    EXPECT_EQ(spy.Total(), 1);
    EXPECT_EQ(spy.dataChanged[0][0].toModelIndex(), ledger.index(1, 0));
    EXPECT_EQ(spy.dataChanged[0][1].toModelIndex(), ledger.index(3, kColumnCount - 1));
    EXPECT_EQ(ledger.Cell(3, Column::Profit), "3.12");

    // A section that changes nothing says nothing; a stray EndBulk is ignored.
    {
        BulkUpdate bulk(ledger);
        ledger.SetCell(3, Column::Profit, QStringLiteral("3.12"));
    }
    ledger.EndBulk();
    EXPECT_EQ(spy.Total(), 1);
}

TEST(LedgerModelTest, RowsAddedInABulkSectionGiveOneReset) {
    LedgerModel ledger;
    AddNumberedRows(ledger, 2);
    ModelSignals spy(ledger);
    {
        BulkUpdate bulk(ledger);
        ledger.SetCell(1, Column::NetValue, QStringLiteral("1"));
        AddNumberedRows(ledger, 250);
        ledger.RemoveRow(2);
        ledger.SetCell(100, Column::NetValue, QStringLiteral("2"));
        EXPECT_EQ(spy.reset.count(), 0);
    }
    EXPECT_EQ(spy.aboutToReset.count(), 1);
    EXPECT_EQ(spy.reset.count(), 1);
    EXPECT_EQ(spy.Total(), 2);
    EXPECT_EQ(ledger.rowCount(), 251);

    // Clearing inside a section is a reset too, and the next section starts afresh.
    {
        BulkUpdate bulk(ledger);
        ledger.ClearRows();
        AddNumberedRows(ledger, 1);
    }
    EXPECT_EQ(spy.reset.count(), 2);
    {
        BulkUpdate bulk(ledger);
        ledger.SetCell(1, Column::NetValue, QStringLiteral("3"));
    }
    EXPECT_EQ(spy.reset.count(), 2);
    ASSERT_EQ(spy.dataChanged.count(), 1);
    EXPECT_EQ(spy.dataChanged[0][0].toModelIndex(), ledger.index(0, 0));
}

TEST(LedgerModelTest, NestedBulkSectionsAnnounceAtTheOutermostEnd) {
    LedgerModel ledger;
    AddNumberedRows(ledger, 3);
    ModelSignals spy(ledger);
    ledger.BeginBulk();
    ledger.SetCell(1, Column::NetValue, QStringLiteral("1"));
    ledger.BeginBulk();
    ledger.SetCell(3, Column::NetValue, QStringLiteral("1"));
    ledger.EndBulk();
    EXPECT_EQ(spy.Total(), 0);
    ledger.EndBulk();
    ASSERT_EQ(spy.dataChanged.count(), 1);
    EXPECT_EQ(spy.dataChanged[0][0].toModelIndex(), ledger.index(0, 0));
    EXPECT_EQ(spy.dataChanged[0][1].toModelIndex(), ledger.index(2, kColumnCount - 1));

    ledger.BeginBulk();
    ledger.BeginBulk();
    AddNumberedRows(ledger, 1);
    ledger.EndBulk();
    EXPECT_EQ(spy.reset.count(), 0);
    ledger.EndBulk();
    EXPECT_EQ(spy.aboutToReset.count(), 1);
    EXPECT_EQ(spy.reset.count(), 1);
}

// Views rely on every change being announced the way Qt's model contract
// says; the tester checks each announcement against the rows it sees before
// and after it, and stops the run at the first breach.
TEST(LedgerModelTest, KeepsTheItemModelContractThroughEveryChange) {
    LedgerModel ledger;
    QAbstractItemModelTester tester(&ledger, QAbstractItemModelTester::FailureReportingMode::Fatal);
    PlanSettings settings;

    // Fill and edit, one announcement at a time.
    AddDays(ledger, {{"1.0000"},
                     {"0.9900", "暂停申购"},
                     {"0.9500"},
                     {"0.9801", "", "", "每份派现金0.0500元"},
                     {"0.9703"}});
    ledger.SetCell(2, Column::PurchaseAmount, QStringLiteral("800"));
    ledger.SetComputedCell(3, Column::Profit, QStringLiteral("-1.5"));
    ledger.SetCellColour(3, Column::Profit, kGreen);
    ledger.SetCellColour(3, Column::Profit, 0);
    Recalculate(ledger, settings, Mode::Theory);  // bulk write-back
    Recalculate(ledger, settings, Mode::Fact);

    // Remove rows in the middle, at the end, at the start.
    ledger.RemoveRow(3);
    ledger.RemoveRow(ledger.LastRow());
    ledger.RemoveRow(1);
    DeleteThisLine(ledger, 1, settings, Mode::Theory);
    ASSERT_EQ(ledger.LastRow(), 1);
    ledger.RemoveRow(1);
    ledger.RemoveRow(1);  // nothing left to remove
    ASSERT_EQ(ledger.LastRow(), 0);

    // Bulk sections: cells only, rows coming and going, nested, emptied and
    // refilled, and empty.
    AddNumberedRows(ledger, 3);
    {
        BulkUpdate bulk(ledger);
        ledger.SetCell(3, Column::NetValue, QStringLiteral("1"));
        ledger.SetCellColour(1, Column::Profit, kRed);
    }
    {
        BulkUpdate bulk(ledger);
        ledger.SetCell(3, Column::NetValue, QStringLiteral("2"));
        AddNumberedRows(ledger, 300);
        ledger.RemoveRow(2);
        ledger.RemoveRow(ledger.LastRow());
        ledger.SetCell(100, Column::NetValue, QStringLiteral("3"));
    }
    {
        BulkUpdate outer(ledger);
        {
            BulkUpdate inner(ledger);
            ledger.SetCell(301, Column::NetValue, QStringLiteral("4"));
            ledger.ClearRows();
        }
        AddNumberedRows(ledger, 2);
    }
    { BulkUpdate bulk(ledger); }
    ASSERT_EQ(ledger.LastRow(), 2);

    // Resets: clear, clear an empty ledger, refill, the context menu's clear.
    ledger.ClearRows();
    ledger.ClearRows();
    AddNumberedRows(ledger, 4);
    ClearList(ledger);
    ASSERT_EQ(ledger.LastRow(), 0);

    // A plan opened over a longer ledger and over an empty one.
    const QString plan = test::DataPath("golden/161725-fact.ini");
    OpenPlanOptions options;
    {
        BulkUpdate bulk(ledger);  // the tester walks the whole table on every announcement
        AddNumberedRows(ledger, 1000);
    }
    EXPECT_EQ(OpenPlanFile(plan, ledger, settings, options).result, OpenResult::Opened);
    EXPECT_EQ(ledger.LastRow(), 1000);
    ledger.ClearRows();
    options.mode = Mode::Fact;
    EXPECT_EQ(OpenPlanFile(plan, ledger, settings, options).result, OpenResult::Opened);
    EXPECT_EQ(ledger.LastRow(), 798);
}

TEST(LedgerCommandsTest, DeleteThisLineRecalculatesFromTheRemainingRows) {
    PlanSettings settings;
    LedgerModel ledger;
    AddDays(ledger, {{"1.0000"}, {"0.9900"}, {"0.9500"}, {"0.9801"}, {"0.9703"}});
    Recalculate(ledger, settings, Mode::Theory);

    DeleteThisLine(ledger, 3, settings, Mode::Theory);
    EXPECT_EQ(Ids(ledger), QStringList({"1", "2", "4", "5"}));

    // The same four days entered afresh give the same computed cells.
    LedgerModel expected;
    AddDays(expected, {{"1.0000"}, {"0.9900"}, {"0.9801"}, {"0.9703"}});
    for (int row = 3; row <= 4; ++row) {
        expected.SetCell(row, Column::Date, QStringLiteral("2020/1/%1").arg(row + 1));
    }
    Recalculate(expected, settings, Mode::Theory);
    for (int row = 1; row <= 4; ++row) {
        for (int c = 1; c < kColumnCount; ++c) {
            const auto column = static_cast<Column>(c);
            EXPECT_EQ(ledger.Cell(row, column), expected.Cell(row, column))
                << "row " << row << ' ' << ColumnOf(column).key;
        }
    }
}

TEST(LedgerCommandsTest, DeleteWithoutSelectionOnlyRecalculates) {
    PlanSettings settings;
    LedgerModel ledger;
    AddDays(ledger, {{"1.0000"}, {"0.9900"}});
    DeleteThisLine(ledger, std::nullopt, settings, Mode::Theory);
    EXPECT_EQ(ledger.LastRow(), 2);
    EXPECT_EQ(ledger.Cell(2, Column::PurchaseAmount), "600");

    LedgerModel empty;
    DeleteThisLine(empty, 1, settings, Mode::Theory);
    EXPECT_EQ(empty.LastRow(), 0);

    ClearList(ledger);
    EXPECT_EQ(ledger.LastRow(), 0);
}
