#include "core/ledger/plan_fields.h"

#include <gtest/gtest.h>

#include <QSet>
#include <QTemporaryDir>
#include <set>

#include "core/common/numbers.h"
#include "core/engine/figure_table.h"
#include "core/ledger/plan_settings.h"
#include "core/report/parameter_sweep.h"
#include "core/storage/plan_file.h"
#include "support/test_support.h"

namespace tovira {
namespace {

QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

// Each order lists every field exactly once.
TEST(PlanFieldTable, OrdersHoldEveryFieldOnce) {
    for (const auto* order : {&StoredFieldOrder(), &PresetFieldOrder()}) {
        std::set<Field> seen(order->begin(), order->end());
        EXPECT_EQ(seen.size(), static_cast<size_t>(kFieldCount));
    }
    for (int i = 0; i < kFieldCount; ++i) {
        EXPECT_EQ(static_cast<int>(Fields()[static_cast<size_t>(i)].field), i);
        EXPECT_EQ(FieldOf(StoredFieldOrder()[static_cast<size_t>(i)]).storedPlace, i);
    }
}

// What the plan file and the panel tell apart by name must have a name of
// its own: a shared key would save one value over another, a shared object
// name would hand a test or a controller the wrong box.
TEST(PlanFieldTable, KeysObjectNamesAndCaptionsAreUnique) {
    QSet<QString> keys{Q("基金代码")};  // the save writes it among the switches
    QSet<QString> objectNames{Q("fundCodeBox"), Q("panelToggle")};
    QSet<QString> captions;
    for (const FieldInfo& info : Fields()) {
        SCOPED_TRACE(info.name);
        ASSERT_TRUE(info.iniKey && info.objectName && info.caption && info.unit && info.tooltip &&
                    info.defaultText);
        EXPECT_FALSE(keys.contains(Q(info.iniKey)));
        EXPECT_FALSE(objectNames.contains(Q(info.objectName)));
        EXPECT_FALSE(captions.contains(Q(info.caption)));
        keys.insert(Q(info.iniKey));
        objectNames.insert(Q(info.objectName));
        captions.insert(Q(info.caption));
        EXPECT_EQ(Q(FieldCaptionText(info.field)),
                  FieldName(info.field) + u'(' + Q(info.unit) + u')');
    }
    for (const SwitchInfo& info : Switches()) {
        SCOPED_TRACE(info.key);
        EXPECT_FALSE(keys.contains(Q(info.key)));
        EXPECT_FALSE(objectNames.contains(Q(info.objectName)));
        keys.insert(Q(info.key));
        objectNames.insert(Q(info.objectName));
        // No switch enables itself, and each takes a place of its own.
        EXPECT_NE(info.enabledBy, info.sw);
        for (const SwitchInfo& other : Switches()) {
            if (other.sw != info.sw) {
                EXPECT_FALSE(other.panelRow == info.panelRow &&
                             other.panelColumn == info.panelColumn);
            }
        }
    }
}

TEST(PlanFieldTable, EverySearchNameFindsItsField) {
    std::set<int> places;
    int searchable = 0;
    for (const FieldInfo& info : Fields()) {
        if (!info.searchName) continue;
        ++searchable;
        SCOPED_TRACE(info.searchName);
        const std::optional<SweepParameter> p = SweepParameterByName(Q(info.searchName));
        ASSERT_TRUE(p);
        EXPECT_EQ(p->field, info.field);
        EXPECT_TRUE(places.insert(info.searchPlace).second);
        // A field the search varies must be one the boxes can hold.
        QString error;
        EXPECT_TRUE(MakeSweepAxis(Q(info.searchName), ReadNumber(Q(info.defaultText)),
                                  ReadNumber(Q(info.defaultText)), 1, &error))
            << error.toStdString();
    }
    ASSERT_EQ(SweepParameters().size(), static_cast<size_t>(searchable));
    // The command line's names, in the order `sweep` lists them.
    const char* expected[] = {"StartBuyPct",     "Multiple",        "MultipleStep",
                              "StartSellPct",    "RiskPositionPct", "TotalCapital",
                              "MinRedeemShares", "MinKeepShares"};
    for (size_t i = 0; i < SweepParameters().size(); ++i) {
        EXPECT_STREQ(SweepParameters()[i].name, expected[i]);
    }
}

// The bounds, steps and texts of a row must agree with each other: a bound
// text that reads as another number, a fallback outside the bounds or a
// default the box refuses would show the user a value the plan cannot keep.
TEST(PlanFieldTable, BoundsStepsAndTextsAgree) {
    for (const FieldInfo& info : Fields()) {
        SCOPED_TRACE(info.name);
        const Field f = info.field;
        const QString byDefault = Q(info.defaultText);
        EXPECT_EQ(PlanSettings::Clamp(f, byDefault), byDefault);
        EXPECT_FALSE(PlanSettings::Validate(f, byDefault));
        for (const char* text : info.presetTexts) {
            if (!text) continue;
            EXPECT_FALSE(PlanSettings::Validate(f, PlanSettings::Clamp(f, Q(text)))) << text;
        }
        const FieldClamp& c = info.clamp;
        EXPECT_EQ(SpinOf(f).has_value(), c.step > 0);
        EXPECT_EQ(CaptionOf(f).has_value(), info.enabledBy || info.replacedBy);
        if (c.step == 0) continue;
        ASSERT_TRUE(c.lowerText && c.upperText && c.fallback);
        EXPECT_LT(c.lower, c.upper);
        EXPECT_LT(c.step, c.upper - c.lower);
        EXPECT_EQ(StrictNumber(Q(c.lowerText)), c.lower);
        EXPECT_EQ(StrictNumber(Q(c.upperText)), c.upper);
        EXPECT_EQ(PlanSettings::Clamp(f, Q(c.fallback)), Q(c.fallback));
        // Every value the spin control reaches stays acceptable.
        for (const QString& bound : {Q(c.lowerText), Q(c.upperText), Q(c.fallback)}) {
            EXPECT_FALSE(PlanSettings::Validate(f, PlanSettings::Clamp(f, bound)))
                << bound.toStdString();
        }
    }
}

// A text for every field that is acceptable, settled, differs from the
// field's default and from every other field's text: lost, swapped or
// defaulted fields all show.
std::array<QString, kFieldCount> DistinctTexts() {
    std::array<QString, kFieldCount> texts;
    for (const FieldInfo& info : Fields()) {
        const size_t i = static_cast<size_t>(info.field);
        const double value = info.clamp.step > 0
                                 ? info.clamp.lower + info.clamp.step
                                 : info.check.min + 0.5 + 0.01 * static_cast<double>(i);
        texts[i] = PlanSettings::Clamp(info.field, QString::number(value, 'g', 12));
    }
    return texts;
}

class PlanFieldRoundTrip : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        test::AddDays(ledger, {{"1.0000"}, {"1.0100"}});
    }
    QString Save(const PlanSettings& s) {
        const QString path = dir.filePath(QStringLiteral("000001.ini"));
        EXPECT_EQ(SavePlanFileAt(ledger, s, Mode::Theory, path, QStringLiteral("000001")).result,
                  SaveResult::Saved);
        return path;
    }
    // Reads the file with both readers into settings that differ from the
    // saved ones everywhere, and checks that each comes back whole.
    void ExpectBothReadersRestore(const PlanSettings& saved, const PlanSettings& start) {
        const QString path = Save(saved);
        PlanSettings opened = start;
        LedgerModel reopened;
        ASSERT_EQ(OpenPlanFile(path, reopened, opened, OpenPlanOptions{}).result,
                  OpenResult::Opened);
        PlanSettings read = start;
        FigureTable table;
        ASSERT_EQ(ReadPlanFigures(path, read, Mode::Theory, table).result, OpenResult::Opened);
        for (const PlanSettings* back : {&opened, &read}) {
            for (const FieldInfo& info : Fields()) {
                EXPECT_EQ(back->Text(info.field), saved.Text(info.field)) << info.iniKey;
            }
            for (const SwitchInfo& info : Switches()) {
                EXPECT_EQ(back->Checked(info.sw), saved.Checked(info.sw)) << info.key;
            }
        }
    }

    QTemporaryDir dir;
    LedgerModel ledger;
};

TEST_F(PlanFieldRoundTrip, EveryFieldAndSwitchComesBack) {
    const std::array<QString, kFieldCount> texts = DistinctTexts();
    PlanSettings changed;
    for (const FieldInfo& info : Fields()) {
        const QString& text = texts[static_cast<size_t>(info.field)];
        SCOPED_TRACE(info.name);
        ASSERT_NE(text, Q(info.defaultText));
        ASSERT_FALSE(PlanSettings::Validate(info.field, text));
        changed.SetText(info.field, text);
        ASSERT_EQ(changed.Text(info.field), text);
    }
    ASSERT_EQ(std::set<QString>(texts.begin(), texts.end()).size(),
              static_cast<size_t>(kFieldCount));
    for (const SwitchInfo& info : Switches()) changed.SetChecked(info.sw, true);

    // Changed texts and switches into fresh settings, and the fresh ones
    // (all switches off) back over the changed ones.
    ExpectBothReadersRestore(changed, PlanSettings());
    ExpectBothReadersRestore(PlanSettings(), changed);
    // Each switch alone, so that no switch is read from another's key.
    for (const SwitchInfo& info : Switches()) {
        PlanSettings one;
        one.SetChecked(info.sw, true);
        SCOPED_TRACE(info.key);
        ExpectBothReadersRestore(one, changed);
    }
}

}  // namespace
}  // namespace tovira
