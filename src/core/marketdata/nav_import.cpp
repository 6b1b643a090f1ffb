#include "core/marketdata/nav_import.h"

#include <QStringList>
#include <array>
#include <vector>

#include "core/common/ledger_date.h"

namespace tovira {
namespace {

// Writes the five fields of one record into a row.
void FillRow(LedgerModel& ledger, int row, const QString& record) {
    static const Column kFields[] = {Column::Date, Column::NetValue, Column::PurchaseStatus,
                                     Column::RedeemStatus, Column::DividendAction};
    const QStringList fields = record.split(u',');
    for (int k = 0; k < 5; ++k) ledger.SetCell(row, kFields[k], fields.value(k));
}

}  // namespace

std::optional<QDate> LastRowDate(const LedgerModel& ledger) {
    if (ledger.LastRow() == 0) return std::nullopt;
    return ReadLedgerDate(ledger.Cell(ledger.LastRow(), Column::Date));
}

ImportOutcome ImportNavHistory(LedgerModel& ledger, const QString& history) {
    ImportOutcome outcome;
    const QStringList records = history.split(u'|');
    if (records.size() < 2) return outcome;
    BulkUpdate bulk(ledger);
    ledger.ReserveRows(ledger.LastRow() + static_cast<int>(records.size()) - 1);
    for (qsizetype i = 1; i < records.size(); ++i) {
        const int row = ledger.LastRow() + 1;
        if (!ledger.AddRow(QString::number(i))) {
            outcome.hitRowLimit = true;
            break;
        }
        FillRow(ledger, row, records[i]);
        ++outcome.added;
    }
    ledger.SetCell(1, Column::DailyChange, records[0]);
    return outcome;
}

ImportOutcome AppendNavHistory(LedgerModel& ledger, const QString& history) {
    ImportOutcome outcome;
    const QStringList records = history.split(u'|');
    const int n = ledger.LastRow();
    std::optional<QDate> last = LastRowDate(ledger);
    BulkUpdate bulk(ledger);
    for (qsizetype i = 1; i < records.size(); ++i) {
        const std::optional<QDate> day = ReadLedgerDate(records[i].section(u',', 0, 0));
        if (last && day && *day <= *last) continue;  // already in the ledger
        if (!ledger.AddRow(QString::number(n + outcome.added + 1))) {
            outcome.hitRowLimit = true;
            break;
        }
        FillRow(ledger, ledger.LastRow(), records[i]);
        ++outcome.added;
        if (day) last = day;
    }
    return outcome;
}

ImportOutcome AppendNavHistoryAfter(LedgerModel& ledger, int after, const QString& history) {
    if (after < 0 || after >= ledger.LastRow()) return AppendNavHistory(ledger, history);
    BulkUpdate bulk(ledger);
    std::vector<std::array<QString, kColumnCount>> later;
    for (int row = after + 1; row <= ledger.LastRow(); ++row) {
        std::array<QString, kColumnCount> cells;
        for (const ColumnInfo& c : Columns()) cells[Index(c.column)] = ledger.Cell(row, c.column);
        later.push_back(std::move(cells));
    }
    while (ledger.LastRow() > after) ledger.RemoveRow(ledger.LastRow());

    ImportOutcome outcome = AppendNavHistory(ledger, history);
    const std::optional<QDate> last = LastRowDate(ledger);
    for (const auto& cells : later) {
        const std::optional<QDate> day = ReadLedgerDate(cells[Index(Column::Date)]);
        if (outcome.added > 0 && day && last && *day <= *last) continue;  // now official
        const int row = ledger.LastRow() + 1;
        if (!ledger.AddRow(QString::number(row))) {
            outcome.hitRowLimit = true;
            break;
        }
        for (const ColumnInfo& c : Columns()) {
            if (c.column != Column::ID) ledger.SetCell(row, c.column, cells[Index(c.column)]);
        }
    }
    return outcome;
}

ImportOutcome MergeAppendedDays(LedgerModel& ledger, int after, const QString& afterNav,
                                const QString& previousNav, const QString& history) {
    // With no previous NAV known the estimate left row `after` alone.
    if (ledger.LastRow() > after && after >= 1 && history.contains(u'|') &&
        !previousNav.isEmpty() && ledger.Cell(after, Column::NetValue) == previousNav) {
        ledger.SetCell(after, Column::NetValue, afterNav);
    }
    return AppendNavHistoryAfter(ledger, after, history);
}

}  // namespace tovira
