#include "core/engine/calculators.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>

#include "core/common/numbers.h"
#include "core/ledger/ledger_model.h"
#include "core/ledger/plan_settings.h"
#include "support/test_support.h"

namespace tovira {
namespace {

QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

class CalcTest : public ::testing::Test {
  protected:
    void Row(std::initializer_list<std::pair<Column, const char*>> cells) {
        const int row = ledger.LastRow() + 1;
        ledger.AddRow(QString::number(row));
        for (const auto& [key, text] : cells) ledger.SetCell(row, key, Q(text));
    }

    LedgerModel ledger;
    PlanSettings settings;  // redemption fee "0.5": r = single(0.995)
    test::RecordingPrompt prompt;
};
using TakeBackPrincipalTest = CalcTest;

// The menu command as the window runs it: the offer is shown, or asked
// ("赎回提示", Yes/No) and booked on Yes.
void TakeBackPrincipal(LedgerModel& ledger, const PlanSettings& settings, Mode mode,
                       Prompt& prompt) {
    const TakeBackOffer offer = OfferTakeBackPrincipal(ledger, settings, mode);
    if (offer.kind != TakeBackOffer::Kind::Book) {
        prompt.Inform(MessageFor(offer));
    } else if (prompt.Ask(MessageFor(offer), Q(kMsgTakeBackCaption), PromptButtons::YesNo,
                          PromptIcon::Question) == PromptAnswer::Yes) {
        BookTakeBackPrincipal(ledger, settings, mode, offer);
    }
}
using LowerHoldingCostTest = CalcTest;

TEST_F(TakeBackPrincipalTest, ReadsEachFigureFromItsOwnRow) {
    Row({{Column::NetInvested, "99999"}, {Column::HeldShares, "99999"}});  // never read
    Row({{Column::NetInvested, "2000"}, {Column::HeldShares, "900"}});     // n - 2: T, H
    Row({{Column::NetInvested, "1500"},                                    // n - 1: A, B
         {Column::ConfirmedShares, "500份"},
         {Column::PurchaseAmount, "500"},
         {Column::HeldShares, "1400"}});
    Row({{Column::NetValue, "1.2元"},
         {Column::NetInvested, "1"},
         {Column::HeldShares, "900"}});  // n: P
    // 50000 / (2000 - 1.2 * 900 * 0.995) = 54.0307
    EXPECT_FLOAT_EQ(TakeBackPrincipalShares(ledger, settings), 54.03f);
    settings.SetText(Field::RedeemFeePct, Q("10"));
    EXPECT_FLOAT_EQ(TakeBackPrincipalShares(ledger, settings), 48.64f);

    // With exactly three rows the first gives T and H; T must be a whole
    // number ("2000元" leaves T at 0 and gives a negative share count).
    ledger.RemoveRow(1);
    ledger.SetCell(1, Column::NetInvested, Q("2000元"));
    EXPECT_FLOAT_EQ(TakeBackPrincipalShares(ledger, settings), -51.44f);
}

TEST_F(TakeBackPrincipalTest, RoundsHalvesToEvenAndTreatsZeroAsNothingToDo) {
    Row({{Column::NetInvested, "8"}});
    Row({{Column::NetInvested, "1"}, {Column::ConfirmedShares, "1"}});
    Row({{Column::NetValue, "0"}, {Column::HeldShares, "1"}});
    EXPECT_FLOAT_EQ(TakeBackPrincipalShares(ledger, settings), 0.12f);  // 1 / 8 = 0.125

    prompt.fallback = PromptAnswer::Yes;
    ledger.SetCell(1, Column::NetInvested, Q("400"));  // 1 / 400 rounds to 0.00
    TakeBackPrincipal(ledger, settings, Mode::Fact, prompt);
    ledger.RemoveRow(1);  // two rows: zero divisor
    TakeBackPrincipal(ledger, settings, Mode::Fact, prompt);
    EXPECT_EQ(prompt.texts, QStringList(2, Q("应赎回0份")));
    EXPECT_EQ(ledger.Cell(2, Column::RedeemShares), QString());

    ledger.ClearRows();
    prompt.texts.clear();
    TakeBackPrincipal(ledger, settings, Mode::Fact, prompt);
    EXPECT_EQ(prompt.texts, QStringList{Q("数据不足！")});
}

TEST_F(TakeBackPrincipalTest, OffersTheSharesAndBooksThemOnYes) {
    test::AddDays(ledger, {{"1.0000"}, {"1.1000"}, {"1.2000"}});
    ledger.SetCell(1, Column::PurchaseAmount, Q("1000"));
    ledger.SetCell(2, Column::PurchaseAmount, Q("500"));
    Recalculate(ledger, settings, Mode::Fact);
    const float held = ledger.Cell(2, Column::HeldShares).toFloat();
    const float x = TakeBackPrincipalShares(ledger, settings);
    ASSERT_NE(x, 0.0f);
    const QString question = Q("应赎回") + GeneralText(x) + Q("份，是否填入列表并计算确认金额？");

    prompt.replies = {PromptAnswer::No, PromptAnswer::Yes};
    TakeBackPrincipal(ledger, settings, Mode::Fact, prompt);
    EXPECT_EQ(ledger.Cell(3, Column::RedeemShares), Q("0"));
    TakeBackPrincipal(ledger, settings, Mode::Fact, prompt);
    EXPECT_EQ(prompt.texts, QStringList(2, question));
    EXPECT_EQ(prompt.captions, QStringList(2, Q("赎回提示")));
    // Written in the same form and booked by the recalculation.
    EXPECT_EQ(ledger.Cell(3, Column::RedeemShares), GeneralText(x));
    EXPECT_NE(ledger.Cell(3, Column::RedeemAmount), Q("0"));
    EXPECT_FLOAT_EQ(ledger.Cell(3, Column::HeldShares).toFloat(), held - x);
}

TEST_F(TakeBackPrincipalTest, OffersAtMostTheSharesOnHandAndBooksOnlyInFact) {
    // Bought at about 1.0065 a share after fees: a NAV just above that leaves
    // a tiny divisor and a figure of some ten thousand shares.
    test::AddDays(ledger, {{"1.0000"}, {"1.1000"}, {"1.0070"}});
    ledger.SetCell(1, Column::PurchaseAmount, Q("1000"));
    ledger.SetCell(2, Column::PurchaseAmount, Q("500"));
    Recalculate(ledger, settings, Mode::Fact);
    const QString held = ledger.Cell(3, Column::HeldShares);
    EXPECT_EQ(GeneralText(TakeBackPrincipalShares(ledger, settings)), held);

    // 理论计算 would overwrite a typed redemption at once: the figure is only
    // shown and the plan is not marked changed.
    ledger.SetInputsModified(false);
    prompt.fallback = PromptAnswer::Yes;
    TakeBackPrincipal(ledger, settings, Mode::Theory, prompt);
    EXPECT_EQ(prompt.texts,
              QStringList{Q("应赎回") + held + Q("份\n") + Q(kMsgTakeBackTheoryOnly)});
    EXPECT_EQ(ledger.Cell(3, Column::RedeemShares), Q("0"));
    EXPECT_FALSE(ledger.InputsModified());

    // 实际操作 books it, and the holding ends at 0 rather than below.
    TakeBackPrincipal(ledger, settings, Mode::Fact, prompt);
    EXPECT_EQ(prompt.captions.last(), Q("赎回提示"));
    EXPECT_EQ(ledger.Cell(3, Column::RedeemShares), held);
    EXPECT_EQ(ledger.Cell(3, Column::HeldShares), Q("0"));
    EXPECT_TRUE(ledger.InputsModified());

    // Shares already redeemed on row n count as on hand; a holding below 0
    // leaves nothing to offer.
    ledger.SetCell(3, Column::HeldShares, Q("10"));
    ledger.SetCell(3, Column::RedeemShares, Q("5.5"));
    EXPECT_FLOAT_EQ(TakeBackPrincipalShares(ledger, settings), 15.5f);
    ledger.SetCell(3, Column::HeldShares, Q("-20"));
    EXPECT_FLOAT_EQ(TakeBackPrincipalShares(ledger, settings), 0.0f);
}

TEST_F(LowerHoldingCostTest, WorkedCases) {
    EXPECT_EQ(LowerHoldingCost(ledger, settings, u"1.0000"), std::nullopt);

    Row({{Column::NetInvested, "10000"}, {Column::HeldShares, "9000"}, {Column::NetValue, "1.1"}});
    EXPECT_EQ(LowerHoldingCost(ledger, settings, u"1.0000"), Q("0"));  // no row n - 1

    Row({{Column::NetValue, "1.2"}});
    // (10000 / 0.995 - 9000) / (1.2 - 1) with P and r single: 5251.2548
    // (a double r would give 5251.26). K is read by its leading number.
    EXPECT_EQ(LowerHoldingCost(ledger, settings, u"1元"), Q("5251.25"));
    // The target equal to the NAV, even one without an exact binary form.
    EXPECT_EQ(LowerHoldingCost(ledger, settings, u"1.2000"), Q("0"));
    // Above the NAV with T / r > H * K: negative.
    ledger.SetCell(1, Column::HeldShares, Q("7000"));
    EXPECT_EQ(LowerHoldingCost(ledger, settings, u"1.3"), Q("-9502.52"));
    // Row n - 1 must hold whole numbers: T = 0 gives -7000 / (P - 1).
    ledger.SetCell(1, Column::NetInvested, Q("10000元"));
    EXPECT_EQ(LowerHoldingCost(ledger, settings, u"1"), Q("-34999.99"));
    // A fee of 100% leaves nothing to divide by.
    settings.SetText(Field::RedeemFeePct, Q("100"));
    EXPECT_EQ(LowerHoldingCost(ledger, settings, u"1.3"), Q("0"));
}

}  // namespace
}  // namespace tovira
