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
        const int row = ledger.RowCount() + 1;
        ledger.AddRow(QString::number(row));
        for (const auto& [key, text] : cells) ledger.SetCell(row, key, Q(text));
    }

    LedgerModel ledger;
    PlanSettings settings;  // redemption fee "0.5": r = single(0.995)
    test::RecordingPrompt prompt;
};
using MoneyOutTest = CalcTest;

// The menu command as the window runs it: the offer is shown, or asked
// ("赎回提示", Yes/No) and booked on Yes.
void MoneyOut(LedgerModel& ledger, const PlanSettings& settings, Mode mode, Prompt& prompt) {
    const MoneyOutOffer offer = OfferMoneyOut(ledger, settings, mode);
    if (offer.kind != MoneyOutOffer::Kind::Book) {
        prompt.Inform(MessageFor(offer));
    } else if (prompt.Ask(MessageFor(offer), Q(kMsgMoneyOutCaption), PromptButtons::YesNo,
                          PromptIcon::Question) == PromptAnswer::Yes) {
        BookMoneyOut(ledger, settings, mode, offer);
    }
}
using CheaperTest = CalcTest;

TEST_F(MoneyOutTest, ReadsEachFigureFromItsOwnRow) {
    Row({{Column::TTPurchase, "99999"}, {Column::HoldShares, "99999"}});  // never read
    Row({{Column::TTPurchase, "2000"}, {Column::HoldShares, "900"}});     // n - 2: T, H
    Row({{Column::TTPurchase, "1500"},                                    // n - 1: A, B
         {Column::PurchaseShares, "500份"},
         {Column::PurchaseAmount, "500"},
         {Column::HoldShares, "1400"}});
    Row({{Column::NetValue, "1.2元"}, {Column::TTPurchase, "1"}, {Column::HoldShares, "900"}});  // n: P
    // 50000 / (2000 - 1.2 * 900 * 0.995) = 54.0307
    EXPECT_FLOAT_EQ(MoneyOutShares(ledger, settings), 54.03f);
    settings.SetText(Field::RedeemFeePct, Q("10"));
    EXPECT_FLOAT_EQ(MoneyOutShares(ledger, settings), 48.64f);

    // With exactly three rows the first gives T and H; T must be a whole
    // number ("2000元" leaves T at 0 and gives a negative share count).
    ledger.RemoveRow(1);
    ledger.SetCell(1, Column::TTPurchase, Q("2000元"));
    EXPECT_FLOAT_EQ(MoneyOutShares(ledger, settings), -51.44f);
}

TEST_F(MoneyOutTest, RoundsHalvesToEvenAndTreatsZeroAsNothingToDo) {
    Row({{Column::TTPurchase, "8"}});
    Row({{Column::TTPurchase, "1"}, {Column::PurchaseShares, "1"}});
    Row({{Column::NetValue, "0"}, {Column::HoldShares, "1"}});
    EXPECT_FLOAT_EQ(MoneyOutShares(ledger, settings), 0.12f);  // 1 / 8 = 0.125

    prompt.fallback = PromptAnswer::Yes;
    ledger.SetCell(1, Column::TTPurchase, Q("400"));  // 1 / 400 rounds to 0.00
    MoneyOut(ledger, settings, Mode::Fact, prompt);
    ledger.RemoveRow(1);  // two rows: zero divisor
    MoneyOut(ledger, settings, Mode::Fact, prompt);
    EXPECT_EQ(prompt.texts, QStringList(2, Q("应赎回0份")));
    EXPECT_EQ(ledger.Cell(2, Column::RedeemShares), QString());

    ledger.ClearRows();
    prompt.texts.clear();
    MoneyOut(ledger, settings, Mode::Fact, prompt);
    EXPECT_EQ(prompt.texts, QStringList{Q("数据不足！")});
}

TEST_F(MoneyOutTest, OffersTheSharesAndBooksThemOnYes) {
    test::AddDays(ledger, {{"1.0000"}, {"1.1000"}, {"1.2000"}});
    ledger.SetCell(1, Column::PurchaseAmount, Q("1000"));
    ledger.SetCell(2, Column::PurchaseAmount, Q("500"));
    Recalculate(ledger, settings, Mode::Fact);
    const float held = ledger.Cell(2, Column::HoldShares).toFloat();
    const float x = MoneyOutShares(ledger, settings);
    ASSERT_NE(x, 0.0f);
    const QString question = Q("应赎回") + GeneralText(x) + Q("份，是否填入列表并计算确认金额？");

    prompt.replies = {PromptAnswer::No, PromptAnswer::Yes};
    MoneyOut(ledger, settings, Mode::Fact, prompt);
    EXPECT_EQ(ledger.Cell(3, Column::RedeemShares), Q("0"));
    MoneyOut(ledger, settings, Mode::Fact, prompt);
    EXPECT_EQ(prompt.texts, QStringList(2, question));
    EXPECT_EQ(prompt.captions, QStringList(2, Q("赎回提示")));
    // Written in the same form and booked by the recalculation.
    EXPECT_EQ(ledger.Cell(3, Column::RedeemShares), GeneralText(x));
    EXPECT_NE(ledger.Cell(3, Column::RedeemAmount), Q("0"));
    EXPECT_FLOAT_EQ(ledger.Cell(3, Column::HoldShares).toFloat(), held - x);
}

TEST_F(MoneyOutTest, OffersAtMostTheSharesOnHandAndBooksOnlyInFact) {
    // Bought at about 1.0065 a share after fees: a NAV just above that leaves
    // a tiny divisor and a figure of some ten thousand shares.
    test::AddDays(ledger, {{"1.0000"}, {"1.1000"}, {"1.0070"}});
    ledger.SetCell(1, Column::PurchaseAmount, Q("1000"));
    ledger.SetCell(2, Column::PurchaseAmount, Q("500"));
    Recalculate(ledger, settings, Mode::Fact);
    const QString held = ledger.Cell(3, Column::HoldShares);
    EXPECT_EQ(GeneralText(MoneyOutShares(ledger, settings)), held);

    // 理论计算 would overwrite a typed redemption at once: the figure is only
    // shown and the plan is not marked changed.
    ledger.SetInputsModified(false);
    prompt.fallback = PromptAnswer::Yes;
    MoneyOut(ledger, settings, Mode::Theory, prompt);
    EXPECT_EQ(prompt.texts, QStringList{Q("应赎回") + held + Q("份\n") + Q(kMsgMoneyOutTheoryOnly)});
    EXPECT_EQ(ledger.Cell(3, Column::RedeemShares), Q("0"));
    EXPECT_FALSE(ledger.InputsModified());

    // 实际操作 books it, and the holding ends at 0 rather than below.
    MoneyOut(ledger, settings, Mode::Fact, prompt);
    EXPECT_EQ(prompt.captions.last(), Q("赎回提示"));
    EXPECT_EQ(ledger.Cell(3, Column::RedeemShares), held);
    EXPECT_EQ(ledger.Cell(3, Column::HoldShares), Q("0"));
    EXPECT_TRUE(ledger.InputsModified());

    // Shares already redeemed on row n count as on hand; a holding below 0
    // leaves nothing to offer.
    ledger.SetCell(3, Column::HoldShares, Q("10"));
    ledger.SetCell(3, Column::RedeemShares, Q("5.5"));
    EXPECT_FLOAT_EQ(MoneyOutShares(ledger, settings), 15.5f);
    ledger.SetCell(3, Column::HoldShares, Q("-20"));
    EXPECT_FLOAT_EQ(MoneyOutShares(ledger, settings), 0.0f);
}

TEST_F(CheaperTest, WorkedCases) {
    EXPECT_EQ(Cheaper(ledger, settings, u"1.0000"), std::nullopt);

    Row({{Column::TTPurchase, "10000"}, {Column::HoldShares, "9000"}, {Column::NetValue, "1.1"}});
    EXPECT_EQ(Cheaper(ledger, settings, u"1.0000"), Q("0"));  // no row n - 1

    Row({{Column::NetValue, "1.2"}});
    // (10000 / 0.995 - 9000) / (1.2 - 1) with P and r single: 5251.2548
    // (a double r would give 5251.26). K is read by its leading number.
    EXPECT_EQ(Cheaper(ledger, settings, u"1元"), Q("5251.25"));
    // The target equal to the NAV, even one without an exact binary form.
    EXPECT_EQ(Cheaper(ledger, settings, u"1.2000"), Q("0"));
    // Above the NAV with T / r > H * K: negative.
    ledger.SetCell(1, Column::HoldShares, Q("7000"));
    EXPECT_EQ(Cheaper(ledger, settings, u"1.3"), Q("-9502.52"));
    // Row n - 1 must hold whole numbers: T = 0 gives -7000 / (P - 1).
    ledger.SetCell(1, Column::TTPurchase, Q("10000元"));
    EXPECT_EQ(Cheaper(ledger, settings, u"1"), Q("-34999.99"));
    // A fee of 100% leaves nothing to divide by.
    settings.SetText(Field::RedeemFeePct, Q("100"));
    EXPECT_EQ(Cheaper(ledger, settings, u"1.3"), Q("0"));
}

}  // namespace
}  // namespace tovira
