#include "core/ledger/plan_settings.h"

#include "core/common/numbers.h"

namespace tovira {

namespace {

size_t Index(Field f) { return static_cast<size_t>(f); }
size_t Index(Switch s) { return static_cast<size_t>(s); }

// Bounds of the boxes checked when they lose the focus. A box fails when its
// text is not a number as a whole, or lies outside the bounds.
struct ValidationRule {
    Field field;
    bool hasMin;
    double min;
    bool minExclusive;  // the bound itself fails too (a moving average needs >= 1 day)
    bool hasMax;
    double max;
    const char* message;
};

constexpr ValidationRule kValidation[] = {
    {Field::PurchaseFeePct, true, 0, false, true, 5, "申购费率错误，请重新输入！"},
    {Field::RedeemFeePct, true, 0, false, true, 3, "赎回费率错误，请重新输入！"},
    {Field::MinRedeemShares, true, 0, false, false, 0, "赎回份额错误，请重新输入！"},
    {Field::MinKeepShares, true, 0, false, false, 0, "保留份额错误，请重新输入！"},
    {Field::TotalCapital, true, 1000, false, false, 0, "资金总量错误，请重新输入！"},
    {Field::StartSellPct, true, 0, false, false, 0, "起卖点位错误，请重新输入！"},
    {Field::TakeProfitPct, true, 0, false, false, 0, "止盈点位错误，请重新输入！"},
    {Field::BreakMaDays, true, 0, true, false, 0, "破位均线错误，请重新输入！"},
    {Field::RiskPositionPct, true, 0, false, true, 100, "风控仓位错误，请重新输入！"},
    {Field::BreakAmplitudePct, true, 0, false, false, 0, "破位幅度错误，请重新输入！"},
};

// The boxes with a spin control are clamped on every change, so they never
// hold a non-number.
struct ClampRule {
    Field field;
    const char* lowerText;
    double lower;
    const char* upperText;
    double upper;
    const char* pattern;  // nullptr: the text is kept as typed
    bool skipPatternAtZero;
    const char* fallback;
    double step;
};

constexpr ClampRule kClamp[] = {
    {Field::StartBuyPct, "-9", -9, "9", 9, "0.00", false, "-0.50", 0.1},
    {Field::Multiple, "1", 1, "2", 2, nullptr, false, "1.2", 0.05},
    {Field::MultipleStep, "0", 0, "0.3", 0.3, "0.0#", true, "0.1", 0.05},
    {Field::RiskPositionPct, "0", 0, "100", 100, "0", false, "50", 10},
};

const ClampRule* ClampRuleOf(Field f) {
    for (const ClampRule& r : kClamp) {
        if (r.field == f) return &r;
    }
    return nullptr;
}

// One run of the change handler.
QString ClampOnce(const ClampRule& r, const QString& text) {
    const std::optional<double> strict = StrictNumber(text);
    if (!strict) return QString::fromUtf8(r.fallback);
    double v = *strict;
    QString out = text;
    if (v > r.upper) {
        out = QString::fromUtf8(r.upperText);
        v = r.upper;
    }
    if (v < r.lower) {
        out = QString::fromUtf8(r.lowerText);
        v = r.lower;
    }
    if (r.pattern && !(r.skipPatternAtZero && v == 0)) {
        out = FormatPattern(v, QString::fromLatin1(r.pattern));
    }
    return out;
}

// A preset: for each switch (in Switch order, 破位止盈 excluded) -1 leaves it,
// 0/1 sets it; for each field a text or nullptr to leave it.
struct PresetValues {
    std::array<int, 6> switches;
    std::array<const char*, kFieldCount> texts;  // indexed by Field
};

// Texts are set in this order, so the clamped boxes come last.
constexpr Field kPresetTextOrder[] = {
    Field::PurchaseFeePct,    Field::RedeemFeePct, Field::MinRedeemShares, Field::MinKeepShares,
    Field::TotalCapital,      Field::StartSellPct, Field::TakeProfitPct,   Field::BreakMaDays,
    Field::BreakAmplitudePct, Field::StartBuyPct,  Field::RiskPositionPct, Field::Multiple,
    Field::MultipleStep,
};

// Columns of texts in Field order. Default sets 至少赎回 to "50", not to the
// window's starting text "100".
const PresetValues kPresets[] = {
    {{0, 0, 0, 0, 0, 0},
     {"0.15", "0.5", "50", "100", "50000", "3", "15", "-0.5", "1.2", "0.1", "5", "40", "1"}},
    {{1, -1, 1, 0, 1, -1},
     {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, "15", "-0.3", "1.3", "0.2", nullptr,
      "30", nullptr}},
    {{1, -1, 1, 1, 1, -1},
     {nullptr, nullptr, nullptr, nullptr, nullptr, "5", "15", "-0.5", "1.2", "0.1", nullptr, "40",
      nullptr}},
    {{1, -1, 0, 1, 0, -1},
     {nullptr, nullptr, nullptr, nullptr, nullptr, "2", "8", "-1", "1.1", "0.05", nullptr, "50",
      nullptr}},
};

}  // namespace

const std::array<FieldInfo, kFieldCount>& Fields() {
    static const std::array<FieldInfo, kFieldCount> kFields = {{
        {Field::PurchaseFeePct, "purchaseFee", "申购费率", "0.15", "购买渠道的申购费率"},
        {Field::RedeemFeePct, "redeemFee", "赎回费率", "0.5", "购买渠道的赎回费率"},
        {Field::MinRedeemShares, "minRedeemShares", "至少赎回", "100", "基金的最小赎回份额"},
        {Field::MinKeepShares, "minKeepShares", "至少保留", "100", "基金的最少保留份额"},
        {Field::TotalCapital, "totalCapital", "资金总量", "50000",
         "近期无他用的资金总量，至少1000元"},
        {Field::StartSellPct, "startSell", "起卖点位", "3", "达到则开始赎回"},
        {Field::TakeProfitPct, "takeProfit", "止盈点位", "15", "达到则弹窗提醒"},
        {Field::StartBuyPct, "startBuy", "起投涨幅", "-0.50", "判断是否投入的依据"},
        {Field::Multiple, "multiple", "倍数", "1.2", "相邻两次投入之比"},
        {Field::MultipleStep, "multipleStep", "加倍", "0.1", "连跌行情倍数每次加大的量"},
        {Field::BreakMaDays, "breakDays", "破位均线", "5", "即最近几个交易日净值的平均值"},
        {Field::RiskPositionPct, "riskPosition", "风控仓位", "40",
         "加仓优先状态下允许激进操作的仓位"},
        {Field::BreakAmplitudePct, "breakAmplitude", "破位幅度", "1",
         "低于上面的平均值百分之几则卖出"},
    }};
    return kFields;
}

const FieldInfo& FieldOf(Field f) { return Fields()[Index(f)]; }

const std::array<SwitchInfo, kSwitchCount>& Switches() {
    static const std::array<SwitchInfo, kSwitchCount> kSwitches = {{
        {Switch::TakeProfitAlert, "SPRemind", "止盈提醒", "收益率超过止盈点弹窗提醒"},
        {Switch::ReinvestDividends, "RedRecycle", "红利再投", "若购买渠道的分红方式未修改请勿勾选"},
        {Switch::BuyFirst, "PCFirst", "加仓优先", "若不勾选，净值创新低才会加仓"},
        {Switch::SellOnRises, "Redeem", "越涨越卖", "根据至少赎回、至少保留和起卖点位计算赎回份额"},
        {Switch::GrowingTopUp, "KeepROP", "修正追加",
         "使后期的单笔投入的金额增大以有效降低持仓成本"},
        {Switch::UnlimitedCapital, "NoLimit", "无限资金", ""},
        {Switch::BreakAlert, "BrokenSP", "破位止盈", ""},
    }};
    return kSwitches;
}

const SwitchInfo& SwitchOf(Switch s) { return Switches()[Index(s)]; }

Control ControlOf(Field f) {
    // Field and Control list the boxes in the same order.
    return static_cast<Control>(static_cast<int>(f));
}

std::optional<Control> SpinOf(Field f) {
    switch (f) {
        case Field::StartBuyPct:
            return Control::StartBuyPctSpin;
        case Field::Multiple:
            return Control::MultipleSpin;
        case Field::MultipleStep:
            return Control::MultipleStepSpin;
        case Field::RiskPositionPct:
            return Control::RiskPositionPctSpin;
        default:
            return std::nullopt;
    }
}

QString PresetCaption(Preset p) {
    switch (p) {
        case Preset::Default:
            return QStringLiteral("默认值(参考)");
        case Preset::Brave:
            return QStringLiteral("激进型(参考)");
        case Preset::Steady:
            return QStringLiteral("稳健型(参考)");
        case Preset::Careful:
            return QStringLiteral("保守型(参考)");
    }
    return {};
}

PlanSettings::PlanSettings() {
    for (const FieldInfo& info : Fields())
        texts_[Index(info.field)] = QString::fromUtf8(info.defaultText);
    enabled_.fill(true);
    // All switches start off, so everything they govern starts disabled.
    for (Control c :
         {Control::MinRedeemSharesBox, Control::MinKeepSharesBox, Control::StartSellPctBox,
          Control::MinRedeemSharesCaption, Control::MinKeepSharesCaption,
          Control::StartSellPctCaption, Control::TakeProfitPctBox, Control::TakeProfitPctCaption,
          Control::BreakMaDaysBox, Control::BreakMaDaysCaption, Control::BreakAmplitudePctBox,
          Control::BreakAmplitudePctCaption, Control::RiskPositionPctBox,
          Control::RiskPositionPctCaption, Control::RiskPositionPctSpin, Control::BreakAlertBox}) {
        SetEnabled(c, false);
    }
}

double PlanSettings::Number(Field f) const { return ReadNumber(Text(f)); }

void PlanSettings::SetText(Field f, const QString& text) { texts_[Index(f)] = Clamp(f, text); }

void PlanSettings::SetChecked(Switch s, bool checked) {
    if (checked_[Index(s)] == checked) return;
    checked_[Index(s)] = checked;
    RunHandler(s);
    if (onSwitchChanged) onSwitchChanged(s, checked);
}

void PlanSettings::RunHandler(Switch s) {
    const bool on = Checked(s);
    switch (s) {
        case Switch::BuyFirst:
            SetEnabled(Control::RiskPositionPctCaption, on);
            SetEnabled(Control::RiskPositionPctBox, on);
            SetEnabled(Control::RiskPositionPctSpin, on);
            break;
        case Switch::SellOnRises:
            for (Control c : {Control::MinRedeemSharesBox, Control::MinKeepSharesBox,
                              Control::StartSellPctBox, Control::MinRedeemSharesCaption,
                              Control::MinKeepSharesCaption, Control::StartSellPctCaption}) {
                SetEnabled(c, on);
            }
            break;
        case Switch::TakeProfitAlert:
            // Without the take-profit alert there is nothing for the break
            // alert to replace, so it goes off first.
            if (!on) SetChecked(Switch::BreakAlert, false);
            SetEnabled(Control::BreakAlertBox, on);
            SetEnabled(Control::TakeProfitPctCaption, on);
            SetEnabled(Control::TakeProfitPctBox, on);
            break;
        case Switch::BreakAlert:
            // The break alert replaces the fixed take-profit point.
            SetEnabled(Control::BreakMaDaysCaption, on);
            SetEnabled(Control::BreakMaDaysBox, on);
            SetEnabled(Control::BreakAmplitudePctCaption, on);
            SetEnabled(Control::BreakAmplitudePctBox, on);
            SetEnabled(Control::TakeProfitPctCaption, !on);
            SetEnabled(Control::TakeProfitPctBox, !on);
            break;
        case Switch::ReinvestDividends:
        case Switch::GrowingTopUp:
        case Switch::UnlimitedCapital:
            break;
    }
}

void PlanSettings::Spin(Field f, bool up) {
    const ClampRule* rule = ClampRuleOf(f);
    if (!rule) return;
    std::optional<double> value = StrictNumber(Text(f));
    if (!value) value = StrictNumber(Clamp(f, Text(f)));
    if (!value) return;
    const double next = up ? *value + rule->step : *value - rule->step;
    SetText(f, GeneralText(next));
}

void PlanSettings::ApplyPreset(Preset p) {
    const PresetValues& values = kPresets[static_cast<size_t>(p)];
    for (size_t i = 0; i < values.switches.size(); ++i) {
        if (values.switches[i] >= 0) SetChecked(static_cast<Switch>(i), values.switches[i] == 1);
    }
    for (Field f : kPresetTextOrder) {
        if (const char* text = values.texts[Index(f)]) SetText(f, QString::fromUtf8(text));
    }
}

std::optional<QString> PlanSettings::Validate(Field f, const QString& text) {
    for (const ValidationRule& r : kValidation) {
        if (r.field != f) continue;
        const std::optional<double> v = StrictNumber(text);
        const bool fails = !v || (r.hasMin && (r.minExclusive ? *v <= r.min : *v < r.min)) ||
                           (r.hasMax && *v > r.max);
        if (fails) return QString::fromUtf8(r.message);
        return std::nullopt;
    }
    return std::nullopt;
}

QString PlanSettings::Clamp(Field f, const QString& text) {
    const ClampRule* rule = ClampRuleOf(f);
    if (!rule) return text;
    // Each rewrite of the box raises its change handler again; follow that
    // until the text settles (one extra round in practice).
    QString current = text;
    for (int round = 0; round < 4; ++round) {
        QString next = ClampOnce(*rule, current);
        if (next == current) break;
        current = std::move(next);
    }
    return current;
}

double PlanSettings::SpinStep(Field f) {
    const ClampRule* rule = ClampRuleOf(f);
    return rule ? rule->step : 0.0;
}

}  // namespace tovira
