// What the user waits for: opening a plan of N rows, the recalculation pass
// with its write-back, saving, and the whole command-line export.

#include <benchmark/benchmark.h>

#include <QDir>
#include <QTemporaryDir>
#include <QTextStream>
#include <cmath>
#include <map>

#include "cli/cli.h"
#include "core/engine/recalculate.h"
#include "core/ledger/ledger_model.h"
#include "core/ledger/plan_settings.h"
#include "core/storage/ini_document.h"
#include "core/storage/plan_file.h"

using namespace tovira;

namespace {

// A plan of n rows with a wandering NAV, a few dividends, conversions and
// suspended days, saved once per size in a temporary program folder.
// bench/make_bench_plan.py writes the same file byte for byte, for timing the
// whole tovira-cli process (bench/cli_export_process.sh).
class Fixture {
  public:
    static Fixture& Get() {
        static Fixture f;
        return f;
    }
    QString PlanPath(int n) {
        auto it = paths_.find(n);
        if (it != paths_.end()) return it->second;
        IniDocument doc;
        const QString set = QStringLiteral("设置");
        doc.SetValue(set, QStringLiteral("PCFirst"), QStringLiteral("1"));
        doc.SetValue(set, QStringLiteral("Redeem"), QStringLiteral("1"));
        doc.SetValue(set, QStringLiteral("KeepROP"), QStringLiteral("1"));
        doc.SetValue(set, QStringLiteral("基金代码"), QStringLiteral("000011"));
        doc.SetValue(set, QStringLiteral("资金总量"), QStringLiteral("500000"));
        doc.SetValue(QStringLiteral("特殊数据"), QStringLiteral("行数"), QString::number(n));
        doc.SetValue(QStringLiteral("特殊数据"), QStringLiteral("Increase"),
                     QStringLiteral("0.00"));
        double nav = 1.0;
        for (int i = 1; i <= n; ++i) {
            nav *= 1.0 + 0.012 * std::sin(i * 0.37) + 0.004 * std::cos(i * 1.9);
            const QString section = QStringLiteral("第%1行").arg(i);
            doc.SetValue(
                section, QStringLiteral("Date"),
                QStringLiteral("%1/%2/%3").arg(1950 + i / 250).arg(1 + i % 12).arg(1 + i % 28));
            doc.SetValue(section, QStringLiteral("NetValue"), QString::number(nav, 'f', 4));
            doc.SetValue(section, QStringLiteral("PurchaseEnabled"),
                         i % 97 == 0 ? QStringLiteral("暂停申购") : QStringLiteral("开放申购"));
            doc.SetValue(section, QStringLiteral("RedeemEnabled"), QStringLiteral("开放赎回"));
            doc.SetValue(section, QStringLiteral("RedConversion"),
                         i % 250 == 0   ? QStringLiteral("每份派现金0.0500元")
                         : i % 997 == 0 ? QStringLiteral("每份基金份额折算1.023002965份")
                                        : QString());
        }
        const QString path = dir_.filePath(QStringLiteral("plan%1.ini").arg(n));
        doc.Save(path);
        paths_[n] = path;
        return path;
    }
    QString Folder() const { return dir_.path(); }

  private:
    QTemporaryDir dir_;
    std::map<int, QString> paths_;
};

bool Open(const QString& path, LedgerModel& ledger, PlanSettings& settings, bool recalculate) {
    OpenPlanOptions options;
    options.recalculate = recalculate;
    return OpenPlanFile(path, ledger, settings, options).result == OpenResult::Opened;
}

void BM_OpenPlan(benchmark::State& state) {
    const QString path = Fixture::Get().PlanPath(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        LedgerModel ledger;
        PlanSettings settings;
        if (!Open(path, ledger, settings, false)) {
            state.SkipWithError("the plan did not open");
            break;
        }
        benchmark::DoNotOptimize(ledger.LastRow());
    }
    state.counters["per_row"] = benchmark::Counter(
        static_cast<double>(state.range(0)),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_RecalculateWithWriteBack(benchmark::State& state) {
    const QString path = Fixture::Get().PlanPath(static_cast<int>(state.range(0)));
    LedgerModel ledger;
    PlanSettings settings;
    if (!Open(path, ledger, settings, true)) {
        state.SkipWithError("the plan did not open");
        return;
    }
    bool flip = false;
    for (auto _ : state) {
        // Alternate the capital so every pass writes changed texts.
        flip = !flip;
        settings.SetText(Field::TotalCapital,
                         flip ? QStringLiteral("600000") : QStringLiteral("500000"));
        Recalculate(ledger, settings, Mode::Theory);
    }
    state.counters["per_row"] = benchmark::Counter(
        static_cast<double>(state.range(0)),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_SavePlan(benchmark::State& state) {
    const QString path = Fixture::Get().PlanPath(static_cast<int>(state.range(0)));
    LedgerModel ledger;
    PlanSettings settings;
    if (!Open(path, ledger, settings, true)) {
        state.SkipWithError("the plan did not open");
        return;
    }
    QTemporaryDir program;
    for (auto _ : state) {
        const SaveOutcome saved =
            SavePlanFile(ledger, settings, Mode::Theory, program.path(), QStringLiteral("000011"));
        if (saved.result != SaveResult::Saved) {
            state.SkipWithError("the plan was not saved");
            break;
        }
    }
    state.counters["per_row"] = benchmark::Counter(
        static_cast<double>(state.range(0)),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_CliExport(benchmark::State& state) {
    const QString path = Fixture::Get().PlanPath(static_cast<int>(state.range(0)));
    const QString out = Fixture::Get().Folder() + QStringLiteral("/out.csv");
    QString sink;
    QTextStream text(&sink);
    for (auto _ : state) {
        RunCli({QStringLiteral("export"), path, out}, text, text);
    }
    state.counters["per_row"] = benchmark::Counter(
        static_cast<double>(state.range(0)),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(BM_OpenPlan)->Arg(250)->Arg(2500)->Arg(32767)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecalculateWithWriteBack)
    ->Arg(250)
    ->Arg(2500)
    ->Arg(32767)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SavePlan)->Arg(250)->Arg(2500)->Arg(32767)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CliExport)->Arg(250)->Arg(2500)->Arg(32767)->Unit(benchmark::kMillisecond);
