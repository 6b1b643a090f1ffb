// The back-test report of an N-row plan (the plan's figures plus the lump-sum
// and monthly passes on a copy) against the plain recalculation of the same
// plan, which it should stay within three times of.

#include <benchmark/benchmark.h>

#include <QDate>
#include <cmath>

#include "core/engine/recalculate.h"
#include "core/ledger/ledger_model.h"
#include "core/ledger/plan_settings.h"
#include "core/report/backtest_report.h"

using namespace tovira;

namespace {

// n trading days (weekdays from 1950) with a wandering NAV, a few dividends,
// conversions and suspended days; the plan buys on falls and sells on gains.
void FillPlan(int n, LedgerModel& ledger, PlanSettings& settings) {
    settings.SetChecked(Switch::BuyFirst, true);
    settings.SetChecked(Switch::SellOnRises, true);
    settings.SetChecked(Switch::GrowingTopUp, true);
    settings.SetText(Field::TotalCapital, QStringLiteral("500000"));
    BulkUpdate bulk(ledger);
    ledger.ReserveRows(n);
    double nav = 1.0;
    QDate date(1950, 1, 2);
    for (int i = 1; i <= n; ++i) {
        nav *= 1.0 + 0.012 * std::sin(i * 0.37) + 0.004 * std::cos(i * 1.9);
        ledger.AddRow(QString::number(i));
        ledger.SetCell(i, Column::Date, date.toString(QStringLiteral("yyyy/M/d")));
        ledger.SetCell(i, Column::NetValue, QString::number(nav, 'f', 4));
        ledger.SetCell(i, Column::PurchaseStatus,
                       i % 97 == 0 ? QStringLiteral("暂停申购") : QStringLiteral("开放申购"));
        ledger.SetCell(i, Column::RedeemStatus, QStringLiteral("开放赎回"));
        ledger.SetCell(i, Column::DividendAction,
                       i % 250 == 0   ? QStringLiteral("每份派现金0.0500元")
                       : i % 997 == 0 ? QStringLiteral("每份基金份额折算1.023002965份")
                                      : QString());
        date = date.addDays(date.dayOfWeek() == 5 ? 3 : 1);
    }
    ledger.SetCell(1, Column::DailyChange, QStringLiteral("0.00"));
}

void PerRow(benchmark::State& state) {
    state.counters["per_row"] = benchmark::Counter(
        static_cast<double>(state.range(0)),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Arg 1: 1 = the capital alternates so that every pass writes changed texts,
// 0 = the same figures again (the write-back skips unchanged cells).
void BM_PlainRecalculate(benchmark::State& state) {
    LedgerModel ledger;
    PlanSettings settings;
    FillPlan(static_cast<int>(state.range(0)), ledger, settings);
    Recalculate(ledger, settings, Mode::Theory);
    const bool alternate = state.range(1) != 0;
    bool flip = false;
    for (auto _ : state) {
        if (alternate) {
            flip = !flip;
            settings.SetText(Field::TotalCapital,
                             flip ? QStringLiteral("600000") : QStringLiteral("500000"));
        }
        Recalculate(ledger, settings, Mode::Theory);
    }
    PerRow(state);
}

void BM_BacktestReport(benchmark::State& state) {
    LedgerModel ledger;
    PlanSettings settings;
    FillPlan(static_cast<int>(state.range(0)), ledger, settings);
    Recalculate(ledger, settings, Mode::Theory);
    for (auto _ : state) {
        std::optional<BacktestReport> report = BuildBacktestReport(ledger, settings, Mode::Theory);
        benchmark::DoNotOptimize(report);
    }
    PerRow(state);
}

}  // namespace

BENCHMARK(BM_PlainRecalculate)
    ->Args({250, 1})
    ->Args({2500, 1})
    ->Args({32767, 1})
    ->Args({32767, 0})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BacktestReport)->Arg(250)->Arg(2500)->Arg(32767)->Unit(benchmark::kMillisecond);
