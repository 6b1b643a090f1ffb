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

// The thirteen numeric fields, in the order of their controls Text1 ... Text14
// (there is no Text11: that is the in-place cell editor).
enum class Field : int {
    PurchaseFeePct,     // Text1
    RedeemFeePct,       // Text2
    MinRedeemShares,    // Text3
    MinKeepShares,      // Text4
    TotalCapital,       // Text5
    StartSellPct,       // Text6
    TakeProfitPct,      // Text7
    StartBuyPct,        // Text8
    Multiple,           // Text9
    MultipleStep,       // Text10
    BreakMaDays,        // Text12
    RiskPositionPct,    // Text13
    BreakAmplitudePct,  // Text14
};
inline constexpr int kFieldCount = 13;

// The seven switches, in the order the plan file stores them.
enum class Switch : int { SPRemind, RedRecycle, PCFirst, Redeem, KeepROP, NoLimit, BrokenSP };
inline constexpr int kSwitchCount = 7;

// Controls of the side panel whose enabled state the switches steer.
enum class Control : int {
    Text1,
    Text2,
    Text3,
    Text4,
    Text5,
    Text6,
    Text7,
    Text8,
    Text9,
    Text10,
    Text12,
    Text13,
    Text14,
    Label3,   // caption of Text3
    Label4,   // caption of Text4
    Label6,   // caption of Text6
    Label8,   // caption of Text7
    Label20,  // caption of Text12
    Label21,  // caption of Text13
    Label22,  // caption of Text14
    UpDown1,
    UpDown2,
    UpDown3,
    UpDown4,
    SPRemind,
    RedRecycle,
    PCFirst,
    Redeem,
    KeepROP,
    NoLimit,
    BrokenSP,
};
inline constexpr int kControlCount = 31;

enum class Preset : int { Default, Brave, Steady, Careful };

struct FieldInfo {
    Field field;
    const char* control;      // "Text1"
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
// The box control of a field (Text1 ... Text14).
Control ControlOf(Field f);
// The spin control of a field, if it has one (Text8, Text9, Text10, Text13).
std::optional<Control> SpinOf(Field f);

// Preset names as the menu shows them ("默认值(参考)", ...).
QString PresetCaption(Preset p);

class PlanSettings {
  public:
    PlanSettings();  // form defaults: default texts, all switches off

    const QString& Text(Field f) const { return texts_[static_cast<size_t>(f)]; }
    // The field's text read as a number (lenient).
    double Number(Field f) const;
    // Sets the text and runs the field's change reaction: the four boxes with a
    // spin control are clamped and reformatted.
    void SetText(Field f, const QString& text);

    bool Checked(Switch s) const { return checked_[static_cast<size_t>(s)]; }
    // Sets a switch; when the state changes, the switch's handler runs (enables
    // and disables controls, unchecks BrokenSP with SPRemind) and
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
