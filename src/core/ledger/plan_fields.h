#pragma once
// Everything about each plan parameter and each switch, one row each: its key
// in the plan file, how the side panel shows it, its default, how a box checks
// and clamps it, which switch greys it out, what the presets set it to and
// whether the parameter search may vary it. The settings, the plan files, the
// side panel and the search all read these rows; a new parameter is one new
// row (and its Field).

#include <QString>
#include <QStringView>
#include <array>
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

enum class Preset : int { Default, Brave, Steady, Careful };
inline constexpr int kPresetCount = 4;

// The check of a box when it loses the focus. A box fails when its text is
// not a number as a whole, or lies outside the bounds.
struct FieldCheck {
    const char* message = nullptr;  // nullptr: the box is not checked
    double min = 0;
    bool minExclusive = false;  // the bound itself fails too (a moving average needs >= 1 day)
    bool hasMax = false;
    double max = 0;
};

// The change reaction of a box with a spin control: clamped to the bounds on
// every change and shown in its pattern, so it never holds a non-number.
struct FieldClamp {
    double step = 0;  // one click of the spin control; 0: no spin control, no clamping
    double lower = 0;
    const char* lowerText = nullptr;  // the text a value below the bounds turns into
    double upper = 0;
    const char* upperText = nullptr;
    const char* pattern = nullptr;  // nullptr: the text is kept as typed
    bool skipPatternAtZero = false;
    const char* fallback = nullptr;  // the text a non-number turns into
};

struct FieldInfo {
    Field field;
    const char* name = nullptr;         // "purchaseFee", for messages and tests
    const char* iniKey = nullptr;       // plan file key in section "设置"
    int storedPlace = 0;                // place among the keys the plan file stores
    const char* caption = nullptr;      // the figure as the panel, messages and search name it
    const char* unit = nullptr;         // shown after the caption: "起投涨幅(%)"
    const char* objectName = nullptr;   // of the side panel's box
    const char* defaultText = nullptr;  // text when the window is created
    const char* tooltip = nullptr;
    FieldCheck check;
    FieldClamp clamp;
    // The switch that turns the box, its caption and its spin control on
    // (they start off), and the one whose ticking turns them off again.
    std::optional<Switch> enabledBy;
    std::optional<Switch> replacedBy;
    int presetPlace = 0;  // place when a preset sets the texts (the clamped boxes last)
    std::array<const char*, kPresetCount> presetTexts{};  // by Preset; nullptr leaves the text
    const char* searchName = nullptr;  // the search's name for it; nullptr: never varied
    int searchPlace = 0;               // place in the search's list
};

struct SwitchInfo {
    Switch sw;
    const char* key = nullptr;         // plan file key
    const char* caption = nullptr;     // check box caption
    const char* tooltip = nullptr;     // empty when the switch has none
    const char* objectName = nullptr;  // of the side panel's check box
    int panelRow = 0;                  // place in the panel's two columns
    int panelColumn = 0;
    // The switch that enables this one; unticking it unticks this one first.
    std::optional<Switch> enabledBy;
    std::array<int, kPresetCount> presets{};  // by Preset: -1 leaves the switch, 0/1 sets it
};

const std::array<FieldInfo, kFieldCount>& Fields();
const FieldInfo& FieldOf(Field f);
const std::array<SwitchInfo, kSwitchCount>& Switches();
const SwitchInfo& SwitchOf(Switch s);

// The fields in the order the plan file stores them and an open applies them.
const std::array<Field, kFieldCount>& StoredFieldOrder();
// The fields in the order a preset sets their texts.
const std::array<Field, kFieldCount>& PresetFieldOrder();

// The caption of a parameter's box: the figure and its unit ("起投涨幅(%)").
const char* FieldCaptionText(Field f);
// The figure alone, as messages and the parameter search name it ("起投涨幅").
QString FieldName(Field f);

// Preset names as the menu shows them ("默认值(参考)", ...).
QString PresetCaption(Preset p);

}  // namespace tovira
