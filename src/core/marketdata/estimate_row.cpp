#include "core/marketdata/estimate_row.h"

#include <cmath>

#include "core/common/ledger_date.h"
#include "core/common/numbers.h"

namespace tovira {
namespace {

// Writes to a row the ledger does not have (row 0 of a one-row ledger, or a
// row AddRow refused) are skipped.
void SetIfPresent(LedgerModel& ledger, int row, Column key, const QString& text) {
    if (row >= 1 && row <= ledger.LastRow()) ledger.SetCell(row, key, text);
}

// Writes the previous official NAV into the row, unless its day is known and
// the row is of another day (or of no readable day).
void SetPreviousNav(LedgerModel& ledger, int row, const QString& previousNav,
                    const QDate& previousNavDate) {
    if (previousNav.isEmpty() || row < 1 || row > ledger.LastRow()) return;
    if (previousNavDate.isValid() &&
        ReadLedgerDate(ledger.Cell(row, Column::Date)) != std::optional<QDate>(previousNavDate)) {
        return;
    }
    ledger.SetCell(row, Column::NetValue, previousNav);
}

void WriteProvisionalRow(LedgerModel& ledger, const QString& estimateValue,
                         const QString& previousNav, const QDate& today,
                         const QDate& previousNavDate) {
    const int n = ledger.LastRow();
    const QString todayText = today.toString(QStringLiteral("yyyy/M/d"));
    const bool weekday = today.dayOfWeek() >= Qt::Monday && today.dayOfWeek() <= Qt::Friday;
    if (ledger.Cell(n, Column::Date) != todayText && weekday) {
        // The last row is the latest official day: it takes the official NAV
        // and today gets a row of its own.
        SetPreviousNav(ledger, n, previousNav, previousNavDate);
        if (ledger.AddRow(QString::number(n + 1))) {
            SetIfPresent(ledger, n + 1, Column::Date, todayText);
            SetIfPresent(ledger, n + 1, Column::NetValue, estimateValue);
        }
    } else {
        // Today's row already exists, or it is the weekend and the last row
        // stands in for today.
        SetPreviousNav(ledger, n - 1, previousNav, previousNavDate);
        SetIfPresent(ledger, n, Column::NetValue, estimateValue);
    }
}

std::optional<EstimateAlert> TakeProfitAlert(const LedgerModel& ledger,
                                             const PlanSettings& settings) {
    const int n = ledger.LastRow();
    const QString& point = settings.Text(Field::TakeProfitPct);
    if (ReadNumber(ledger.Cell(n, Column::ReturnPct)) < ReadNumber(point)) return std::nullopt;
    return EstimateAlert{AlertKind::TakeProfit, QStringLiteral("您的收益率已达到") + point +
                                                    QStringLiteral("%，请决定是否全部赎回！")};
}

std::optional<EstimateAlert> BreakAlert(const LedgerModel& ledger, const PlanSettings& settings,
                                        const QString& estimateValue) {
    const int n = ledger.LastRow();
    const QString& daysText = settings.Text(Field::BreakMaDays);
    const QString& amplitudeText = settings.Text(Field::BreakAmplitudePct);

    // The number of days as a 16-bit integer, halves to even.
    const double days = std::nearbyint(ReadNumber(daysText));
    if (!std::isfinite(days) || days < -32768.0 || days > 32767.0) return std::nullopt;
    const int k = static_cast<int>(days);
    if (k < 1 || k >= n) return std::nullopt;

    // Moving average of the k days before today, summed in single precision
    // from the most recent day backwards.
    float sum = 0;
    for (int row = n - 1; row >= n - k; --row) {
        // A figure beyond the single range, or a sum that would leave it,
        // leaves the sum as it was. Two floats added in double and narrowed
        // give the single-precision sum.
        float nav = 0;
        if (!Assign(nav, ReadNumber(ledger.Cell(row, Column::NetValue)))) continue;
        Assign(sum, static_cast<double>(sum) + static_cast<double>(nav));
    }
    float average = 0;
    Assign(average, static_cast<double>(sum) / k);

    const double amplitude = ReadNumber(amplitudeText);
    const double threshold =
        ReadNumber(FormatPattern(static_cast<double>(average) * (1 - amplitude / 100), u"0.0000"));
    if (!(ReadNumber(ledger.Cell(n, Column::NetValue)) <= threshold)) return std::nullopt;
    if (!(ReadNumber(ledger.Cell(n, Column::ReturnPct)) >= 0)) return std::nullopt;
    if (estimateValue.isEmpty()) return std::nullopt;
    return EstimateAlert{AlertKind::Break, QStringLiteral("该基金估值的跌幅已超过近") + daysText +
                                               QStringLiteral("日(不算当天)平均值") +
                                               FormatPattern(average, u"0.0000") +
                                               QStringLiteral("的") + amplitudeText +
                                               QStringLiteral("%，请赎回！")};
}

}  // namespace

std::optional<EstimateAlert> ApplyEstimate(LedgerModel& ledger, const PlanSettings& settings,
                                           Mode mode, const QString& estimateValue,
                                           const QString& previousNav, const QDate& today,
                                           const QDate& previousNavDate) {
    if (ledger.LastRow() == 0) return std::nullopt;
    WriteProvisionalRow(ledger, estimateValue, previousNav, today, previousNavDate);
    Recalculate(ledger, settings, mode);

    if (!settings.Checked(Switch::TakeProfitAlert)) return std::nullopt;
    if (!settings.Checked(Switch::BreakAlert)) return TakeProfitAlert(ledger, settings);
    return BreakAlert(ledger, settings, estimateValue);
}

}  // namespace tovira
