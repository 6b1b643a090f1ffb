// The parameter search: combinations per second on the 17-year history of
// fund 000011, and the figures-only pass against the pass with write-back on
// the longest ledger.

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <cmath>

#include "core/engine/recalculate.h"
#include "core/ledger/ledger_model.h"
#include "core/ledger/plan_settings.h"
#include "core/report/parameter_sweep.h"
#include "core/storage/plan_file.h"

using namespace tovira;

namespace {

// The golden history: next to this source when its path is absolute, else
// from a build folder directly under the source tree.
QString GoldenPlan() {
    const QString name = QStringLiteral("tests/data/golden/000011-default.ini");
    const QFileInfo source(QStringLiteral(__FILE__));
    if (source.isAbsolute()) return source.dir().filePath(QStringLiteral("../") + name);
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../../") + name);
}

// Opens the golden history; false (and the benchmark skipped) when it is not
// there.
bool OpenGoldenPlan(LedgerModel& ledger, PlanSettings& settings, benchmark::State& state) {
    if (OpenPlanFile(GoldenPlan(), ledger, settings, {}).result == OpenResult::Opened) return true;
    state.SkipWithError("golden plan missing");
    return false;
}

// A ledger of n rows with a wandering NAV, a few dividends, conversions and
// suspended days.
void FillLedger(LedgerModel& ledger, int n) {
    BulkUpdate bulk(ledger);
    ledger.ReserveRows(n);
    double nav = 1.0;
    for (int i = 1; i <= n; ++i) {
        nav *= 1.0 + 0.012 * std::sin(i * 0.37) + 0.004 * std::cos(i * 1.9);
        ledger.AddRow(QString::number(i));
        ledger.SetCell(
            i, Column::Date,
            QStringLiteral("%1/%2/%3").arg(1950 + i / 250).arg(1 + i % 12).arg(1 + i % 28));
        ledger.SetCell(i, Column::NetValue, QString::number(nav, 'f', 4));
        ledger.SetCell(i, Column::PurchaseStatus,
                       i % 97 == 0 ? QStringLiteral("暂停申购") : QStringLiteral("开放申购"));
        ledger.SetCell(i, Column::RedeemStatus, QStringLiteral("开放赎回"));
        ledger.SetCell(i, Column::DividendAction,
                       i % 250 == 0   ? QStringLiteral("每份派现金0.0500元")
                       : i % 997 == 0 ? QStringLiteral("每份基金份额折算1.023002965份")
                                      : QString());
    }
}

PlanSettings LongPlanSettings() {
    PlanSettings settings;
    settings.SetChecked(Switch::BuyFirst, true);
    settings.SetChecked(Switch::SellOnRises, true);
    settings.SetChecked(Switch::GrowingTopUp, true);
    settings.SetText(Field::TotalCapital, QStringLiteral("500000"));
    return settings;
}

// A 10 x 10 grid over the golden history per iteration; Arg = threads.
void BM_SweepGoldenHistory(benchmark::State& state) {
    LedgerModel ledger;
    PlanSettings settings;
    if (!OpenGoldenPlan(ledger, settings, state)) return;
    QString error;
    const SweepAxis x = *ParseSweepAxis(u"StartBuyPct=-3:-0.75:0.25", &error);
    const SweepAxis y = *ParseSweepAxis(u"Multiple=1:1.9:0.1", &error);
    long long cells = 0;
    for (auto _ : state) {
        const SweepResult r =
            RunSweep(ledger, settings, x, y, static_cast<int>(state.range(0)), nullptr, {});
        benchmark::DoNotOptimize(r.cells.data());
        cells += static_cast<long long>(r.cells.size());
    }
    state.SetItemsProcessed(cells);
    state.counters["rows"] = ledger.LastRow();
}
BENCHMARK(BM_SweepGoldenHistory)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// A grid of 50 x 41 cells, thresholds down to -0.1 %, on an input read once:
// the search as the command line runs it. Arg = threads.
void BM_SweepGoldenHistoryLargeGrid(benchmark::State& state) {
    LedgerModel ledger;
    PlanSettings settings;
    if (!OpenGoldenPlan(ledger, settings, state)) return;
    QString error;
    const SweepAxis x = *ParseSweepAxis(u"StartBuyPct=-5:-0.1:0.1", &error);
    const SweepAxis y = *ParseSweepAxis(u"Multiple=1:2:0.025", &error);
    const SweepInput input = ReadSweepInput(ledger);
    long long cells = 0;
    for (auto _ : state) {
        const SweepResult r =
            RunSweep(input, settings, x, y, static_cast<int>(state.range(0)), nullptr, {});
        benchmark::DoNotOptimize(r.cells.data());
        cells += static_cast<long long>(r.cells.size());
    }
    state.SetItemsProcessed(cells);
}
BENCHMARK(BM_SweepGoldenHistoryLargeGrid)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The pass alone over the golden history, per row and combination. Arg 0:
// the fast pass; 1: the reference pass (library rounding, every step);
// kPassesTogether: that many passes (as many multiples) walking the rows
// together and summed up as the search does.
void BM_GoldenPass(benchmark::State& state) {
    LedgerModel ledger;
    PlanSettings settings;
    if (!OpenGoldenPlan(ledger, settings, state)) return;
    const LedgerInput input = ReadLedgerInput(ledger, Mode::Theory);
    const std::vector<RowMarket> market = MarketFigures(input);
    const auto lanes = static_cast<int>(state.range(0));
    std::vector<PlanSettings> cells(kPassesTogether, settings);
    std::vector<const PlanSettings*> inputs;
    for (int k = 0; k < kPassesTogether; ++k) {
        cells[static_cast<size_t>(k)].SetText(Field::Multiple, QString::number(1.1 + 0.1 * k));
        inputs.push_back(&cells[static_cast<size_t>(k)]);
    }
    std::vector<RowFigures> figures;
    std::vector<PassSummary> summaries(kPassesTogether);
    for (auto _ : state) {
        if (lanes == kPassesTogether) {
            SummarizePassesTogether(input, market, inputs.data(), summaries.data(), lanes);
            benchmark::DoNotOptimize(summaries.data());
        } else {
            ComputeFigures(input, settings, figures,
                           lanes == 1 ? PassPath::Reference : PassPath::Fast);
            benchmark::DoNotOptimize(figures.data());
        }
    }
    const double rowsPerIteration =
        static_cast<double>(input.rows.size()) * (lanes == kPassesTogether ? lanes : 1);
    state.counters["ns_per_row"] =
        benchmark::Counter(rowsPerIteration * 1e-9, benchmark::Counter::kIsIterationInvariantRate |
                                                        benchmark::Counter::kInvert);
}
BENCHMARK(BM_GoldenPass)->Arg(0)->Arg(1)->Arg(kPassesTogether)->Unit(benchmark::kMicrosecond);

// The figures of n rows without touching the ledger, the input read included.
void BM_FiguresOnlyPass(benchmark::State& state) {
    LedgerModel ledger;
    FillLedger(ledger, static_cast<int>(state.range(0)));
    const PlanSettings settings = LongPlanSettings();
    std::vector<RowFigures> figures;
    for (auto _ : state) {
        ComputeFigures(ReadLedgerInput(ledger, Mode::Theory), settings, figures);
        benchmark::DoNotOptimize(figures.data());
    }
}
BENCHMARK(BM_FiguresOnlyPass)->Arg(32767)->Unit(benchmark::kMillisecond);

// The pass alone on an input read once (what each cell of the search costs).
void BM_FiguresOnlyPassReusedInput(benchmark::State& state) {
    LedgerModel ledger;
    FillLedger(ledger, static_cast<int>(state.range(0)));
    const PlanSettings settings = LongPlanSettings();
    const LedgerInput input = ReadLedgerInput(ledger, Mode::Theory);
    std::vector<RowFigures> figures;
    for (auto _ : state) {
        ComputeFigures(input, settings, figures);
        benchmark::DoNotOptimize(figures.data());
    }
}
BENCHMARK(BM_FiguresOnlyPassReusedInput)->Arg(32767)->Unit(benchmark::kMillisecond);

// The pass with its write-back, alternating two multiples so that the texts
// change on every run as they do when the user changes a setting.
void BM_PassWithWriteBack(benchmark::State& state) {
    LedgerModel ledger;
    FillLedger(ledger, static_cast<int>(state.range(0)));
    PlanSettings a = LongPlanSettings();
    PlanSettings b = a;
    b.SetText(Field::Multiple, QStringLiteral("1.3"));
    bool flip = false;
    for (auto _ : state) {
        Recalculate(ledger, flip ? b : a, Mode::Theory);
        flip = !flip;
    }
}
BENCHMARK(BM_PassWithWriteBack)->Arg(32767)->Unit(benchmark::kMillisecond);

}  // namespace
