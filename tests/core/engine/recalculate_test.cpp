#include "core/engine/recalculate.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <iterator>

#include "core/engine/ledger_commands.h"
#include "support/test_support.h"

using namespace tovira;
using test::AddDays;

namespace {

QString C(const LedgerModel& l, int row, Column c) { return l.Cell(row, c); }

class RecalculateTest : public ::testing::Test {
  protected:
    LedgerModel ledger;
    PlanSettings settings;
};

}  // namespace

TEST_F(RecalculateTest, FirstRowBuysOneHundredthOfTheCapital) {
    AddDays(ledger, {{"1.0000"}});
    ledger.SetCell(1, Column::DailyChange, QStringLiteral("0.00"));
    Recalculate(ledger, settings, Mode::Theory);
    EXPECT_EQ(C(ledger, 1, Column::DailyChange), "0");
    EXPECT_EQ(C(ledger, 1, Column::PurchaseAmount), "500");
    EXPECT_EQ(C(ledger, 1, Column::ConfirmedShares), "499.25");
    EXPECT_EQ(C(ledger, 1, Column::HeldShares), "499.25");
    EXPECT_EQ(C(ledger, 1, Column::MarketValue), "499.25");
    EXPECT_EQ(C(ledger, 1, Column::NetInvested), "500");
    EXPECT_EQ(C(ledger, 1, Column::Profit), "-3.25");
    EXPECT_EQ(C(ledger, 1, Column::ReturnPct), "-0.65");
    EXPECT_EQ(C(ledger, 1, Column::AverageCost), "1.0065");
    EXPECT_EQ(ledger.CellColour(1, Column::DailyChange), kGreen);
    EXPECT_EQ(ledger.CellColour(1, Column::ReturnPct), kGreen);
}

TEST_F(RecalculateTest, ConsecutiveFallsGrowTheMultiple) {
    // Each day falls 1 %: the new-low rule buys 600, 780, 1092.
    AddDays(ledger, {{"1.0000"}, {"0.9900"}, {"0.9801"}, {"0.9703"}, {"0.9703"}, {"0.9600"}});
    Recalculate(ledger, settings, Mode::Theory);
    EXPECT_EQ(C(ledger, 2, Column::PurchaseAmount), "600");
    EXPECT_EQ(C(ledger, 3, Column::PurchaseAmount), "780");
    EXPECT_EQ(C(ledger, 4, Column::PurchaseAmount), "1092");
    EXPECT_EQ(C(ledger, 5, Column::PurchaseAmount), "0");
    // After a day without purchase the chain restarts at the multiple.
    EXPECT_EQ(C(ledger, 6, Column::PurchaseAmount), "1310.4");
    EXPECT_EQ(C(ledger, 2, Column::DailyChange), "-1");
    EXPECT_EQ(ledger.CellColour(2, Column::DailyChange), kGreen);
    EXPECT_EQ(C(ledger, 3, Column::CumulativeChange), "-1.99");
}

TEST_F(RecalculateTest, BlockedPurchaseRestartsTheWeight) {
    AddDays(ledger, {{"1.0000"}, {"0.9900"}, {"0.9700", "封闭期"}, {"0.9500"}});
    Recalculate(ledger, settings, Mode::Theory);
    EXPECT_EQ(C(ledger, 2, Column::PurchaseAmount), "600");
    EXPECT_EQ(C(ledger, 3, Column::PurchaseAmount), "0");
    EXPECT_EQ(C(ledger, 4, Column::PurchaseAmount), "720");
}

TEST_F(RecalculateTest, CapitalLimitCutsToTheRemainder) {
    settings.SetText(Field::TotalCapital, QStringLiteral("1000"));
    settings.SetText(Field::Multiple, QStringLiteral("2"));
    settings.SetText(Field::MultipleStep, QStringLiteral("0.3"));
    AddDays(ledger, {{"1.0"}, {"0.9"}, {"0.8"}, {"0.7"}, {"0.6"}, {"0.5"}, {"0.4"}, {"0.3"}});
    Recalculate(ledger, settings, Mode::Theory);
    // 10, 20, 46, 119.6, 346.84 bring the total to 542.44; the next purchase
    // (1109.89) is cut to the remainder and later ones to nothing.
    EXPECT_EQ(C(ledger, 5, Column::NetInvested), "542.44");
    EXPECT_EQ(C(ledger, 6, Column::PurchaseAmount), "457.56");
    EXPECT_EQ(C(ledger, 6, Column::NetInvested), "1000");
    EXPECT_EQ(C(ledger, 7, Column::PurchaseAmount), "0");
    EXPECT_EQ(C(ledger, 8, Column::PurchaseAmount), "0");

    settings.SetChecked(Switch::UnlimitedCapital, true);
    Recalculate(ledger, settings, Mode::Theory);
    EXPECT_EQ(C(ledger, 6, Column::PurchaseAmount), "1109.89");
}

TEST_F(RecalculateTest, AddFirstRuleBuysWhileUnderWaterUpToTheRiskPosition) {
    settings.SetChecked(Switch::BuyFirst, true);
    // Row 2 falls 0.3 %: not enough for the start-purchase change.
    AddDays(ledger, {{"1.0000"}, {"0.9970"}, {"0.9800"}, {"0.9750"}});
    Recalculate(ledger, settings, Mode::Theory);
    EXPECT_EQ(C(ledger, 2, Column::PurchaseAmount), "0");
    // Row 3 falls 1.71 % and the plan is 2.7 % under water: buys by add-first.
    EXPECT_EQ(C(ledger, 3, Column::PurchaseAmount), "600");
    // Row 4 falls 0.51 %, still under the bound: the weight grows.
    EXPECT_EQ(C(ledger, 4, Column::PurchaseAmount), "780");

    // With the position at the risk level the add-first rule falls back to
    // the new-low rule, which needs 0.5 % below the last purchase decision.
    settings.SetText(Field::RiskPositionPct, QStringLiteral("0"));
    Recalculate(ledger, settings, Mode::Theory);
    EXPECT_EQ(C(ledger, 3, Column::PurchaseAmount), "600");
    EXPECT_EQ(C(ledger, 4, Column::PurchaseAmount), "780");
}

TEST_F(RecalculateTest, AddFirstBoundIsComparedInDouble) {
    // CurrentReturn single(-1.38) lies above the double -1.38: no purchase.
    settings.SetChecked(Switch::BuyFirst, true);
    settings.SetText(Field::PurchaseFeePct, QStringLiteral("0"));
    settings.SetText(Field::RedeemFeePct, QStringLiteral("0"));
    settings.SetText(Field::StartBuyPct, QStringLiteral("-1.15"));
    // bound = round(-1.15 * 1.2, 2) = -1.38; return on row 2 = -1.38 %.
    AddDays(ledger, {{"1.0000"}, {"0.9862"}});
    Recalculate(ledger, settings, Mode::Theory);
    EXPECT_EQ(C(ledger, 2, Column::DailyChange), "-1.38");
    EXPECT_EQ(C(ledger, 2, Column::PurchaseAmount), "0");
}

TEST_F(RecalculateTest, ZeroCapitalSendsAddFirstToTheNewLowRule) {
    settings.SetChecked(Switch::BuyFirst, true);
    settings.SetText(Field::TotalCapital, QStringLiteral("0"));
    settings.SetChecked(Switch::UnlimitedCapital, true);
    AddDays(ledger, {{"1.0000"}, {"0.9800"}});
    ledger.SetCell(1, Column::DailyChange, QStringLiteral("-1"));
    Recalculate(ledger, settings, Mode::Theory);
    // No first purchase (capital 0), so no amount to multiply either.
    EXPECT_EQ(C(ledger, 1, Column::PurchaseAmount), "0");
    EXPECT_EQ(C(ledger, 2, Column::PurchaseAmount), "0");
}

TEST_F(RecalculateTest, KeepRopRaisesSmallPurchasesToAThird) {
    settings.SetChecked(Switch::GrowingTopUp, true);
    AddDays(ledger, {{"1.0000"}, {"0.9900"}, {"0.9801"}});
    Recalculate(ledger, settings, Mode::Theory);
    // 600 / 500 is above 0.33: unchanged; then 780 / 1100 also.
    EXPECT_EQ(C(ledger, 2, Column::PurchaseAmount), "600");
    settings.SetText(Field::Multiple, QStringLiteral("1"));
    settings.SetText(Field::MultipleStep, QStringLiteral("0"));
    Recalculate(ledger, settings, Mode::Theory);
    EXPECT_EQ(C(ledger, 2, Column::PurchaseAmount), "500");
    // 500 / 1000 = 0.5 -> unchanged
    EXPECT_EQ(C(ledger, 3, Column::PurchaseAmount), "500");
}

TEST_F(RecalculateTest, RedemptionSellsTheGainAboveThePrincipal) {
    settings.SetChecked(Switch::SellOnRises, true);
    settings.SetText(Field::PurchaseFeePct, QStringLiteral("0"));
    settings.SetText(Field::TotalCapital, QStringLiteral("1000000"));
    settings.SetText(Field::MinRedeemShares, QStringLiteral("100"));
    AddDays(ledger, {{"1.0000"}, {"1.1000"}});
    Recalculate(ledger, settings, Mode::Theory);
    // Row 1 buys 10000 shares for 10000; the ratio 0.0945 passes 3 %.
    EXPECT_EQ(C(ledger, 1, Column::HeldShares), "10000");
    EXPECT_EQ(C(ledger, 2, Column::RedeemShares), "863.41");
    EXPECT_EQ(C(ledger, 2, Column::RedeemAmount), "945");
    EXPECT_EQ(C(ledger, 2, Column::HeldShares), "9136.59");
    EXPECT_EQ(C(ledger, 2, Column::NetInvested), "9055");

    settings.SetText(Field::StartSellPct, QStringLiteral("10"));
    Recalculate(ledger, settings, Mode::Theory);
    EXPECT_EQ(C(ledger, 2, Column::RedeemShares), "0");

    settings.SetText(Field::StartSellPct, QStringLiteral("3"));
    settings.SetText(Field::MinRedeemShares, QStringLiteral("900"));
    Recalculate(ledger, settings, Mode::Theory);
    EXPECT_EQ(C(ledger, 2, Column::RedeemShares), "0");

    settings.SetText(Field::MinRedeemShares, QStringLiteral("100"));
    settings.SetText(Field::MinKeepShares, QStringLiteral("9200"));
    Recalculate(ledger, settings, Mode::Theory);
    EXPECT_EQ(C(ledger, 2, Column::RedeemShares), "0");

    settings.SetText(Field::MinKeepShares, QStringLiteral("100"));
    ledger.SetCell(2, Column::RedeemStatus, QStringLiteral("暂停赎回"));
    Recalculate(ledger, settings, Mode::Theory);
    EXPECT_EQ(C(ledger, 2, Column::RedeemShares), "0");
}

TEST_F(RecalculateTest, DividendsAndConversions) {
    settings.SetText(Field::PurchaseFeePct, QStringLiteral("0"));
    settings.SetText(Field::TotalCapital, QStringLiteral("1000000"));
    AddDays(ledger, {{"1.0000"}, {"1.0000", "", "", "每份派现金0.0500元"}});
    Recalculate(ledger, settings, Mode::Theory);
    EXPECT_EQ(C(ledger, 2, Column::DailyChange), "5");
    EXPECT_EQ(C(ledger, 2, Column::CumulativeChange), "5");
    EXPECT_EQ(C(ledger, 2, Column::HeldShares), "10000");
    EXPECT_EQ(C(ledger, 2, Column::NetInvested), "9500");  // 500 paid out

    settings.SetChecked(Switch::ReinvestDividends, true);
    Recalculate(ledger, settings, Mode::Theory);
    EXPECT_EQ(C(ledger, 2, Column::NetInvested), "10000");
    EXPECT_EQ(C(ledger, 2, Column::HeldShares), "10500");

    ledger.ClearRows();
    AddDays(ledger, {{"1.0000"}, {"0.5000", "", "", "每份基金份额折算2.000000000份"}, {"0.5000"}});
    Recalculate(ledger, settings, Mode::Theory);
    EXPECT_EQ(C(ledger, 2, Column::DailyChange), "0");
    EXPECT_EQ(C(ledger, 2, Column::HeldShares), "20000");
    EXPECT_EQ(C(ledger, 3, Column::CumulativeChange), "0");  // the conversion stays multiplied in
}

TEST_F(RecalculateTest, FactModeBooksTypedAmountsAndIgnoresStatus) {
    AddDays(ledger, {{"1.0000"}, {"1.0000", "暂停申购", "暂停赎回"}});
    ledger.SetCell(1, Column::PurchaseAmount, QStringLiteral("1000元"));
    ledger.SetCell(2, Column::PurchaseAmount, QStringLiteral("500"));
    ledger.SetCell(2, Column::RedeemShares, QStringLiteral("abc"));
    Recalculate(ledger, settings, Mode::Fact);
    EXPECT_EQ(C(ledger, 1, Column::PurchaseAmount), "1000");
    EXPECT_EQ(C(ledger, 2, Column::PurchaseAmount), "500");
    EXPECT_EQ(C(ledger, 2, Column::RedeemShares), "0");
    EXPECT_EQ(C(ledger, 2, Column::NetInvested), "1500");
}

TEST_F(RecalculateTest, BadNumbersNeverStopThePass) {
    // NAV 0, garbage texts and zero divisors keep their targets at 0.
    AddDays(ledger, {{"0"}, {"abc"}, {"1.0"}, {"0", "", "", "每份派现金0.1元"}});
    Recalculate(ledger, settings, Mode::Theory);
    EXPECT_EQ(C(ledger, 1, Column::ConfirmedShares), "0");
    EXPECT_EQ(C(ledger, 1, Column::AverageCost), "0");
    EXPECT_EQ(C(ledger, 2, Column::DailyChange), "0");
    EXPECT_EQ(C(ledger, 3, Column::DailyChange), "0");  // previous NAV 0
    EXPECT_EQ(C(ledger, 4, Column::ConfirmedShares), "0");

    // A reinvested dividend on NAV 0 cannot be bought: holdings stay 0.
    settings.SetChecked(Switch::ReinvestDividends, true);
    Recalculate(ledger, settings, Mode::Theory);
    EXPECT_EQ(C(ledger, 4, Column::HeldShares), "0");
}

TEST_F(RecalculateTest, EmptyLedgerAndDeleteThisLine) {
    Recalculate(ledger, settings, Mode::Theory);
    EXPECT_EQ(ledger.LastRow(), 0);
    AddDays(ledger, {{"1.0"}, {"0.99"}, {"0.98"}, {"0.97"}, {"0.96"}});
    DeleteThisLine(ledger, 3, settings, Mode::Theory);
    ASSERT_EQ(ledger.LastRow(), 4);
    EXPECT_EQ(C(ledger, 3, Column::ID), "4");
    EXPECT_EQ(C(ledger, 3, Column::DailyChange), "-2.02");  // 0.97 against 0.99
    DeleteThisLine(ledger, std::nullopt, settings, Mode::Theory);
    EXPECT_EQ(ledger.LastRow(), 4);
}

TEST_F(RecalculateTest, LargeFiguresUseTheExponentForm) {
    settings.SetText(Field::TotalCapital, QStringLiteral("5000000000"));
    AddDays(ledger, {{"1.0000"}});
    Recalculate(ledger, settings, Mode::Theory);
    EXPECT_EQ(C(ledger, 1, Column::PurchaseAmount), "5E+07");
    EXPECT_EQ(C(ledger, 1, Column::MarketValue), "4.992511E+07");
}

// A test whose side cannot be formed (its single-precision narrowing
// overflows) counts as met, so the step it guards runs.
TEST_F(RecalculateTest, OverflowingComparisonsCountAsMet) {
    // Capital limit: single(TotalCapital) overflows, so every purchase is cut
    // to the remainder rather than the limit being ignored.
    settings.SetText(Field::TotalCapital, QStringLiteral("3.41e38"));
    AddDays(ledger, {{"1.0"}, {"0.9"}});
    Recalculate(ledger, settings, Mode::Theory);
    EXPECT_EQ(C(ledger, 1, Column::PurchaseAmount), "3.41E+36");
    EXPECT_EQ(C(ledger, 2, Column::PurchaseAmount), "3.3759E+38");

    // The redemption tests: each overflowing bound drops the redemption of
    // 863.41 shares that the same rows otherwise make.
    struct Case {
        Field field;
        const char* text;
        const char* redeemed;
    };
    for (const Case& c :
         {Case{Field::StartSellPct, "3", "863.41"}, Case{Field::StartSellPct, "-1e41", "0"},
          Case{Field::MinRedeemShares, "-1e39", "0"}, Case{Field::MinKeepShares, "-1e39", "0"}}) {
        LedgerModel l;
        PlanSettings s;
        s.SetChecked(Switch::SellOnRises, true);
        s.SetText(Field::PurchaseFeePct, QStringLiteral("0"));
        s.SetText(Field::TotalCapital, QStringLiteral("1000000"));
        s.SetText(c.field, QString::fromLatin1(c.text));
        AddDays(l, {{"1.0000"}, {"1.1000"}});
        Recalculate(l, s, Mode::Theory);
        EXPECT_EQ(C(l, 2, Column::RedeemShares), c.redeemed) << c.text;
    }
}

// The fast pass skips steps whose result it knows and decides the new-low
// test by a margin; on awkward rows (NAV 0, negative, tiny or huge, blocked
// days, dividends and conversions, typed amounts) and thresholds inside and
// outside the range it decides by margin, it must give the reference pass's
// bits.
TEST(FastPassTest, AwkwardRowsGiveTheReferenceBits) {
    const char* navs[] = {"1.0", "0.98", "0", "1.02", "-0.5", "0.0000001", "1e25", "1.01", "0.97"};
    const char* actions[] = {"每份派现金0.05元", "每份基金份额折算1.5份", "每份派现金1e30元", ""};
    LedgerInput input;
    uint32_t seed = 7;
    const auto next = [&seed] { return seed = seed * 1103515245u + 12345u, seed >> 8; };
    double nav = 1;
    for (int row = 0; row < 600; ++row) {
        const uint32_t r = next();
        nav *= 1 + (static_cast<int>(r % 41) - 20) / 1000.0;
        const QString navText = r % 23 == 0 ? QString::fromUtf8(navs[r / 23 % std::size(navs)])
                                            : QString::number(nav, 'f', 4);
        const char* purchase = r % 17 == 0 ? "暂停申购" : r % 29 == 0 ? "封闭期" : "开放申购";
        const char* redeem = r % 19 == 0 ? "暂停赎回" : "开放赎回";
        const char* action = r % 31 == 0 ? actions[r / 31 % std::size(actions)] : "";
        const QString typed = r % 7 == 0 ? QString::number(r % 5000) : QString();
        input.rows.push_back(ReadRowInput(navText, QString::fromUtf8(purchase),
                                          QString::fromUtf8(redeem), QString::fromUtf8(action),
                                          typed, r % 11 == 0 ? QStringLiteral("300") : QString(),
                                          Mode::Fact));
    }
    input.firstIncrease = -1;
    const char* startBuys[] = {"-0.5", "-3", "0", "5", "-99.5", "-100"};
    // As read, and once more with NAV 0 on the first day (no reference value
    // for the new-low rule until the first purchase decision).
    for (const bool zeroFirst : {false, true}) {
        if (zeroFirst) {
            input.rows[0] = ReadRowInput(u"0", u"", u"", u"", u"", u"", Mode::Fact);
        }
        for (int variant = 0; variant < 48; ++variant) {
            PlanSettings settings;
            settings.SetText(Field::StartBuyPct, QString::fromUtf8(startBuys[variant % 6]));
            settings.SetChecked(Switch::BuyFirst, variant / 6 % 2 == 1);
            settings.SetChecked(Switch::SellOnRises, variant / 12 % 2 == 1);
            settings.SetChecked(Switch::GrowingTopUp, variant / 24 % 2 == 1);
            settings.SetChecked(Switch::UnlimitedCapital, variant % 5 == 0);
            settings.SetChecked(Switch::ReinvestDividends, variant % 3 == 0);
            if (variant % 7 == 0) settings.SetText(Field::TotalCapital, QStringLiteral("0"));
            // Row 1 buys a hundredth of the capital as it stands: 123.45678.
            if (variant % 7 == 3) {
                settings.SetText(Field::TotalCapital, QStringLiteral("12345.678"));
            }
            for (Mode mode : {Mode::Theory, Mode::Fact}) {
                input.mode = mode;
                std::vector<RowFigures> fast, reference;
                ComputeFigures(input, settings, fast, PassPath::Fast);
                ComputeFigures(input, settings, reference, PassPath::Reference);
                ASSERT_EQ(fast.size(), reference.size());
                for (size_t i = 0; i < fast.size(); ++i) {
                    ASSERT_EQ(std::memcmp(&fast[i], &reference[i], sizeof(RowFigures)), 0)
                        << "variant " << variant << ", row " << i + 1
                        << (mode == Mode::Fact ? ", fact" : ", theory")
                        << (zeroFirst ? ", NAV 0 first" : "");
                }
            }
        }
    }
}
