#include "core/ledger/plan_fields.h"

#include <QByteArray>

namespace tovira {
namespace {

constexpr size_t Index(Field f) { return static_cast<size_t>(f); }
constexpr size_t Index(Switch s) { return static_cast<size_t>(s); }

// Writes one row of the table below, each part named.
class FieldRow {
  public:
    constexpr FieldRow(Field f, const char* name) {
        info_.field = f;
        info_.name = name;
    }
    constexpr operator FieldInfo() const { return info_; }

    // The plan file's key and its place among the stored keys.
    constexpr FieldRow Stored(const char* iniKey, int place) const {
        FieldRow r = *this;
        r.info_.iniKey = iniKey;
        r.info_.storedPlace = place;
        return r;
    }
    constexpr FieldRow Shown(const char* caption, const char* unit, const char* objectName,
                             const char* tooltip) const {
        FieldRow r = *this;
        r.info_.caption = caption;
        r.info_.unit = unit;
        r.info_.objectName = objectName;
        r.info_.tooltip = tooltip;
        return r;
    }
    constexpr FieldRow Default(const char* text) const {
        FieldRow r = *this;
        r.info_.defaultText = text;
        return r;
    }
    // Checked on leaving the box: at least min (above it when exclusive).
    constexpr FieldRow AtLeast(double min, const char* message, bool exclusive = false) const {
        FieldRow r = *this;
        r.info_.check.message = message;
        r.info_.check.min = min;
        r.info_.check.minExclusive = exclusive;
        return r;
    }
    constexpr FieldRow Within(double min, double max, const char* message) const {
        FieldRow r = AtLeast(min, message);
        r.info_.check.hasMax = true;
        r.info_.check.max = max;
        return r;
    }
    constexpr FieldRow Spins(double step, double lower, const char* lowerText, double upper,
                             const char* upperText, const char* pattern, const char* fallback,
                             bool skipPatternAtZero = false) const {
        FieldRow r = *this;
        r.info_.clamp = FieldClamp{step,      lower,   lowerText,         upper,
                                   upperText, pattern, skipPatternAtZero, fallback};
        return r;
    }
    constexpr FieldRow EnabledBy(Switch s) const {
        FieldRow r = *this;
        r.info_.enabledBy = std::optional<Switch>(s);
        return r;
    }
    constexpr FieldRow ReplacedBy(Switch s) const {
        FieldRow r = *this;
        r.info_.replacedBy = std::optional<Switch>(s);
        return r;
    }
    // The texts of 默认值, 激进型, 稳健型, 保守型 (nullptr leaves the box).
    constexpr FieldRow Presets(int place, const char* byDefault, const char* brave,
                               const char* steady, const char* careful) const {
        FieldRow r = *this;
        r.info_.presetPlace = place;
        r.info_.presetTexts = {byDefault, brave, steady, careful};
        return r;
    }
    constexpr FieldRow Searched(const char* name, int place) const {
        FieldRow r = *this;
        r.info_.searchName = name;
        r.info_.searchPlace = place;
        return r;
    }

  private:
    FieldInfo info_{};
};

constexpr const char* kLeave = nullptr;

// Rows in Field order. Default sets 至少赎回 to "50", not to the window's
// starting text "100".
constexpr std::array<FieldInfo, kFieldCount> kFields = {{
    FieldRow(Field::PurchaseFeePct, "purchaseFee")
        .Stored("申购费率", 0)
        .Shown("申购费率", "%", "purchaseFeeBox", "购买渠道的申购费率")
        .Default("0.15")
        .Within(0, 5, "申购费率错误，请重新输入！")
        .Presets(0, "0.15", kLeave, kLeave, kLeave),
    FieldRow(Field::RedeemFeePct, "redeemFee")
        .Stored("赎回费率", 1)
        .Shown("赎回费率", "%", "redeemFeeBox", "购买渠道的赎回费率")
        .Default("0.5")
        .Within(0, 3, "赎回费率错误，请重新输入！")
        .Presets(1, "0.5", kLeave, kLeave, kLeave),
    FieldRow(Field::MinRedeemShares, "minRedeemShares")
        .Stored("至少赎回", 2)
        .Shown("至少赎回", "份", "minRedeemSharesBox", "基金的最小赎回份额")
        .Default("100")
        .AtLeast(0, "赎回份额错误，请重新输入！")
        .EnabledBy(Switch::SellOnRises)
        .Presets(2, "50", kLeave, kLeave, kLeave)
        .Searched("MinRedeemShares", 6),
    FieldRow(Field::MinKeepShares, "minKeepShares")
        .Stored("至少保留", 3)
        .Shown("至少保留", "份", "minKeepSharesBox", "基金的最少保留份额")
        .Default("100")
        .AtLeast(0, "保留份额错误，请重新输入！")
        .EnabledBy(Switch::SellOnRises)
        .Presets(3, "100", kLeave, kLeave, kLeave)
        .Searched("MinKeepShares", 7),
    FieldRow(Field::TotalCapital, "totalCapital")
        .Stored("资金总量", 4)
        .Shown("资金总量", "元", "totalCapitalBox", "近期无他用的资金总量，至少1000元")
        .Default("50000")
        .AtLeast(1000, "资金总量错误，请重新输入！")
        .Presets(4, "50000", kLeave, kLeave, kLeave)
        .Searched("TotalCapital", 5),
    FieldRow(Field::StartSellPct, "startSell")
        .Stored("起卖点位", 5)
        .Shown("起卖点位", "%", "startSellBox", "达到则开始赎回")
        .Default("3")
        .AtLeast(0, "起卖点位错误，请重新输入！")
        .EnabledBy(Switch::SellOnRises)
        .Presets(5, "3", kLeave, "5", "2")
        .Searched("StartSellPct", 3),
    // The break alert replaces the fixed take-profit point.
    FieldRow(Field::TakeProfitPct, "takeProfit")
        .Stored("止盈点位", 6)
        .Shown("止盈点位", "%", "takeProfitBox", "达到则弹窗提醒")
        .Default("15")
        .AtLeast(0, "止盈点位错误，请重新输入！")
        .EnabledBy(Switch::TakeProfitAlert)
        .ReplacedBy(Switch::BreakAlert)
        .Presets(6, "15", "15", "15", "8"),
    FieldRow(Field::StartBuyPct, "startBuy")
        .Stored("起投涨幅", 9)
        .Shown("起投涨幅", "%", "startBuyBox", "判断是否投入的依据")
        .Default("-0.50")
        .Spins(0.1, -9, "-9", 9, "9", "0.00", "-0.50")
        .Presets(9, "-0.5", "-0.3", "-0.5", "-1")
        .Searched("StartBuyPct", 0),
    FieldRow(Field::Multiple, "multiple")
        .Stored("倍数", 11)
        .Shown("投入倍数", "倍", "multipleBox", "相邻两次投入之比")
        .Default("1.2")
        .Spins(0.05, 1, "1", 2, "2", nullptr, "1.2")
        .Presets(11, "1.2", "1.3", "1.2", "1.1")
        .Searched("Multiple", 1),
    FieldRow(Field::MultipleStep, "multipleStep")
        .Stored("加倍", 12)
        .Shown("倍数加大", "倍", "multipleStepBox", "连跌行情倍数每次加大的量")
        .Default("0.1")
        .Spins(0.05, 0, "0", 0.3, "0.3", "0.0#", "0.1", /*skipPatternAtZero=*/true)
        .Presets(12, "0.1", "0.2", "0.1", "0.05")
        .Searched("MultipleStep", 2),
    FieldRow(Field::BreakMaDays, "breakDays")
        .Stored("破位均线", 7)
        .Shown("破位均线", "天", "breakDaysBox", "即最近几个交易日净值的平均值")
        .Default("5")
        .AtLeast(0, "破位均线错误，请重新输入！", /*exclusive=*/true)
        .EnabledBy(Switch::BreakAlert)
        .Presets(7, "5", kLeave, kLeave, kLeave),
    FieldRow(Field::RiskPositionPct, "riskPosition")
        .Stored("风控仓位", 10)
        .Shown("风控仓位", "%", "riskPositionBox", "加仓优先状态下允许激进操作的仓位")
        .Default("40")
        .Within(0, 100, "风控仓位错误，请重新输入！")
        .Spins(10, 0, "0", 100, "100", "0", "50")
        .EnabledBy(Switch::BuyFirst)
        .Presets(10, "40", "30", "40", "50")
        .Searched("RiskPositionPct", 4),
    FieldRow(Field::BreakAmplitudePct, "breakAmplitude")
        .Stored("破位幅度", 8)
        .Shown("破位幅度", "%", "breakAmplitudeBox", "低于上面的平均值百分之几则卖出")
        .Default("1")
        .AtLeast(0, "破位幅度错误，请重新输入！")
        .EnabledBy(Switch::BreakAlert)
        .Presets(8, "1", kLeave, kLeave, kLeave),
}};

// Writes one row of the switch table.
class SwitchRow {
  public:
    constexpr SwitchRow(Switch s, const char* key) {
        info_.sw = s;
        info_.key = key;
    }
    constexpr operator SwitchInfo() const { return info_; }

    // The check box: caption, object name, tooltip (empty for none).
    constexpr SwitchRow Shown(const char* caption, const char* objectName,
                              const char* tooltip) const {
        SwitchRow r = *this;
        r.info_.caption = caption;
        r.info_.objectName = objectName;
        r.info_.tooltip = tooltip;
        return r;
    }
    // Its place in the options frame's two columns.
    constexpr SwitchRow At(int row, int column) const {
        SwitchRow r = *this;
        r.info_.panelRow = row;
        r.info_.panelColumn = column;
        return r;
    }
    constexpr SwitchRow EnabledBy(Switch s) const {
        SwitchRow r = *this;
        r.info_.enabledBy = std::optional<Switch>(s);
        return r;
    }
    // The states 默认值, 激进型, 稳健型, 保守型 set (-1 leaves the switch).
    constexpr SwitchRow Presets(int byDefault, int brave, int steady, int careful) const {
        SwitchRow r = *this;
        r.info_.presets = {byDefault, brave, steady, careful};
        return r;
    }

  private:
    SwitchInfo info_{};
};

// Rows in Switch order.
constexpr std::array<SwitchInfo, kSwitchCount> kSwitches = {{
    SwitchRow(Switch::TakeProfitAlert, "SPRemind")
        .Shown("止盈提醒", "takeProfitAlertBox", "收益率超过止盈点弹窗提醒")
        .At(0, 0)
        .Presets(0, 1, 1, 1),
    SwitchRow(Switch::ReinvestDividends, "RedRecycle")
        .Shown("红利再投", "reinvestDividendsBox", "若购买渠道的分红方式未修改请勿勾选")
        .At(2, 1)
        .Presets(0, -1, -1, -1),
    SwitchRow(Switch::BuyFirst, "PCFirst")
        .Shown("加仓优先", "buyFirstBox", "若不勾选，净值创新低才会加仓")
        .At(1, 0)
        .Presets(0, 1, 1, 0),
    SwitchRow(Switch::SellOnRises, "Redeem")
        .Shown("越涨越卖", "sellOnRisesBox", "根据至少赎回、至少保留和起卖点位计算赎回份额")
        .At(2, 0)
        .Presets(0, 0, 1, 1),
    SwitchRow(Switch::GrowingTopUp, "KeepROP")
        .Shown("修正追加", "growingTopUpBox", "使后期的单笔投入的金额增大以有效降低持仓成本")
        .At(1, 1)
        .Presets(0, 1, 1, 0),
    SwitchRow(Switch::UnlimitedCapital, "NoLimit")
        .Shown("无限资金", "unlimitedCapitalBox", "")
        .At(3, 0)
        .Presets(0, -1, -1, -1),
    // Beside the take-profit alert it replaces; without that alert there is
    // nothing to replace. The presets leave it alone.
    SwitchRow(Switch::BreakAlert, "BrokenSP")
        .Shown("破位止盈", "breakAlertBox", "")
        .At(0, 1)
        .EnabledBy(Switch::TakeProfitAlert)
        .Presets(-1, -1, -1, -1),
}};

// The rows stand in enum order, so that a row is found by its index.
constexpr bool RowsInOrder() {
    for (size_t i = 0; i < kFields.size(); ++i) {
        if (Index(kFields[i].field) != i) return false;
    }
    for (size_t i = 0; i < kSwitches.size(); ++i) {
        if (Index(kSwitches[i].sw) != i) return false;
    }
    return true;
}
static_assert(RowsInOrder(), "the rows of kFields and kSwitches follow Field and Switch");

// Each place in an order is taken by exactly one field.
template <typename Place>
constexpr bool IsOrder(Place place) {
    std::array<int, kFieldCount> seen{};
    for (const FieldInfo& info : kFields) {
        const int p = place(info);
        if (p < 0 || p >= kFieldCount || seen[static_cast<size_t>(p)]++) return false;
    }
    return true;
}
static_assert(IsOrder([](const FieldInfo& info) { return info.storedPlace; }),
              "every field has its own place in the plan file");
static_assert(IsOrder([](const FieldInfo& info) { return info.presetPlace; }),
              "every field has its own place in the preset order");

template <typename Place>
std::array<Field, kFieldCount> OrderBy(Place place) {
    std::array<Field, kFieldCount> order{};
    for (const FieldInfo& info : kFields) order[static_cast<size_t>(place(info))] = info.field;
    return order;
}

}  // namespace

const std::array<FieldInfo, kFieldCount>& Fields() { return kFields; }

const FieldInfo& FieldOf(Field f) { return kFields[Index(f)]; }

const std::array<SwitchInfo, kSwitchCount>& Switches() { return kSwitches; }

const SwitchInfo& SwitchOf(Switch s) { return kSwitches[Index(s)]; }

const std::array<Field, kFieldCount>& StoredFieldOrder() {
    static const std::array<Field, kFieldCount> kOrder =
        OrderBy([](const FieldInfo& info) { return info.storedPlace; });
    return kOrder;
}

const std::array<Field, kFieldCount>& PresetFieldOrder() {
    static const std::array<Field, kFieldCount> kOrder =
        OrderBy([](const FieldInfo& info) { return info.presetPlace; });
    return kOrder;
}

const char* FieldCaptionText(Field f) {
    static const std::array<QByteArray, kFieldCount> kCaptions = [] {
        std::array<QByteArray, kFieldCount> captions;
        for (const FieldInfo& info : kFields) {
            captions[Index(info.field)] =
                QByteArray(info.caption) + '(' + QByteArray(info.unit) + ')';
        }
        return captions;
    }();
    return kCaptions[Index(f)].constData();
}

QString FieldName(Field f) { return QString::fromUtf8(FieldOf(f).caption); }

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

}  // namespace tovira
