// Back-tests on real NAV histories: each plan is opened as the window opens
// it, recalculated in the mode its export names, exported, and compared byte
// for byte with an export computed independently. One test case per plan and
// mode, so one differing back-test does not hide the others.

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/engine/recalculate.h"
#include "core/ledger/ledger_model.h"
#include "core/ledger/plan_settings.h"
#include "core/report/backtest_report.h"
#include "core/storage/csv_export.h"
#include "core/storage/plan_file.h"
#include "support/test_support.h"

using namespace tovira;

namespace {

struct GoldenCase {
    std::string name;  // NAME: the plan is NAME.ini, the export NAME.<mode>.csv
    Mode mode;

    QString Plan() const { return Path(".ini"); }
    QString Expected() const { return Path(mode == Mode::Fact ? ".fact.csv" : ".theory.csv"); }
    QString Path(const char* suffix) const {
        return QDir(test::DataPath("golden"))
            .filePath(QString::fromStdString(name) + QLatin1String(suffix));
    }
};

// Three funds, each with the default parameters, the three presets, one plan
// with the redemption rule, reinvestment and unlimited capital, and one with
// typed amounts that is exported in both modes.
std::vector<GoldenCase> GoldenCases() {
    std::vector<GoldenCase> cases;
    for (const char* fund : {"000011", "006675", "161725"}) {
        for (const char* plan :
             {"default", "brave", "steady", "careful", "unlimited-reinvest", "fact"}) {
            const std::string name = std::string(fund) + '-' + plan;
            cases.push_back({name, Mode::Theory});
            if (std::string(plan) == "fact") cases.push_back({name, Mode::Fact});
        }
    }
    return cases;
}

// "000011_unlimited_reinvest_theory"
std::string CaseName(const testing::TestParamInfo<GoldenCase>& info) {
    std::string name = info.param.name;
    for (char& c : name) {
        if (c == '-') c = '_';
    }
    return name + (info.param.mode == Mode::Fact ? "_fact" : "_theory");
}

class GoldenTest : public testing::TestWithParam<GoldenCase> {};

}  // namespace

TEST_P(GoldenTest, ExportMatchesTheIndependentBackTest) {
    const GoldenCase& c = GetParam();
    const QByteArray want = test::ReadFileBytes(c.Expected());
    ASSERT_FALSE(want.isEmpty()) << c.Expected().toStdString();

    LedgerModel ledger;
    PlanSettings settings;
    OpenPlanOptions options;
    options.mode = c.mode;
    ASSERT_EQ(OpenPlanFile(c.Plan(), ledger, settings, options).result, OpenResult::Opened);
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString out = tmp.filePath(QStringLiteral("out.csv"));
    ASSERT_TRUE(ExportCsv(out, ledger));
    const QByteArray got = test::ReadFileBytes(out);
    if (got == want) return;

    // Name the first differing line for a readable failure.
    const QList<QByteArray> g = got.split('\n');
    const QList<QByteArray> w = want.split('\n');
    for (qsizetype i = 0; i < std::min(g.size(), w.size()); ++i) {
        if (g[i] != w[i]) {
            ADD_FAILURE() << "line " << i + 1 << "\n got: " << g[i].toStdString()
                          << "\nwant: " << w[i].toStdString();
            break;
        }
    }
    EXPECT_EQ(g.size(), w.size());
    EXPECT_EQ(got, want);
}

// The command line reads plans without a ledger of text cells: the same
// export, byte for byte, and the same report, figure for figure.
TEST_P(GoldenTest, TheReadWithoutALedgerGivesTheSameExportAndReport) {
    const GoldenCase& c = GetParam();
    PlanSettings settings;
    FigureTable table;
    ASSERT_EQ(ReadPlanFigures(c.Plan(), settings, c.mode, table).result, OpenResult::Opened);
    table.Recalculate(settings);
    const std::optional<QByteArray> got = CsvBytes(table.View());
    ASSERT_TRUE(got);
    EXPECT_EQ(*got, test::ReadFileBytes(c.Expected()));

    LedgerModel ledger;
    PlanSettings ledgerSettings;
    OpenPlanOptions options;
    options.mode = c.mode;
    ASSERT_EQ(OpenPlanFile(c.Plan(), ledger, ledgerSettings, options).result, OpenResult::Opened);
    const std::optional<BacktestReport> want = BuildBacktestReport(ledger, ledgerSettings, c.mode);
    const std::optional<BacktestReport> report = BuildBacktestReport(table, settings);
    ASSERT_TRUE(want && report);
    EXPECT_EQ(BacktestReportJsonText(*report), BacktestReportJsonText(*want));
}

INSTANTIATE_TEST_SUITE_P(Plans, GoldenTest, testing::ValuesIn(GoldenCases()), CaseName);

// A back-test added to the folder but not to the list above would never run.
TEST(GoldenFolderTest, EveryExportInTheFolderIsATestCase) {
    QSet<QString> listed;
    for (const GoldenCase& c : GoldenCases()) listed.insert(QFileInfo(c.Expected()).fileName());
    const QDir dir(test::DataPath("golden"));
    const QStringList exports = dir.entryList({QStringLiteral("*.csv")}, QDir::Files, QDir::Name);
    EXPECT_EQ(exports.size(), 21);
    for (const QString& csv : exports) EXPECT_TRUE(listed.contains(csv)) << csv.toStdString();
}

// The fast pass (inline rounding, skipped steps) must give the reference
// pass's bits (library rounding, every step computed), in both modes and
// under each switch; passes walking the rows together must sum up what each
// gives alone.
bool SameSummary(const PassSummary& a, const PassSummary& b) {
    const auto bits = [](float v) {
        uint32_t u = 0;
        std::memcpy(&u, &v, sizeof u);
        return u;
    };
    if (a.netInvestedChanges.size() != b.netInvestedChanges.size()) return false;
    for (size_t i = 0; i < a.netInvestedChanges.size(); ++i) {
        if (a.netInvestedChanges[i].first != b.netInvestedChanges[i].first ||
            bits(a.netInvestedChanges[i].second) != bits(b.netInvestedChanges[i].second)) {
            return false;
        }
    }
    return a.purchases == b.purchases && a.redemptions == b.redemptions &&
           bits(a.maxNetInvested) == bits(b.maxNetInvested) &&
           bits(a.worstProfit) == bits(b.worstProfit) && bits(a.lastProfit) == bits(b.lastProfit) &&
           bits(a.lastMarketValue) == bits(b.lastMarketValue);
}

TEST(GoldenPassTest, FastReferenceAndTogetherPassesAgreeToTheBit) {
    // The figures up to `bytes`, compared as bits.
    const auto same = [](const std::vector<RowFigures>& a, const std::vector<RowFigures>& b,
                         size_t bytes) {
        if (a.size() != b.size()) return false;
        for (size_t i = 0; i < a.size(); ++i) {
            if (std::memcmp(&a[i], &b[i], bytes) != 0) return false;
        }
        return true;
    };
    const QStringList plans = test::GoldenPlanPaths();
    ASSERT_GE(plans.size(), 18);
    for (const QString& plan : plans) {
        SCOPED_TRACE(QFileInfo(plan).fileName().toStdString());
        LedgerModel ledger;
        PlanSettings settings;
        ASSERT_EQ(OpenPlanFile(plan, ledger, settings, {}).result, OpenResult::Opened);
        // The plan's settings, and each switch turned the other way.
        std::vector<PlanSettings> lanes(kPassesTogether, settings);
        lanes[1].SetChecked(Switch::BuyFirst, !settings.Checked(Switch::BuyFirst));
        lanes[1].SetText(Field::Multiple, QStringLiteral("1.5"));
        lanes[2].SetChecked(Switch::SellOnRises, !settings.Checked(Switch::SellOnRises));
        lanes[2].SetChecked(Switch::GrowingTopUp, !settings.Checked(Switch::GrowingTopUp));
        lanes[3].SetChecked(Switch::UnlimitedCapital, !settings.Checked(Switch::UnlimitedCapital));
        lanes[3].SetChecked(Switch::ReinvestDividends,
                            !settings.Checked(Switch::ReinvestDividends));
        for (Mode mode : {Mode::Theory, Mode::Fact}) {
            const LedgerInput input = ReadLedgerInput(ledger, mode);
            for (size_t k = 0; k < lanes.size(); ++k) {
                std::vector<RowFigures> fast, reference;
                ComputeFigures(input, lanes[k], fast, PassPath::Fast);
                ComputeFigures(input, lanes[k], reference, PassPath::Reference);
                EXPECT_TRUE(same(fast, reference, sizeof(RowFigures)))
                    << "settings " << k << (mode == Mode::Fact ? ", fact" : ", theory");
            }
        }

        const LedgerInput input = ReadLedgerInput(ledger, Mode::Theory);
        std::vector<const PlanSettings*> settingsOf;
        for (const PlanSettings& lane : lanes) settingsOf.push_back(&lane);
        std::vector<PassSummary> together(kPassesTogether);
        SummarizePassesTogether(input, MarketFigures(input), settingsOf.data(), together.data(),
                                kPassesTogether);
        for (int k = 0; k < kPassesTogether; ++k) {
            std::vector<RowFigures> alone;
            ComputeFigures(input, lanes[static_cast<size_t>(k)], alone);
            EXPECT_TRUE(SameSummary(together[static_cast<size_t>(k)], SummarizeFigures(alone)))
                << "pass " << k;
        }
        // The last three alone (a group the grid's end leaves), market made
        // here, into summaries used before.
        const PassSummary second = together[1];
        SummarizePassesTogether(input, {}, settingsOf.data() + 1, together.data(), 3);
        EXPECT_TRUE(SameSummary(together[0], second));
    }
}
