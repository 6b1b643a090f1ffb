#include "core/ledger/plan_settings.h"

#include "core/common/numbers.h"

namespace tovira {

namespace {

size_t Index(Field f) { return static_cast<size_t>(f); }
size_t Index(Switch s) { return static_cast<size_t>(s); }

// One run of the change reaction of a clamped box.
QString ClampOnce(const FieldClamp& r, const QString& text) {
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

bool Clamped(Field f) { return FieldOf(f).clamp.step > 0; }

}  // namespace

Control ControlOf(Field f) { return static_cast<Control>(BoxIndex(f)); }

std::optional<Control> CaptionOf(Field f) {
    const FieldInfo& info = FieldOf(f);
    if (!info.enabledBy && !info.replacedBy) return std::nullopt;
    return static_cast<Control>(CaptionIndex(f));
}

std::optional<Control> SpinOf(Field f) {
    if (!Clamped(f)) return std::nullopt;
    return static_cast<Control>(SpinIndex(f));
}

Control ControlOf(Switch s) { return static_cast<Control>(SwitchBoxIndex(s)); }

PlanSettings::PlanSettings() {
    for (const FieldInfo& info : Fields())
        texts_[Index(info.field)] = QString::fromUtf8(info.defaultText);
    enabled_.fill(true);
    // All switches start off, so everything they enable starts disabled.
    for (const FieldInfo& info : Fields()) {
        if (info.enabledBy) SetFieldEnabled(info.field, false);
    }
    for (const SwitchInfo& info : Switches()) {
        if (info.enabledBy) SetEnabled(ControlOf(info.sw), false);
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

void PlanSettings::SetFieldEnabled(Field f, bool on) {
    SetEnabled(ControlOf(f), on);
    if (const std::optional<Control> caption = CaptionOf(f)) SetEnabled(*caption, on);
    if (const std::optional<Control> spin = SpinOf(f)) SetEnabled(*spin, on);
}

void PlanSettings::RunHandler(Switch s) {
    const bool on = Checked(s);
    for (const SwitchInfo& info : Switches()) {
        if (info.enabledBy != s) continue;
        // A switch that needs this one goes off with it, before this one's
        // own controls change (破位止盈 with 止盈提醒).
        if (!on) SetChecked(info.sw, false);
        SetEnabled(ControlOf(info.sw), on);
    }
    for (const FieldInfo& info : Fields()) {
        if (info.enabledBy == s) SetFieldEnabled(info.field, on);
        if (info.replacedBy == s) SetFieldEnabled(info.field, !on);
    }
}

void PlanSettings::Spin(Field f, bool up) {
    if (!Clamped(f)) return;
    std::optional<double> value = StrictNumber(Text(f));
    if (!value) value = StrictNumber(Clamp(f, Text(f)));
    if (!value) return;
    const double step = FieldOf(f).clamp.step;
    const double next = up ? *value + step : *value - step;
    SetText(f, GeneralText(next));
}

void PlanSettings::ApplyPreset(Preset p) {
    const size_t preset = static_cast<size_t>(p);
    for (const SwitchInfo& info : Switches()) {
        const int state = info.presets[preset];
        if (state >= 0) SetChecked(info.sw, state == 1);
    }
    for (Field f : PresetFieldOrder()) {
        if (const char* text = FieldOf(f).presetTexts[preset]) SetText(f, QString::fromUtf8(text));
    }
}

std::optional<QString> PlanSettings::Validate(Field f, const QString& text) {
    const FieldCheck& check = FieldOf(f).check;
    if (!check.message) return std::nullopt;
    const std::optional<double> v = StrictNumber(text);
    const bool fails = !v || (check.minExclusive ? *v <= check.min : *v < check.min) ||
                       (check.hasMax && *v > check.max);
    if (fails) return QString::fromUtf8(check.message);
    return std::nullopt;
}

QString PlanSettings::Clamp(Field f, const QString& text) {
    if (!Clamped(f)) return text;
    const FieldClamp& rule = FieldOf(f).clamp;
    // Each rewrite of the box raises its change handler again; follow that
    // until the text settles (one extra round in practice).
    QString current = text;
    for (int round = 0; round < 4; ++round) {
        QString next = ClampOnce(rule, current);
        if (next == current) break;
        current = std::move(next);
    }
    return current;
}

double PlanSettings::SpinStep(Field f) { return FieldOf(f).clamp.step; }

}  // namespace tovira
