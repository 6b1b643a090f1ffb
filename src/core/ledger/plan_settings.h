#pragma once
// The plan parameters and switches of the side panel, as plain logic: texts
// and states, defaults, validation on leaving a box, clamping on every change,
// spin steps, which controls each switch enables, and the presets. The window
// mirrors this object in its widgets; the pass, the plan files and the alerts
// read it.

#include <QString>
#include <array>
#include <functional>
#include <optional>

#include "core/ledger/plan_fields.h"

namespace tovira {

// Controls of the side panel whose enabled state the switches steer: each
// field's box, caption and spin control, and each switch's check box. A
// control is found through its field or switch (ControlOf, CaptionOf, SpinOf);
// the names below are shorthands for code that means one of them.
inline constexpr int kControlCount = 3 * kFieldCount + kSwitchCount;
constexpr int BoxIndex(Field f) { return static_cast<int>(f); }
constexpr int CaptionIndex(Field f) { return kFieldCount + static_cast<int>(f); }
constexpr int SpinIndex(Field f) { return 2 * kFieldCount + static_cast<int>(f); }
constexpr int SwitchBoxIndex(Switch s) { return 3 * kFieldCount + static_cast<int>(s); }

enum class Control : int {
    PurchaseFeePctBox = BoxIndex(Field::PurchaseFeePct),
    RedeemFeePctBox = BoxIndex(Field::RedeemFeePct),
    MinRedeemSharesBox = BoxIndex(Field::MinRedeemShares),
    MinKeepSharesBox = BoxIndex(Field::MinKeepShares),
    TotalCapitalBox = BoxIndex(Field::TotalCapital),
    StartSellPctBox = BoxIndex(Field::StartSellPct),
    TakeProfitPctBox = BoxIndex(Field::TakeProfitPct),
    StartBuyPctBox = BoxIndex(Field::StartBuyPct),
    MultipleBox = BoxIndex(Field::Multiple),
    MultipleStepBox = BoxIndex(Field::MultipleStep),
    BreakMaDaysBox = BoxIndex(Field::BreakMaDays),
    RiskPositionPctBox = BoxIndex(Field::RiskPositionPct),
    BreakAmplitudePctBox = BoxIndex(Field::BreakAmplitudePct),
    MinRedeemSharesCaption = CaptionIndex(Field::MinRedeemShares),
    MinKeepSharesCaption = CaptionIndex(Field::MinKeepShares),
    StartSellPctCaption = CaptionIndex(Field::StartSellPct),
    TakeProfitPctCaption = CaptionIndex(Field::TakeProfitPct),
    BreakMaDaysCaption = CaptionIndex(Field::BreakMaDays),
    RiskPositionPctCaption = CaptionIndex(Field::RiskPositionPct),
    BreakAmplitudePctCaption = CaptionIndex(Field::BreakAmplitudePct),
    StartBuyPctSpin = SpinIndex(Field::StartBuyPct),
    MultipleSpin = SpinIndex(Field::Multiple),
    MultipleStepSpin = SpinIndex(Field::MultipleStep),
    RiskPositionPctSpin = SpinIndex(Field::RiskPositionPct),
    TakeProfitAlertBox = SwitchBoxIndex(Switch::TakeProfitAlert),
    ReinvestDividendsBox = SwitchBoxIndex(Switch::ReinvestDividends),
    BuyFirstBox = SwitchBoxIndex(Switch::BuyFirst),
    SellOnRisesBox = SwitchBoxIndex(Switch::SellOnRises),
    GrowingTopUpBox = SwitchBoxIndex(Switch::GrowingTopUp),
    UnlimitedCapitalBox = SwitchBoxIndex(Switch::UnlimitedCapital),
    BreakAlertBox = SwitchBoxIndex(Switch::BreakAlert),
};

// The box control of a field.
Control ControlOf(Field f);
// The caption control of a field, if a switch greys it out.
std::optional<Control> CaptionOf(Field f);
// The spin control of a field, if it has one (起投涨幅, 投入倍数, 倍数加大, 风控仓位).
std::optional<Control> SpinOf(Field f);
// The check box of a switch.
Control ControlOf(Switch s);

class PlanSettings {
  public:
    PlanSettings();  // the texts a new window shows, all switches off

    const QString& Text(Field f) const { return texts_[static_cast<size_t>(f)]; }
    // The field's text read as a number (lenient).
    double Number(Field f) const;
    // Sets the text and runs the field's change reaction: the four boxes with a
    // spin control are clamped and reformatted.
    void SetText(Field f, const QString& text);

    bool Checked(Switch s) const { return checked_[static_cast<size_t>(s)]; }
    // Sets a switch; when the state changes, the switch's handler runs (enables
    // and disables controls, unchecks 破位止盈 with 止盈提醒) and
    // onSwitchChanged is called.
    void SetChecked(Switch s, bool checked);

    bool Enabled(Control c) const { return enabled_[static_cast<size_t>(c)]; }

    // One click of the field's spin control (up adds the step, down subtracts
    // it). Does nothing for fields without a spin control.
    void Spin(Field f, bool up);

    // Sets the preset's controls in the preset's order; no recalculation.
    void ApplyPreset(Preset p);

    // Validation when a box loses the focus: the message, or nothing when the
    // text is acceptable. Fields without validation always pass.
    static std::optional<QString> Validate(Field f, const QString& text);
    // The change reaction of a clamped field: the text it turns into (the same
    // text for fields without a reaction, or when nothing changes).
    static QString Clamp(Field f, const QString& text);
    // Spin step of a field's control (0 when it has none).
    static double SpinStep(Field f);

    // Called after a switch changed state (also from code), e.g. so that the
    // ledger can show or hide its redemption columns.
    std::function<void(Switch, bool)> onSwitchChanged;

  private:
    void SetEnabled(Control c, bool on) { enabled_[static_cast<size_t>(c)] = on; }
    // The box, its caption and its spin control, as far as the field has them.
    void SetFieldEnabled(Field f, bool on);
    void RunHandler(Switch s);

    std::array<QString, kFieldCount> texts_;
    std::array<bool, kSwitchCount> checked_{};
    std::array<bool, kControlCount> enabled_{};
};

}  // namespace tovira
