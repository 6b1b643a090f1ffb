#include "core/report/parameter_sweep.h"

#include <QDate>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>

#include "core/common/ledger_date.h"
#include "core/common/messages.h"
#include "core/common/numbers.h"
#include "core/common/vector_state.h"
#include "core/engine/figure_table.h"
#include "core/engine/recalculate.h"
#include "core/report/backtest_report.h"

namespace tovira {
namespace {

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

std::optional<double> Percent(std::optional<double> fraction) {
    if (!fraction) return std::nullopt;
    const double pct = Round(*fraction * 100, 2);
    if (!std::isfinite(pct)) return std::nullopt;
    return pct;
}

// The report's plan figures of one pass. Reading a figure back through its
// text is monotonic, so the extremes are taken on the floats and read back
// once; the cash flows are only formed where the money invested changes
// (zero flows do not count in the rate).
SweepMetrics Measure(const PassSummary& pass, const std::vector<QDate>& dates, float redeemFactor,
                     std::vector<CashFlow>& flows) {
    SweepMetrics m;
    flows.clear();
    if (pass.netInvestedChanges.empty()) return m;
    m.purchases = pass.purchases;
    m.redemptions = pass.redemptions;
    double prevTT = 0;
    for (const auto& [row, netInvested] : pass.netInvestedChanges) {
        const double tt = AsShown(netInvested);
        const double amount = -(tt - prevTT);
        if (amount != 0) flows.push_back({dates[static_cast<size_t>(row)], amount});
        prevTT = tt;
    }
    m.maxCapital = AsShown(pass.maxNetInvested);
    m.worstProfit = AsShown(pass.worstProfit);
    m.profit = AsShown(pass.lastProfit);
    flows.push_back(
        {dates.back(), AsShown(pass.lastMarketValue) * static_cast<double>(redeemFactor)});
    if (m.maxCapital > 0) m.returnOnCapitalPct = Percent(m.profit / m.maxCapital);
    m.xirrPct = Percent(Xirr(flows));
    return m;
}

}  // namespace

const std::vector<SweepParameter>& SweepParameters() {
    // The fields the search may vary, in the search's order.
    static const std::vector<SweepParameter> kParameters = [] {
        std::vector<SweepParameter> parameters;
        for (const FieldInfo& info : Fields()) {
            if (info.searchName) parameters.push_back({info.searchName, info.field});
        }
        std::sort(parameters.begin(), parameters.end(),
                  [](const SweepParameter& a, const SweepParameter& b) {
                      return FieldOf(a.field).searchPlace < FieldOf(b.field).searchPlace;
                  });
        return parameters;
    }();
    return kParameters;
}

std::optional<SweepParameter> SweepParameterByName(QStringView name) {
    for (const SweepParameter& p : SweepParameters()) {
        if (name == QLatin1StringView(p.name) || name == FieldName(p.field)) return p;
    }
    return std::nullopt;
}

QString SweepParameterNames() {
    QStringList names;
    for (const SweepParameter& p : SweepParameters()) {
        names << QStringLiteral("%1 (%2)").arg(FieldName(p.field), QLatin1StringView(p.name));
    }
    return names.join(QStringLiteral("、"));
}

std::optional<QString> SweepParameterIdle(const PlanSettings& settings, Field field) {
    if (settings.Enabled(ControlOf(field))) return std::nullopt;
    const FieldInfo& info = FieldOf(field);
    if (info.enabledBy) {
        return QStringLiteral("%1在「%2」关闭时不起作用")
            .arg(FieldName(field), Text(SwitchOf(*info.enabledBy).caption));
    }
    if (info.replacedBy) {
        return QStringLiteral("%1在「%2」打开时不起作用")
            .arg(FieldName(field), Text(SwitchOf(*info.replacedBy).caption));
    }
    return QStringLiteral("%1目前不起作用").arg(FieldName(field));
}

std::optional<QString> SweepClampSummary(const SweepAxis& axis, int otherCount) {
    const FieldClamp& clamp = FieldOf(axis.field).clamp;
    const auto number = [](double v) { return QString::number(v, 'g', 12); };
    // The values below the bounds, above them, and reformatted within them.
    std::vector<int> low, high, reformatted;
    for (int k = 0; k < axis.Count(); ++k) {
        if (!axis.Clamped(k)) continue;
        const double typed = axis.typed[static_cast<size_t>(k)];
        (typed < clamp.lower ? low : typed > clamp.upper ? high : reformatted).push_back(k);
    }
    const auto count = low.size() + high.size() + reformatted.size();
    if (count == 0) return std::nullopt;
    const QString bounds = number(clamp.lower) + QStringLiteral("–") + number(clamp.upper);
    const auto span = [&](const std::vector<int>& ks) {
        const QString& first = axis.texts[static_cast<size_t>(ks.front())];
        return ks.size() == 1
                   ? first
                   : first + QStringLiteral("–") + axis.texts[static_cast<size_t>(ks.back())];
    };
    QStringList parts;
    for (const std::vector<int>* side : {&low, &high}) {
        if (side->empty()) continue;
        parts << QStringLiteral("%1 超出 %2，按 %3 计算")
                     .arg(span(*side), bounds,
                          number(axis.used[static_cast<size_t>(side->front())]));
    }
    if (!reformatted.empty()) {
        const auto k = static_cast<size_t>(reformatted.front());
        parts << QStringLiteral("%1 个值按输入框的格式改写（如 %2 按 %3 计算）")
                     .arg(reformatted.size())
                     .arg(axis.texts[k], number(axis.used[k]));
    }
    const long long cells = static_cast<long long>(count) * std::max(otherCount, 0);
    return FieldName(axis.field) + QLatin1Char(' ') + parts.join(QStringLiteral("；")) +
           QStringLiteral("，共 %1 格重复").arg(cells);
}

QString SweepProgressText(long long done, long long total, double elapsedSeconds) {
    const double share = total > 0 ? static_cast<double>(done) / static_cast<double>(total) : 1;
    QString text = QStringLiteral("已算 %1 / %2 格（%3%）")
                       .arg(done)
                       .arg(total)
                       .arg(QString::number(share * 100, 'f', 1));
    if (done <= 0 || done >= total || elapsedSeconds < 1) return text;
    const auto left = static_cast<long long>(
        std::ceil(elapsedSeconds * static_cast<double>(total - done) / static_cast<double>(done)));
    const long long hours = left / 3600;
    const long long minutes = left / 60 % 60;
    const long long seconds = left % 60;
    QString rest;
    if (hours > 0)
        rest = QStringLiteral("%1 小时 %2 分").arg(hours).arg(minutes);
    else if (minutes > 0)
        rest = QStringLiteral("%1 分 %2 秒").arg(minutes).arg(seconds);
    else
        rest = QStringLiteral("%1 秒").arg(seconds);
    return text + QStringLiteral("，约剩 ") + rest;
}

std::optional<SweepAxis> MakeSweepAxis(const QString& name, double from, double to, double step,
                                       QString* error) {
    auto fail = [&](const QString& message) -> std::optional<SweepAxis> {
        if (error) *error = name + QStringLiteral(": ") + message;
        return std::nullopt;
    };
    const std::optional<SweepParameter> parameter = SweepParameterByName(name);
    if (!parameter) return fail(Text(kMsgSweepUnknownParameter) + name);
    if (!std::isfinite(from) || !std::isfinite(to) || !std::isfinite(step)) {
        return fail(Text(kMsgSweepBadNumber));
    }
    if (!(step > 0)) return fail(Text(kMsgSweepStepNotPositive));
    if (to < from) return fail(Text(kMsgSweepToBelowFrom));
    const double span = std::floor((to - from) / step + 1e-6);
    if (!(span < static_cast<double>(kMaxSweepCells))) return fail(Text(kMsgSweepTooManyCells));
    const int count = static_cast<int>(span) + 1;

    SweepAxis axis;
    axis.name = QString::fromLatin1(parameter->name);
    axis.field = parameter->field;
    axis.from = from;
    axis.to = to;
    axis.step = step;
    axis.texts.reserve(static_cast<size_t>(count));
    axis.typed.reserve(static_cast<size_t>(count));
    axis.used.reserve(static_cast<size_t>(count));
    for (int k = 0; k < count; ++k) {
        // Twelve significant digits drop the noise of from + k * step.
        const QString text = QString::number(from + k * step, 'g', 12);
        const QString clamped = PlanSettings::Clamp(axis.field, text);
        if (const std::optional<QString> refused = PlanSettings::Validate(axis.field, clamped)) {
            return fail(text + QStringLiteral(": ") + *refused);
        }
        axis.texts.push_back(text);
        axis.typed.push_back(ReadNumber(text));
        axis.used.push_back(ReadNumber(clamped));
    }
    return axis;
}

std::optional<SweepAxis> ParseSweepAxis(QStringView text, QString* error) {
    const qsizetype eq = text.indexOf(u'=');
    const QList<QStringView> parts = eq < 0 ? QList<QStringView>() : text.mid(eq + 1).split(u':');
    if (eq <= 0 || parts.size() != 3) {
        if (error) *error = text.toString() + QStringLiteral(": ") + Text(kMsgSweepBadAxis);
        return std::nullopt;
    }
    const QString name = text.left(eq).trimmed().toString();
    if (!SweepParameterByName(name)) {
        if (error) *error = Text(kMsgSweepUnknownParameter) + name;
        return std::nullopt;
    }
    double values[3];
    for (int k = 0; k < 3; ++k) {
        const std::optional<double> v = StrictNumber(parts[k]);
        if (!v) {
            if (error) *error = name + QStringLiteral(": ") + Text(kMsgSweepBadNumber);
            return std::nullopt;
        }
        values[k] = *v;
    }
    return MakeSweepAxis(name, values[0], values[1], values[2], error);
}

std::optional<QString> CheckSweepGrid(const SweepAxis& x, const SweepAxis& y) {
    if (x.field == y.field) return Text(kMsgSweepSameParameter);
    if (static_cast<long long>(x.Count()) * y.Count() > kMaxSweepCells) {
        return Text(kMsgSweepTooManyCells);
    }
    return std::nullopt;
}

std::optional<SweepMetric> ParseSweepMetric(QStringView text) {
    for (SweepMetric m : {SweepMetric::Xirr, SweepMetric::Profit, SweepMetric::Return}) {
        if (text == QLatin1StringView(SweepMetricName(m))) return m;
    }
    return std::nullopt;
}

const char* SweepMetricName(SweepMetric metric) {
    switch (metric) {
        case SweepMetric::Profit:
            return "profit";
        case SweepMetric::Return:
            return "return";
        case SweepMetric::Xirr:
            break;
    }
    return "xirr";
}

std::optional<double> MetricValue(const SweepMetrics& m, SweepMetric metric) {
    switch (metric) {
        case SweepMetric::Profit:
            return m.profit;
        case SweepMetric::Return:
            return m.returnOnCapitalPct;
        case SweepMetric::Xirr:
            break;
    }
    return m.xirrPct;
}

PlanSettings SweepCellSettings(const PlanSettings& settings, const SweepAxis& x, int i,
                               const SweepAxis& y, int j) {
    PlanSettings cell = settings;
    cell.onSwitchChanged = nullptr;
    cell.SetText(x.field, x.texts[static_cast<size_t>(i)]);
    cell.SetText(y.field, y.texts[static_cast<size_t>(j)]);
    return cell;
}

SweepInput ReadSweepInput(const LedgerModel& ledger) {
    SweepInput input;
    input.ledger = ReadLedgerInput(ledger, Mode::Theory);
    input.dates.reserve(input.ledger.rows.size());
    for (int row = 1; row <= ledger.LastRow(); ++row) {
        input.dates.push_back(ReadLedgerDate(ledger.Cell(row, Column::Date)).value_or(QDate()));
    }
    return input;
}

SweepResult RunSweep(const LedgerModel& ledger, const PlanSettings& settings, const SweepAxis& x,
                     const SweepAxis& y, int threads, std::atomic<bool>* cancel,
                     const SweepProgress& progress) {
    return RunSweep(ReadSweepInput(ledger), settings, x, y, threads, cancel, progress);
}

SweepResult RunSweep(const SweepInput& sweepInput, const PlanSettings& settings, const SweepAxis& x,
                     const SweepAxis& y, int threads, std::atomic<bool>* cancel,
                     const SweepProgress& progress) {
    SweepResult result;
    result.x = x;
    result.y = y;
    const long long total = static_cast<long long>(x.Count()) * y.Count();
    result.cells.assign(static_cast<size_t>(total), SweepMetrics{});
    if (total == 0) return result;

    const LedgerInput& input = sweepInput.ledger;
    const std::vector<QDate>& dates = sweepInput.dates;
    if (input.rows.empty() || dates.size() != input.rows.size()) return result;
    PlanSettings base = settings;
    base.onSwitchChanged = nullptr;

    if (threads <= 0) threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    threads = static_cast<int>(std::min<long long>(threads, total));

    // Cells are handed out one at a time: a pass over the longest ledger takes
    // a few milliseconds, so a cancel is seen well within 200 ms.
    std::atomic<long long> next{0};
    std::atomic<long long> done{0};
    std::atomic<bool> stopped{false};
    // Progress goes out about every 50 ms and once at the end.
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    std::atomic<long long> lastReport{0};  // nanoseconds since start
    std::mutex progressMutex;
    const std::vector<RowMarket> market = MarketFigures(input);
    // Each worker takes a few cells at a time and walks the rows for them
    // together.
    auto work = [&] {
        std::array<PassSummary, kPassesTogether> summaries;
        std::array<PlanSettings, kPassesTogether> cellSettings;
        std::array<const PlanSettings*, kPassesTogether> inputs{};
        std::vector<CashFlow> flows;
        for (;;) {
            if (cancel && cancel->load(std::memory_order_relaxed)) {
                stopped = true;
                return;
            }
            const long long first = next.fetch_add(kPassesTogether);
            if (first >= total) return;
            const int count = static_cast<int>(std::min<long long>(kPassesTogether, total - first));
            for (int k = 0; k < count; ++k) {
                const long long cell = first + k;
                cellSettings[k] = SweepCellSettings(base, x, static_cast<int>(cell % x.Count()), y,
                                                    static_cast<int>(cell / x.Count()));
                inputs[k] = &cellSettings[k];
            }
            // Copying the settings may have run library code with wide registers.
            ClearUpperVectorState();
            SummarizePassesTogether(input, market, inputs.data(), summaries.data(), count);
            for (int k = 0; k < count; ++k) {
                float redeemFactor = 0;
                Assign(redeemFactor, 1 - cellSettings[k].Number(Field::RedeemFeePct) / 100);
                result.cells[static_cast<size_t>(first + k)] =
                    Measure(summaries[k], dates, redeemFactor, flows);
            }
            const long long finished = done.fetch_add(count) + count;
            if (!progress) continue;
            const long long now =
                std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
            long long last = lastReport.load();
            const bool due =
                now - last >= 50'000'000 && lastReport.compare_exchange_strong(last, now);
            if (due || finished == total) {
                const std::lock_guard<std::mutex> lock(progressMutex);
                progress(finished, total);
            }
        }
    };
    if (threads == 1) {
        work();
    } else {
        std::vector<std::thread> pool;
        pool.reserve(static_cast<size_t>(threads));
        for (int t = 0; t < threads; ++t) pool.emplace_back(work);
        for (std::thread& t : pool) t.join();
    }
    result.cancelled = stopped.load();
    return result;
}

std::vector<std::pair<int, int>> BestSweepCells(const SweepResult& result, SweepMetric metric,
                                                int count) {
    std::vector<long long> order(result.cells.size());
    for (size_t k = 0; k < order.size(); ++k) order[k] = static_cast<long long>(k);
    auto better = [&](long long a, long long b) {
        const std::optional<double> va = MetricValue(result.cells[static_cast<size_t>(a)], metric);
        const std::optional<double> vb = MetricValue(result.cells[static_cast<size_t>(b)], metric);
        if (va.has_value() != vb.has_value()) return va.has_value();
        return va && *va > *vb;
    };
    const size_t keep = std::min(order.size(), static_cast<size_t>(std::max(0, count)));
    std::partial_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(keep), order.end(),
                      [&](long long a, long long b) {
                          if (better(a, b)) return true;
                          if (better(b, a)) return false;
                          return a < b;
                      });
    std::vector<std::pair<int, int>> best;
    best.reserve(keep);
    const long long width = std::max(1, result.x.Count());
    for (size_t k = 0; k < keep; ++k) {
        best.emplace_back(static_cast<int>(order[k] % width), static_cast<int>(order[k] / width));
    }
    return best;
}

}  // namespace tovira
