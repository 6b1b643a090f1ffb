#include "core/report/parameter_sweep.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <chrono>
#include <thread>

#include "core/report/backtest_report.h"
#include "core/storage/plan_file.h"
#include "support/test_support.h"

using namespace tovira;

namespace {

SweepAxis Axis(const char* text) {
    QString error;
    std::optional<SweepAxis> axis = ParseSweepAxis(QString::fromUtf8(text), &error);
    EXPECT_TRUE(axis) << text << ": " << error.toStdString();
    return axis ? *axis : SweepAxis{};
}

}  // namespace

TEST(ParameterSweepTest, AxesTakeTheValuesTheBoxesWouldUse) {
    struct Case {
        const char* text;
        std::vector<double> typed;
        std::vector<double> used;
    };
    const Case cases[] = {
        {"StartBuyPct=-3:-2:0.25", {-3, -2.75, -2.5, -2.25, -2}, {-3, -2.75, -2.5, -2.25, -2}},
        // from + k * step noise is dropped: 1.3, not 1.3000000000000003.
        {"Multiple=1.1:1.4:0.1", {1.1, 1.2, 1.3, 1.4}, {1.1, 1.2, 1.3, 1.4}},
        // Out of the box's bounds, or finer than its pattern: clamped.
        {"Multiple=1.5:2.5:0.5", {1.5, 2, 2.5}, {1.5, 2, 2}},
        {"StartBuyPct=-10:-9.875:0.125", {-10, -9.875}, {-9, -9}},
        {"StartBuyPct=-0.125:-0.125:1", {-0.125}, {-0.13}},
        {"RiskPositionPct=90:120:15", {90, 105, 120}, {90, 100, 100}},
        {"TotalCapital=1000:3000:1000", {1000, 2000, 3000}, {1000, 2000, 3000}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const SweepAxis axis = Axis(c.text);
        EXPECT_EQ(axis.typed, c.typed);
        EXPECT_EQ(axis.used, c.used);
        for (int k = 0; k < axis.Count(); ++k) {
            EXPECT_EQ(axis.Clamped(k),
                      c.typed[static_cast<size_t>(k)] != c.used[static_cast<size_t>(k)]);
        }
    }
}

TEST(ParameterSweepTest, BadAxesAndGridsAreRefusedWithAMessage) {
    const char* bad[] = {
        "StartBuyPct=-1:-2:0.5",     // to < from
        "StartBuyPct=-1:1:0",        // step 0
        "StartBuyPct=-1:1:-0.5",     // negative step
        "Multiple=1:2000000:1",      // more than a million values
        "Nonsense=1:2:1",            // unknown name
        "startbuypct=-1:1:0.5",      // names are exact
        "TakeProfitPct=1:2:1",       // not a search parameter
        "StartBuyPct=-1:1",          // two parts
        "StartBuyPct=a:1:0.5",       // not a number
        "StartBuyPct",               // no range
        "TotalCapital=500:1000:500"  // 500 is refused by the box
    };
    for (const char* text : bad) {
        QString error;
        EXPECT_FALSE(ParseSweepAxis(QString::fromUtf8(text), &error)) << text;
        EXPECT_FALSE(error.isEmpty()) << text;
    }
    QString error;
    ParseSweepAxis(u"Multiple=1:2:0", &error);
    EXPECT_EQ(error, QStringLiteral("Multiple: 步长必须大于0"));

    const SweepAxis thousand = Axis("TotalCapital=1000:1000000:1000");
    ASSERT_EQ(thousand.Count(), 1000);
    EXPECT_EQ(CheckSweepGrid(thousand, Axis("MinKeepShares=0:999:1")), std::nullopt);
    EXPECT_TRUE(CheckSweepGrid(thousand, Axis("MinKeepShares=0:1000:1")));
    EXPECT_TRUE(CheckSweepGrid(Axis("Multiple=1:2:0.5"), Axis("Multiple=1:2:0.1")));
}

// Sampled cells of every golden plan (each plan varies another pair) against
// a plain recalculation with the two values typed into the side panel: the
// figures must agree to the last bit.
TEST(ParameterSweepTest, CellsEqualFullRecalculationsOnGoldenPlans) {
    const char* pairs[][2] = {
        {"StartBuyPct=-2:0:0.5", "Multiple=1:2.5:0.5"},
        {"MultipleStep=0:0.4:0.1", "RiskPositionPct=20:100:40"},
        {"StartSellPct=2:20:6", "MinKeepShares=0:2000:1000"},
        {"TotalCapital=20000:200000:60000", "MinRedeemShares=0:500:250"},
        {"Multiple=1.25:2:0.25", "StartSellPct=5:15:5"},
    };
    const QStringList plans = test::GoldenPlanPaths();
    ASSERT_GE(plans.size(), 18);
    int index = 0;
    for (const QString& plan : plans) {
        SCOPED_TRACE(QFileInfo(plan).fileName().toStdString());
        LedgerModel ledger;
        PlanSettings settings;
        ASSERT_EQ(OpenPlanFile(plan, ledger, settings, {}).result, OpenResult::Opened);
        const auto& pair = pairs[index++ % std::size(pairs)];
        const SweepAxis x = Axis(pair[0]);
        const SweepAxis y = Axis(pair[1]);
        const SweepResult result = RunSweep(ledger, settings, x, y, 2, nullptr, {});
        ASSERT_FALSE(result.cancelled);
        const int lastI = x.Count() - 1, lastJ = y.Count() - 1;
        for (const auto& [i, j] :
             {std::pair{0, 0}, std::pair{lastI, lastJ}, std::pair{lastI / 2, lastJ}}) {
            SCOPED_TRACE(testing::Message()
                         << pair[0] << " #" << i << ", " << pair[1] << " #" << j);
            PlanSettings typed = settings;
            typed.SetText(x.field, x.texts[static_cast<size_t>(i)]);
            typed.SetText(y.field, y.texts[static_cast<size_t>(j)]);
            Recalculate(ledger, typed, Mode::Theory);
            const StrategyFigures want = *PlanFiguresOnly(ledger, typed);
            const SweepMetrics& got = result.At(i, j);
            EXPECT_EQ(got.purchases, want.purchases);
            EXPECT_EQ(got.redemptions, want.redemptions);
            EXPECT_EQ(got.maxCapital, want.maxCapital);
            EXPECT_EQ(got.profit, want.profit);
            EXPECT_EQ(got.returnOnCapitalPct, want.returnOnCapitalPct);
            EXPECT_EQ(got.xirrPct, want.xirrPct);
            EXPECT_EQ(got.worstProfit, want.worstProfit);
        }
    }
}

TEST(ParameterSweepTest, CancelStopsTheWorkersWithin200Ms) {
    LedgerModel ledger;
    PlanSettings settings;
    const QDir dir(test::DataPath("golden"));
    ASSERT_EQ(OpenPlanFile(dir.filePath(QStringLiteral("000011-default.ini")), ledger, settings, {})
                  .result,
              OpenResult::Opened);
    const SweepAxis x = Axis("StartBuyPct=-9:9:0.01");
    const SweepAxis y = Axis("Multiple=1:2:0.01");
    std::atomic<bool> cancel{false};
    std::atomic<long long> reported{0};
    std::chrono::steady_clock::time_point cancelledAt;
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        cancelledAt = std::chrono::steady_clock::now();
        cancel = true;
    });
    const SweepResult result = RunSweep(ledger, settings, x, y, 2, &cancel,
                                        [&](long long done, long long) { reported = done; });
    const auto returnedAt = std::chrono::steady_clock::now();
    canceller.join();
    EXPECT_TRUE(result.cancelled);
    EXPECT_LT(returnedAt - cancelledAt, std::chrono::milliseconds(200));
    EXPECT_GT(reported.load(), 0);
    EXPECT_LT(reported.load(), static_cast<long long>(result.cells.size()));
}

TEST(ParameterSweepTest, ParametersGoByCaptionOrKeyAndTheAxisKeepsTheKey) {
    // The key names the CSV column whichever name was given.
    for (const char* text : {"投入倍数=1:2:0.5", "Multiple=1:2:0.5"}) {
        EXPECT_EQ(Axis(text).name, QStringLiteral("Multiple")) << text;
    }
    QString error;
    EXPECT_FALSE(ParseSweepAxis(u"投入倍数(倍)=1:2:0.5", &error));
    EXPECT_FALSE(ParseSweepAxis(u"multiple=1:2:0.5", &error));
    const QString names = SweepParameterNames();
    EXPECT_TRUE(names.startsWith(QStringLiteral("起投涨幅 (StartBuyPct)、投入倍数 (Multiple)、")))
        << names.toStdString();
}

TEST(ParameterSweepTest, GreyedOutParametersAreIdleWithTheirReason) {
    PlanSettings s;  // every switch off
    EXPECT_EQ(SweepParameterIdle(s, Field::RiskPositionPct),
              QStringLiteral("风控仓位在「加仓优先」关闭时不起作用"));
    EXPECT_TRUE(SweepParameterIdle(s, Field::StartSellPct));
    EXPECT_FALSE(SweepParameterIdle(s, Field::Multiple));
    s.SetChecked(Switch::BuyFirst, true);
    EXPECT_FALSE(SweepParameterIdle(s, Field::RiskPositionPct));
}

TEST(ParameterSweepTest, ClampedValuesMakeOneLinePerAxis) {
    struct Case {
        const char* axis;
        int other;
        const char* line;  // nullptr: nothing clamped
    };
    const Case cases[] = {
        {"Multiple=1:9:0.05", 1, "投入倍数 2.05–9 超出 1–2，按 2 计算，共 140 格重复"},
        {"Multiple=1.5:2.5:0.5", 12, "投入倍数 2.5 超出 1–2，按 2 计算，共 12 格重复"},
        {"StartBuyPct=-10:10:0.5", 2,
         "起投涨幅 -10–-9.5 超出 -9–9，按 -9 计算；9.5–10 超出 -9–9，按 9 计算，共 8 格重复"},
        {"StartBuyPct=-0.125:-0.125:1", 3,
         "起投涨幅 1 个值按输入框的格式改写（如 -0.125 按 -0.13 计算），共 3 格重复"},
        {"TotalCapital=1000:3000:1000", 5, nullptr},
    };
    for (const Case& c : cases) {
        const std::optional<QString> line = SweepClampSummary(Axis(c.axis), c.other);
        if (!c.line) {
            EXPECT_FALSE(line) << c.axis;
            continue;
        }
        EXPECT_EQ(line.value_or(QString()), QString::fromUtf8(c.line)) << c.axis;
    }
}

TEST(ParameterSweepTest, ProgressEstimatesTheTimeLeft) {
    struct Case {
        long long done, total;
        double elapsed;
        const char* text;
    };
    const Case cases[] = {
        {0, 1000, 5, "已算 0 / 1000 格（0.0%）"},
        {10, 1000, 0.5, "已算 10 / 1000 格（1.0%）"},  // too early to tell
        {100, 1000, 2, "已算 100 / 1000 格（10.0%），约剩 18 秒"},
        {1000, 1000000, 3.6, "已算 1000 / 1000000 格（0.1%），约剩 59 分 57 秒"},
        {1, 1000000, 3.6, "已算 1 / 1000000 格（0.0%），约剩 999 小时 59 分"},
        {1000, 1000, 9, "已算 1000 / 1000 格（100.0%）"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SweepProgressText(c.done, c.total, c.elapsed), QString::fromUtf8(c.text))
            << c.done;
    }
}
