#pragma once
// The parameter search: two plan parameters run over a grid of values, every
// combination is computed by the 理论计算 pass on one read of the ledger's
// input cells, and only the back-test figures of each combination are kept.
// A cell's figures are the ones a plain recalculation with the two values
// typed into the side panel would give, to the last bit (the same clamping of
// the typed values, the same number rules).

#include <QDate>
#include <QString>
#include <QStringView>
#include <array>
#include <atomic>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "core/engine/recalculate.h"
#include "core/ledger/ledger_model.h"
#include "core/ledger/plan_settings.h"

namespace tovira {

// A parameter the search can vary: its key ("StartBuyPct", ...; the CSV's
// column names) and its side-panel field, whose caption (起投涨幅) names it
// in the dialog and on the command line as well.
struct SweepParameter {
    const char* name;
    Field field;
};
// The fields whose row in the field table gives a search name, in the
// search's order: StartBuyPct, Multiple, MultipleStep, StartSellPct,
// RiskPositionPct, TotalCapital, MinRedeemShares, MinKeepShares.
const std::vector<SweepParameter>& SweepParameters();
// The parameter of a key or a caption (exact, case-sensitive); none for
// unknown names.
std::optional<SweepParameter> SweepParameterByName(QStringView name);
// Every name the search takes, for the message about one it does not:
// "起投涨幅 (StartBuyPct)、投入倍数 (Multiple)、…".
QString SweepParameterNames();
// Why varying the field would change nothing under the plan's switches (its
// box is greyed out: "风控仓位在「加仓优先」关闭时不起作用"); none when it counts.
std::optional<QString> SweepParameterIdle(const PlanSettings& settings, Field field);

// One axis of the grid: from, from + step, ... up to to (inclusive, within a
// millionth of a step).
struct SweepAxis {
    QString name;  // the parameter's key, whichever of its names was given
    Field field = Field::StartBuyPct;
    double from = 0, to = 0, step = 0;
    std::vector<QString> texts;  // the text typed into the box for each value
    std::vector<double> typed;   // each value as typed
    std::vector<double> used;    // each value after the box's clamping (what the pass uses)

    int Count() const { return static_cast<int>(typed.size()); }
    // The box's clamping changed value i (out of bounds or reformatted).
    bool Clamped(int i) const {
        return typed[static_cast<size_t>(i)] != used[static_cast<size_t>(i)];
    }
};

// One line about the values of an axis the box's rules changed, or none when
// it kept them all: "投入倍数 2.05–9 超出 1–2，按 2 计算，共 140 格重复". The
// cells counted are the grid's (values changed × the other axis's count).
std::optional<QString> SweepClampSummary(const SweepAxis& axis, int otherCount);

// Progress of a search for a terminal: "已算 12 / 1000 格（1.2%），约剩 3 分 20 秒"
// (no estimate before a second has passed or a cell is done).
QString SweepProgressText(long long done, long long total, double elapsedSeconds);

// Parses "Name=from:to:step" (Name a key or a caption). On failure returns none and sets *error to
// a message for the user (unknown name, bad number, step <= 0, to < from, a value the box refuses,
// more than kMaxSweepCells values).
std::optional<SweepAxis> ParseSweepAxis(QStringView text, QString* error);
// An axis from its parts (the dialog's boxes); same checks and messages.
std::optional<SweepAxis> MakeSweepAxis(const QString& name, double from, double to, double step,
                                       QString* error);

inline constexpr long long kMaxSweepCells = 1000000;
// The grid of two axes: none when it is acceptable, else the message (the
// same parameter twice, more than kMaxSweepCells cells).
std::optional<QString> CheckSweepGrid(const SweepAxis& x, const SweepAxis& y);

// What the search ranks by.
enum class SweepMetric { Xirr, Profit, Return };
// "xirr", "profit", "return"; none for anything else.
std::optional<SweepMetric> ParseSweepMetric(QStringView text);
const char* SweepMetricName(SweepMetric metric);

// The back-test figures of one combination, named as the report's JSON keys
// and the CSV columns. Absent figures are empty.
struct SweepMetrics {
    int purchases = 0;
    int redemptions = 0;
    double maxCapital = 0;
    double profit = 0;
    std::optional<double> returnOnCapitalPct;
    std::optional<double> xirrPct;
    double worstProfit = 0;
};
// The keys in CSV column order.
inline constexpr std::array<const char*, 7> kSweepMetricKeys = {
    "purchases", "redemptions", "max_capital", "profit", "return_on_capital_pct",
    "xirr_pct",  "worst_profit"};
// The figure a metric ranks by: xirr_pct, profit or return_on_capital_pct.
std::optional<double> MetricValue(const SweepMetrics& m, SweepMetric metric);

struct SweepResult {
    SweepAxis x, y;
    // x.Count() * y.Count() cells, cell (i, j) at j * x.Count() + i (i on x).
    // Cells not computed because of a cancel stay at their defaults.
    std::vector<SweepMetrics> cells;
    bool cancelled = false;

    const SweepMetrics& At(int i, int j) const {
        return cells[static_cast<size_t>(j) * static_cast<size_t>(x.Count()) +
                     static_cast<size_t>(i)];
    }
};

// Progress: cells done so far and the total. Called from the worker threads
// (never from the caller's thread unless threads == 1), one call at a time,
// about every 50 ms and once when the last cell is done; it must be quick.
using SweepProgress = std::function<void(long long done, long long total)>;

// What the search needs of a ledger: its input cells for 理论计算 and the
// dates. Read it on the thread that owns the ledger; it can then go to a
// background thread while the ledger changes.
struct SweepInput {
    LedgerInput ledger;
    std::vector<QDate> dates;
};
SweepInput ReadSweepInput(const LedgerModel& ledger);

// Runs every combination in 理论计算 on `threads` threads (<= 0: one per
// core). The settings are copied. When *cancel turns true the workers stop
// within 200 ms and the result comes back with cancelled set. The grid must
// pass CheckSweepGrid. An empty ledger leaves every cell at its defaults.
SweepResult RunSweep(const SweepInput& input, const PlanSettings& settings, const SweepAxis& x,
                     const SweepAxis& y, int threads, std::atomic<bool>* cancel,
                     const SweepProgress& progress);
// The same on a ledger, read once on the calling thread before the workers
// start.
SweepResult RunSweep(const LedgerModel& ledger, const PlanSettings& settings, const SweepAxis& x,
                     const SweepAxis& y, int threads, std::atomic<bool>* cancel,
                     const SweepProgress& progress);

// The settings of cell (i, j): the plan's settings with the two values typed
// into their boxes (and clamped as the boxes do).
PlanSettings SweepCellSettings(const PlanSettings& settings, const SweepAxis& x, int i,
                               const SweepAxis& y, int j);

// The best `count` cells by the metric, highest first; cells without the
// figure come last; ties keep the grid order (j, then i). Pairs of (i, j).
std::vector<std::pair<int, int>> BestSweepCells(const SweepResult& result, SweepMetric metric,
                                                int count);

}  // namespace tovira
