#include "core/ledger/plan_settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace tovira {
namespace {

QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

std::vector<Field> AllFields() {
    std::vector<Field> out;
    for (int i = 0; i < kFieldCount; ++i) out.push_back(static_cast<Field>(i));
    return out;
}

TEST(PlanSettingsDefaults, TextsSwitchesAndEnabledState) {
    PlanSettings s;
    const char* expected[] = {"0.15",  "0.5", "100", "100", "50000", "3", "15",
                              "-0.50", "1.2", "0.1", "5",   "40",    "1"};
    for (Field f : AllFields()) {
        EXPECT_EQ(s.Text(f), Q(expected[static_cast<int>(f)])) << FieldOf(f).name;
        // The defaults are already in their settled form.
        EXPECT_EQ(PlanSettings::Clamp(f, s.Text(f)), s.Text(f)) << FieldOf(f).name;
        EXPECT_FALSE(PlanSettings::Validate(f, s.Text(f)).has_value()) << FieldOf(f).name;
    }
    for (int i = 0; i < kSwitchCount; ++i) EXPECT_FALSE(s.Checked(static_cast<Switch>(i)));

    const std::vector<Control> disabled = {
        Control::MinRedeemSharesBox,     Control::MinKeepSharesBox,
        Control::StartSellPctBox,        Control::TakeProfitPctBox,
        Control::BreakMaDaysBox,         Control::RiskPositionPctBox,
        Control::BreakAmplitudePctBox,   Control::MinRedeemSharesCaption,
        Control::MinKeepSharesCaption,   Control::StartSellPctCaption,
        Control::TakeProfitPctCaption,   Control::BreakMaDaysCaption,
        Control::RiskPositionPctCaption, Control::BreakAmplitudePctCaption,
        Control::RiskPositionPctSpin,    Control::BreakAlertBox};
    for (int i = 0; i < kControlCount; ++i) {
        const Control c = static_cast<Control>(i);
        const bool off = std::find(disabled.begin(), disabled.end(), c) != disabled.end();
        EXPECT_EQ(s.Enabled(c), !off) << "control " << i;
    }
    EXPECT_DOUBLE_EQ(s.Number(Field::StartBuyPct), -0.5);
    EXPECT_EQ(ControlOf(Field::BreakMaDays), Control::BreakMaDaysBox);
    EXPECT_EQ(SpinOf(Field::RiskPositionPct), Control::RiskPositionPctSpin);
}

TEST(PlanSettingsClamp, BoundsFallbacksAndPatterns) {
    const struct {
        Field field;
        const char* typed;
        const char* result;
    } cases[] = {
        // 起投涨幅: two decimals, also after clamping; non-numbers fall back.
        {Field::StartBuyPct, "-", "-0.50"},
        {Field::StartBuyPct, "", "-0.50"},
        {Field::StartBuyPct, "1x", "-0.50"},
        {Field::StartBuyPct, "12", "9.00"},
        {Field::StartBuyPct, "-12", "-9.00"},
        {Field::StartBuyPct, "-0.5", "-0.50"},
        {Field::StartBuyPct, "-0.125", "-0.13"},
        // 投入倍数: no pattern, the typed text stays when inside the bounds.
        {Field::Multiple, "1.75", "1.75"},
        {Field::Multiple, "1.50", "1.50"},
        {Field::Multiple, "2.5", "2"},
        {Field::Multiple, "0.9", "1"},
        {Field::Multiple, "abc", "1.2"},
        // 倍数加大: the pattern is skipped for 0.
        {Field::MultipleStep, "0", "0"},
        {Field::MultipleStep, "-0.2", "0"},
        {Field::MultipleStep, "0.125", "0.13"},
        {Field::MultipleStep, "0.31", "0.3"},
        {Field::MultipleStep, "0.05", "0.05"},
        {Field::MultipleStep, ".", "0.1"},
        // 风控仓位: whole numbers.
        {Field::RiskPositionPct, "abc", "50"},
        {Field::RiskPositionPct, "45.5", "46"},
        {Field::RiskPositionPct, "100.4", "100"},
        {Field::RiskPositionPct, "-3", "0"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PlanSettings::Clamp(c.field, Q(c.typed)), Q(c.result))
            << FieldOf(c.field).name << " '" << c.typed << "'";
    }
}

TEST(PlanSettingsClamp, SettledTextsStaySettled) {
    // The rewritten text raises the change reaction again; it must find
    // nothing left to do.
    const std::pair<Field, const char*> inputs[] = {
        {Field::StartBuyPct, "-0.001"},  {Field::StartBuyPct, "8.999"},
        {Field::StartBuyPct, "1e1"},     {Field::Multiple, "1.999999"},
        {Field::MultipleStep, "0.001"},  {Field::MultipleStep, "0.299"},
        {Field::RiskPositionPct, "0.4"}, {Field::RiskPositionPct, "99.5"},
        {Field::RiskPositionPct, " 7 "}, {Field::StartBuyPct, "-9.004"},
    };
    for (const auto& [f, text] : inputs) {
        const QString once = PlanSettings::Clamp(f, Q(text));
        EXPECT_EQ(PlanSettings::Clamp(f, once), once) << text;
    }
}

TEST(PlanSettingsClamp, OtherFieldsKeepAnyText) {
    PlanSettings s;
    s.SetText(Field::TotalCapital, "abc");
    EXPECT_EQ(s.Text(Field::TotalCapital), "abc");
    EXPECT_DOUBLE_EQ(s.Number(Field::TotalCapital), 0.0);
    s.SetText(Field::PurchaseFeePct, " 0.6%");
    EXPECT_DOUBLE_EQ(s.Number(Field::PurchaseFeePct), 0.6);
    s.SetText(Field::RiskPositionPct, "120");
    EXPECT_EQ(s.Text(Field::RiskPositionPct), "100");
}

TEST(PlanSettingsValidate, MessagesAndBounds) {
    struct Case {
        Field field;
        const char* text;
        const char* message;  // nullptr: accepted
    };
    const Case cases[] = {
        {Field::PurchaseFeePct, "5", nullptr},
        {Field::PurchaseFeePct, "5.01", "申购费率错误，请重新输入！"},
        {Field::PurchaseFeePct, "-0.01", "申购费率错误，请重新输入！"},
        {Field::RedeemFeePct, "3.5", "赎回费率错误，请重新输入！"},
        {Field::RedeemFeePct, "0", nullptr},
        {Field::MinRedeemShares, "", "赎回份额错误，请重新输入！"},
        {Field::MinKeepShares, "100股", "保留份额错误，请重新输入！"},
        {Field::TotalCapital, "999", "资金总量错误，请重新输入！"},
        {Field::TotalCapital, "1000", nullptr},
        {Field::TotalCapital, " 1e5 ", nullptr},
        {Field::StartSellPct, "-1", "起卖点位错误，请重新输入！"},
        {Field::TakeProfitPct, "x", "止盈点位错误，请重新输入！"},
        {Field::BreakMaDays, "0", "破位均线错误，请重新输入！"},
        {Field::BreakMaDays, "0.5", nullptr},
        {Field::RiskPositionPct, "100", nullptr},
        {Field::RiskPositionPct, "101", "风控仓位错误，请重新输入！"},
        {Field::BreakAmplitudePct, "-", "破位幅度错误，请重新输入！"},
        {Field::BreakAmplitudePct, "0", nullptr},
        // Not validated on leaving: the change reaction already keeps them sane.
        {Field::StartBuyPct, "abc", nullptr},
        {Field::Multiple, "", nullptr},
        {Field::MultipleStep, "-5", nullptr},
    };
    for (const Case& c : cases) {
        const std::optional<QString> msg = PlanSettings::Validate(c.field, Q(c.text));
        if (c.message) {
            ASSERT_TRUE(msg.has_value()) << FieldOf(c.field).name << " '" << c.text << "'";
            EXPECT_EQ(*msg, Q(c.message));
        } else {
            EXPECT_FALSE(msg.has_value()) << FieldOf(c.field).name << " '" << c.text << "'";
        }
    }
}

TEST(PlanSettingsSpin, StepsClampAndFormat) {
    PlanSettings s;
    s.Spin(Field::StartBuyPct, true);
    EXPECT_EQ(s.Text(Field::StartBuyPct), "-0.40");
    s.SetText(Field::StartBuyPct, "-9");
    s.Spin(Field::StartBuyPct, false);
    EXPECT_EQ(s.Text(Field::StartBuyPct), "-9.00");

    s.SetText(Field::RiskPositionPct, "95");
    s.Spin(Field::RiskPositionPct, true);
    EXPECT_EQ(s.Text(Field::RiskPositionPct), "100");
    s.Spin(Field::RiskPositionPct, false);
    EXPECT_EQ(s.Text(Field::RiskPositionPct), "90");

    // Repeated binary steps must not leave long tails like 1.1500000000000001.
    s.Spin(Field::Multiple, false);
    EXPECT_EQ(s.Text(Field::Multiple), "1.15");
    s.Spin(Field::Multiple, true);
    s.Spin(Field::Multiple, true);
    EXPECT_EQ(s.Text(Field::Multiple), "1.25");
    s.SetText(Field::Multiple, "2");
    s.Spin(Field::Multiple, true);
    EXPECT_EQ(s.Text(Field::Multiple), "2");

    s.Spin(Field::MultipleStep, false);
    EXPECT_EQ(s.Text(Field::MultipleStep), "0.05");
    s.Spin(Field::MultipleStep, false);
    EXPECT_EQ(s.Text(Field::MultipleStep), "0");

    s.Spin(Field::TotalCapital, true);
    EXPECT_EQ(s.Text(Field::TotalCapital), "50000");
}

struct Recorder {
    std::vector<std::pair<Switch, bool>> calls;
    void Attach(PlanSettings& s) {
        s.onSwitchChanged = [this](Switch sw, bool on) { calls.emplace_back(sw, on); };
    }
};

TEST(PlanSettingsSwitches, HandlersRunOnlyOnRealChanges) {
    PlanSettings s;
    Recorder r;
    r.Attach(s);
    s.SetChecked(Switch::SellOnRises, false);
    EXPECT_TRUE(r.calls.empty());
    s.SetChecked(Switch::SellOnRises, true);
    s.SetChecked(Switch::SellOnRises, true);
    ASSERT_EQ(r.calls.size(), 1u);
    EXPECT_EQ(r.calls[0], std::make_pair(Switch::SellOnRises, true));
    for (Control c : {Control::MinRedeemSharesBox, Control::MinKeepSharesBox,
                      Control::StartSellPctBox, Control::MinRedeemSharesCaption,
                      Control::MinKeepSharesCaption, Control::StartSellPctCaption}) {
        EXPECT_TRUE(s.Enabled(c));
    }
    s.SetChecked(Switch::SellOnRises, false);
    EXPECT_FALSE(s.Enabled(Control::MinKeepSharesBox));
    EXPECT_FALSE(s.Enabled(Control::StartSellPctCaption));
    EXPECT_EQ(r.calls.back(), std::make_pair(Switch::SellOnRises, false));

    s.SetChecked(Switch::BuyFirst, true);
    EXPECT_TRUE(s.Enabled(Control::RiskPositionPctBox));
    EXPECT_TRUE(s.Enabled(Control::RiskPositionPctCaption));
    EXPECT_TRUE(s.Enabled(Control::RiskPositionPctSpin));
    s.SetChecked(Switch::BuyFirst, false);
    EXPECT_FALSE(s.Enabled(Control::RiskPositionPctSpin));

    // Switches without a handler still notify and change nothing else.
    r.calls.clear();
    s.SetChecked(Switch::UnlimitedCapital, true);
    EXPECT_EQ(r.calls.size(), 1u);
    EXPECT_FALSE(s.Enabled(Control::TakeProfitPctBox));
}

TEST(PlanSettingsSwitches, TakeProfitAndBreakAlertInterplay) {
    PlanSettings s;
    s.SetChecked(Switch::TakeProfitAlert, true);
    EXPECT_TRUE(s.Enabled(Control::BreakAlertBox));
    EXPECT_TRUE(s.Enabled(Control::TakeProfitPctBox));
    EXPECT_TRUE(s.Enabled(Control::TakeProfitPctCaption));
    EXPECT_FALSE(s.Enabled(Control::BreakMaDaysBox));

    s.SetChecked(Switch::BreakAlert, true);
    EXPECT_FALSE(s.Enabled(Control::TakeProfitPctBox));
    EXPECT_FALSE(s.Enabled(Control::TakeProfitPctCaption));
    for (Control c : {Control::BreakMaDaysCaption, Control::BreakMaDaysBox,
                      Control::BreakAmplitudePctCaption, Control::BreakAmplitudePctBox}) {
        EXPECT_TRUE(s.Enabled(c));
    }

    Recorder r;
    r.Attach(s);
    s.SetChecked(Switch::TakeProfitAlert, false);
    EXPECT_FALSE(s.Checked(Switch::BreakAlert));
    // The break alert's handler re-enables 止盈点位, the take-profit handler then
    // disables it again.
    for (Control c :
         {Control::TakeProfitPctBox, Control::TakeProfitPctCaption, Control::BreakMaDaysBox,
          Control::BreakAmplitudePctBox, Control::BreakMaDaysCaption,
          Control::BreakAmplitudePctCaption, Control::BreakAlertBox}) {
        EXPECT_FALSE(s.Enabled(c)) << static_cast<int>(c);
    }
    const std::vector<std::pair<Switch, bool>> expected = {{Switch::BreakAlert, false},
                                                           {Switch::TakeProfitAlert, false}};
    EXPECT_EQ(r.calls, expected);
}

TEST(PlanSettingsPresets, DefaultResetsEverythingInOrder) {
    PlanSettings s;
    for (int i = 0; i < kSwitchCount; ++i) s.SetChecked(static_cast<Switch>(i), true);
    for (Field f : AllFields()) s.SetText(f, "7");
    Recorder r;
    r.Attach(s);
    s.ApplyPreset(Preset::Default);

    for (int i = 0; i < kSwitchCount; ++i) EXPECT_FALSE(s.Checked(static_cast<Switch>(i)));
    // The cascade from SPRemind turns BrokenSP off before SPRemind reports.
    ASSERT_EQ(r.calls.size(), 7u);
    EXPECT_EQ(r.calls[0].first, Switch::BreakAlert);
    EXPECT_EQ(r.calls[1].first, Switch::TakeProfitAlert);
    EXPECT_EQ(r.calls[6].first, Switch::UnlimitedCapital);

    EXPECT_EQ(s.Text(Field::MinRedeemShares), "50");
    EXPECT_EQ(s.Text(Field::StartBuyPct), "-0.50");
    EXPECT_EQ(s.Text(Field::RiskPositionPct), "40");
    EXPECT_EQ(s.Text(Field::Multiple), "1.2");
    EXPECT_EQ(s.Text(Field::MultipleStep), "0.1");
    EXPECT_EQ(s.Text(Field::TotalCapital), "50000");
    EXPECT_EQ(s.Text(Field::BreakAmplitudePct), "1");

    // Same enabled state as a fresh form.
    PlanSettings fresh;
    for (int i = 0; i < kControlCount; ++i) {
        EXPECT_EQ(s.Enabled(static_cast<Control>(i)), fresh.Enabled(static_cast<Control>(i)))
            << "control " << i;
    }
}

TEST(PlanSettingsPresets, OthersChangeOnlyTheirRows) {
    PlanSettings s;
    s.SetChecked(Switch::ReinvestDividends, true);
    s.SetText(Field::PurchaseFeePct, "0.12");
    s.SetText(Field::StartSellPct, "4");

    s.ApplyPreset(Preset::Brave);
    EXPECT_TRUE(s.Checked(Switch::TakeProfitAlert));
    EXPECT_TRUE(s.Checked(Switch::ReinvestDividends));
    EXPECT_TRUE(s.Checked(Switch::BuyFirst));
    EXPECT_FALSE(s.Checked(Switch::SellOnRises));
    EXPECT_TRUE(s.Checked(Switch::GrowingTopUp));
    EXPECT_EQ(s.Text(Field::PurchaseFeePct), "0.12");
    EXPECT_EQ(s.Text(Field::StartSellPct), "4");
    EXPECT_EQ(s.Text(Field::StartBuyPct), "-0.30");
    EXPECT_EQ(s.Text(Field::RiskPositionPct), "30");
    EXPECT_EQ(s.Text(Field::Multiple), "1.3");
    EXPECT_EQ(s.Text(Field::MultipleStep), "0.2");
    EXPECT_TRUE(s.Enabled(Control::TakeProfitPctBox));
    EXPECT_TRUE(s.Enabled(Control::RiskPositionPctBox));
    EXPECT_FALSE(s.Enabled(Control::MinRedeemSharesBox));

    s.ApplyPreset(Preset::Steady);
    EXPECT_TRUE(s.Checked(Switch::SellOnRises));
    EXPECT_TRUE(s.Enabled(Control::MinRedeemSharesBox));
    EXPECT_EQ(s.Text(Field::StartSellPct), "5");
    EXPECT_EQ(s.Text(Field::StartBuyPct), "-0.50");

    s.ApplyPreset(Preset::Careful);
    EXPECT_FALSE(s.Checked(Switch::BuyFirst));
    EXPECT_FALSE(s.Checked(Switch::GrowingTopUp));
    EXPECT_FALSE(s.Enabled(Control::RiskPositionPctBox));
    EXPECT_EQ(s.Text(Field::StartSellPct), "2");
    EXPECT_EQ(s.Text(Field::TakeProfitPct), "8");
    EXPECT_EQ(s.Text(Field::StartBuyPct), "-1.00");
    EXPECT_EQ(s.Text(Field::RiskPositionPct), "50");
    EXPECT_EQ(s.Text(Field::Multiple), "1.1");
    EXPECT_EQ(s.Text(Field::MultipleStep), "0.05");
    EXPECT_TRUE(s.Checked(Switch::ReinvestDividends));
}

}  // namespace
}  // namespace tovira
