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

namespace tovira {

// The thirteen numeric fields of the side panel, top to bottom.
enum class Field : int {
    PurchaseFeePct,
    RedeemFeePct,
    MinRedeemShares,
    MinKeepShares,
    TotalCapital,
    StartSellPct,
    TakeProfitPct,
    StartBuyPct,
    Multiple,
    MultipleStep,
    BreakMaDays,
    RiskPositionPct,
    BreakAmplitudePct,
};
inline constexpr int kFieldCount = 13;

// The seven switches, in the order the plan file stores them.
enum class Switch : int {
    TakeProfitAlert,    // 止盈提醒
    ReinvestDividends,  // 红利再投
    BuyFirst,           // 加仓优先
    SellOnRises,        // 越涨越卖
    GrowingTopUp,       // 修正追加
    UnlimitedCapital,   // 无限资金
    BreakAlert,         // 破位止盈
};
inline constexpr int kSwitchCount = 7;

// Controls of the side panel whose enabled state the switches steer: the
// boxes in Field order, the captions a switch greys out, the four spin
// controls, the check boxes in Switch order.
enum class Control : int {
    PurchaseFeePctBox,
    RedeemFeePctBox,
    MinRedeemSharesBox,
    MinKeepSharesBox,
    TotalCapitalBox,
    StartSellPctBox,
    TakeProfitPctBox,
    StartBuyPctBox,
    MultipleBox,
    MultipleStepBox,
    BreakMaDaysBox,
    RiskPositionPctBox,
    BreakAmplitudePctBox,
    MinRedeemSharesCaption,
    MinKeepSharesCaption,
    StartSellPctCaption,
    TakeProfitPctCaption,
    BreakMaDaysCaption,
    RiskPositionPctCaption,
    BreakAmplitudePctCaption,
    StartBuyPctSpin,
    MultipleSpin,
    MultipleStepSpin,
    RiskPositionPctSpin,
    TakeProfitAlertBox,
    ReinvestDividendsBox,
    BuyFirstBox,
    SellOnRisesBox,
    GrowingTopUpBox,
    UnlimitedCapitalBox,
    BreakAlertBox,
};
inline constexpr int kControlCount = 31;

enum class Preset : int { Default, Brave, Steady, Careful };

struct FieldInfo {
    Field field;
    const char* name;         // "purchaseFee", for messages and tests
    const char* iniKey;       // plan file key in section "设置"
    const char* defaultText;  // text when the window is created
    const char* tooltip;
};

struct SwitchInfo {
    Switch sw;
    const char* key;      // plan file key, also the control name
    const char* caption;  // check box caption
    const char* tooltip;  // empty when the switch has none
};

const std::array<FieldInfo, kFieldCount>& Fields();
const FieldInfo& FieldOf(Field f);
const std::array<SwitchInfo, kSwitchCount>& Switches();
const SwitchInfo& SwitchOf(Switch s);
// The box control of a field.
Control ControlOf(Field f);
// The spin control of a field, if it has one (起投涨幅, 投入倍数, 倍数加大, 风控仓位).
std::optional<Control> SpinOf(Field f);

// Preset names as the menu shows them ("默认值(参考)", ...).
QString PresetCaption(Preset p);

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
    void RunHandler(Switch s);

    std::array<QString, kFieldCount> texts_;
    std::array<bool, kSwitchCount> checked_{};
    std::array<bool, kControlCount> enabled_{};
};

}  // namespace tovira
