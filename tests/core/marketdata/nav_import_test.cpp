#include "core/marketdata/nav_import.h"

#include <gtest/gtest.h>

#include <memory>

#include "support/test_support.h"

using namespace tovira;

TEST(NavImportTest, ImportFillsRowsOldestFirstWithTheFirstDaysChange) {
    LedgerModel ledger;
    const ImportOutcome out = ImportNavHistory(
        ledger, QStringLiteral("-1.23|2017/3/1,1.0100,开放申购,开放赎回,|2017/3/2,1.0200,暂停申购,"
                               "开放赎回,每份派现金0.0500元|2017/3/3,1.0000,开放申购,开放赎回,"));
    EXPECT_EQ(out.added, 3);
    ASSERT_EQ(ledger.LastRow(), 3);
    EXPECT_EQ(ledger.Cell(1, Column::ID), "1");
    EXPECT_EQ(ledger.Cell(3, Column::ID), "3");
    EXPECT_EQ(ledger.Cell(1, Column::DailyChange), "-1.23");
    EXPECT_EQ(ledger.Cell(2, Column::DailyChange), "");
    EXPECT_EQ(ledger.Cell(2, Column::PurchaseStatus), "暂停申购");
    EXPECT_EQ(ledger.Cell(2, Column::DividendAction), "每份派现金0.0500元");
    EXPECT_EQ(ledger.Cell(3, Column::DividendAction), "");
    EXPECT_EQ(ledger.Cell(1, Column::PurchaseAmount), "");  // no recalculation

    LedgerModel empty;
    EXPECT_EQ(ImportNavHistory(empty, QString()).added, 0);
    EXPECT_EQ(empty.LastRow(), 0);
}

TEST(NavImportTest, AppendNumbersOnAndNeverAddsADayTwice) {
    LedgerModel ledger;
    test::AddDays(ledger, {{"1.0"}, {"1.1"}});  // 2020/1/1, 2020/1/2
    ledger.RemoveRow(1);                        // IDs now "2" only
    const ImportOutcome out = AppendNavHistory(
        ledger, QStringLiteral("0.5|2020/1/2,1.1,,,|2020/1/3,1.2,,,|2020/1/6,1.3,,,"));
    EXPECT_EQ(out.added, 2);
    ASSERT_EQ(ledger.LastRow(), 3);
    EXPECT_EQ(ledger.Cell(2, Column::ID), "2");  // row count 1 + 1
    EXPECT_EQ(ledger.Cell(2, Column::Date), "2020/1/3");
    EXPECT_EQ(ledger.Cell(3, Column::Date), "2020/1/6");
    EXPECT_EQ(ledger.Cell(2, Column::DailyChange), "");  // record 0 unused
    EXPECT_EQ(LastRowDate(ledger), QDate(2020, 1, 6));

    ledger.SetCell(3, Column::Date, QStringLiteral("abc"));
    EXPECT_FALSE(LastRowDate(ledger));
    // A typed date in another form still reads; a bare number does not.
    ledger.SetCell(3, Column::Date, QStringLiteral("2020.1.7"));
    EXPECT_EQ(LastRowDate(ledger), QDate(2020, 1, 7));
    ledger.SetCell(3, Column::Date, QStringLiteral("20200107"));
    EXPECT_FALSE(LastRowDate(ledger));
}

TEST(NavImportTest, TheRowLimitKeepsWhatFits) {
    LedgerModel ledger;
    QString history = QStringLiteral("0");
    for (int i = 0; i < LedgerModel::kMaxRows + 5; ++i) {
        history += QStringLiteral("|%1,1.0,,,")
                       .arg(QDate(1900, 1, 1).addDays(i).toString(QStringLiteral("yyyy/M/d")));
    }
    const ImportOutcome out = ImportNavHistory(ledger, history);
    EXPECT_TRUE(out.hitRowLimit);
    EXPECT_EQ(out.added, LedgerModel::kMaxRows);
    EXPECT_EQ(ledger.LastRow(), LedgerModel::kMaxRows);
    const ImportOutcome more = AppendNavHistory(ledger, QStringLiteral("0|2200/1/1,1,,,"));
    EXPECT_TRUE(more.hitRowLimit);
    EXPECT_EQ(more.added, 0);
}

TEST(NavImportTest, DaysAppendedBeforeRowsAddedMeanwhile) {
    // Rows 1-2 were there when the append began; today's estimate row (1/8)
    // and a row the official days replace (1/6) came while it downloaded.
    const auto ledgerWithLaterRows = [] {
        auto ledger = std::make_unique<LedgerModel>();
        test::AddDays(*ledger, {{"1.0"}, {"1.1"}, {"1.25"}, {"1.4"}});
        ledger->SetCell(3, Column::Date, QStringLiteral("2020/1/6"));
        ledger->SetCell(4, Column::Date, QStringLiteral("2020/1/8"));
        ledger->SetCell(4, Column::PurchaseAmount, QStringLiteral("500"));
        return ledger;
    };
    auto ledger = ledgerWithLaterRows();
    const ImportOutcome out =
        AppendNavHistoryAfter(*ledger, 2, QStringLiteral("0|2020/1/3,1.2,,,|2020/1/6,1.3,,,"));
    EXPECT_EQ(out.added, 2);
    ASSERT_EQ(ledger->LastRow(), 5);
    const QStringList expected[] = {{"1", "2020/1/1", "1.0"},
                                    {"2", "2020/1/2", "1.1"},
                                    {"3", "2020/1/3", "1.2"},
                                    {"4", "2020/1/6", "1.3"},
                                    {"5", "2020/1/8", "1.4"}};
    for (int row = 1; row <= 5; ++row) {
        EXPECT_EQ((QStringList{ledger->Cell(row, Column::ID), ledger->Cell(row, Column::Date),
                               ledger->Cell(row, Column::NetValue)}),
                  expected[row - 1])
            << row;
    }
    EXPECT_EQ(ledger->Cell(5, Column::PurchaseAmount), "500");

    // Nothing new: the later rows stay as they were.
    ledger = ledgerWithLaterRows();
    EXPECT_EQ(AppendNavHistoryAfter(*ledger, 2, QString()).added, 0);
    ASSERT_EQ(ledger->LastRow(), 4);
    EXPECT_EQ(ledger->Cell(3, Column::Date), "2020/1/6");
    EXPECT_EQ(ledger->Cell(4, Column::ID), "4");
}

// The append's merge: the estimate row gave row 2 the previous official NAV,
// which belongs to the last downloaded day; row 2 gets its own NAV back. A
// figure the user typed or cleared there meanwhile, or an empty download,
// stays.
TEST(NavImportTest, MergedAppendGivesTheLastRowItsOwnNavBack) {
    const struct {
        const char* rowTwoNav;    // row 2's NAV when the download is in
        const char* previousNav;  // what the estimate took as previous NAV
        const char* history;
        const char* expected;
    } cases[] = {
        {"1.25", "1.25", "0|2020/1/3,1.25,,,", "1.1"},
        {"1.2001", "1.25", "0|2020/1/3,1.25,,,", "1.2001"},
        {"1.25", "1.25", "", "1.25"},
        {"", "", "0|2020/1/3,1.25,,,", ""},  // cleared by the user, no previous NAV known
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rowTwoNav);
        LedgerModel ledger;
        test::AddDays(ledger, {{"1.0"}, {"1.1"}, {"1.3"}});  // row 3: the estimate's day
        ledger.SetCell(3, Column::Date, QStringLiteral("2020/1/6"));
        ledger.SetCell(2, Column::NetValue, QString::fromLatin1(c.rowTwoNav));
        MergeAppendedDays(ledger, 2, QStringLiteral("1.1"), QString::fromLatin1(c.previousNav),
                          QString::fromLatin1(c.history));
        EXPECT_EQ(ledger.Cell(2, Column::NetValue), QString::fromLatin1(c.expected));
        EXPECT_EQ(ledger.Cell(ledger.LastRow(), Column::Date), "2020/1/6");
    }
}
