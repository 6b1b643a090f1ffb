#pragma once
// A ledger without text cells, for callers that read a plan, run the pass
// once and print, export or measure the result (the command line): the input
// texts of every row as the plan file holds them, and the figures of one
// pass. Every cell reads as it would in a LedgerModel recalculated the same
// way, text for text, at a fraction of the time and memory: the twelve
// computed columns are never kept as texts.

#include <QString>
#include <QStringView>
#include <array>
#include <vector>

#include "core/common/numbers.h"
#include "core/engine/recalculate.h"
#include "core/ledger/columns.h"
#include "core/ledger/ledger_model.h"
#include "core/ledger/plan_settings.h"

namespace tovira {

// Where a text stands in a table's text store.
struct TextSpan {
    quint32 at = 0;
    quint32 size = 0;
};

// The stored cells of one row, in the order of kStoredColumns.
struct StoredRow {
    static constexpr int kCells = 7;
    std::array<TextSpan, kCells> cells{};
};
// The columns a plan file stores for a row; the last two are the amounts
// typed in 实际操作, read in that mode only.
inline constexpr Column kStoredColumns[StoredRow::kCells] = {
    Column::Date,           Column::NetValue,       Column::PurchaseStatus, Column::RedeemStatus,
    Column::DividendAction, Column::PurchaseAmount, Column::RedeemShares,
};
// The place of a stored column in StoredRow::cells; -1 for any other.
int StoredIndex(Column key);

// Room for the text of a computed cell.
using CellScratch = std::array<char16_t, kGeneralTextMax>;

// Stored texts and the figures of one pass over them, read like ledger
// cells (rows from 1).
class FigureView {
  public:
    FigureView(const QString& texts, const std::vector<StoredRow>& rows,
               const std::vector<RowFigures>& figures)
        : texts_(&texts), rows_(&rows), figures_(&figures) {}

    int LastRow() const { return static_cast<int>(figures_->size()); }
    // The cell's text; a computed column's is written into scratch.
    QStringView Cell(int row, Column key, CellScratch& scratch) const;
    // A stored cell's text; empty for any other column.
    QStringView Text(int row, Column key) const;
    // The cell read as a number, as the report reads the ledger's cells.
    double Number(int row, Column key) const;
    // Whether the column's cells are figures of the pass (the twelve from
    // 单日涨幅 to 持仓成本), not stored texts.
    static bool IsComputed(Column key) {
        return key >= Column::DailyChange && key <= Column::AverageCost;
    }
    // A computed cell's figure; its text is FloatTextTo's (number_text.h).
    float Figure(int row, Column key) const { return FigureOf(Figures(row), key); }
    static float FigureOf(const RowFigures& f, Column key) {
        switch (key) {
            case Column::DailyChange:
                return f.increase;
            case Column::CumulativeChange:
                return f.cumulativeChange;
            case Column::PurchaseAmount:
                return f.purchaseAmount;
            case Column::ConfirmedShares:
                return f.purchaseShares;
            case Column::RedeemShares:
                return f.redeemShares;
            case Column::RedeemAmount:
                return f.redeemAmount;
            case Column::HeldShares:
                return f.holdShares;
            case Column::MarketValue:
                return f.marketValue;
            case Column::NetInvested:
                return f.netInvested;
            case Column::Profit:
                return f.profit;
            case Column::ReturnPct:
                return f.returnPct;
            case Column::AverageCost:
                return f.averageCost;
            default:
                return 0;
        }
    }
    // Where a stored column's text of the row stands (k as in
    // StoredRow::cells); rows that repeat a text share its span.
    const TextSpan& StoredSpan(int row, int k) const {
        return (*rows_)[static_cast<size_t>(row - 1)].cells[static_cast<size_t>(k)];
    }
    QStringView Text(const TextSpan& span) const {
        return QStringView(*texts_).mid(span.at, span.size);
    }
    const RowFigures& Figures(int row) const { return (*figures_)[static_cast<size_t>(row - 1)]; }

  private:
    const QString* texts_;
    const std::vector<StoredRow>* rows_;
    const std::vector<RowFigures>* figures_;
};

// A recalculated ledger read the way a FigureView is read, so that the
// export and the report take either.
class LedgerCells {
  public:
    explicit LedgerCells(const LedgerModel& ledger) : ledger_(&ledger) {}
    int LastRow() const { return ledger_->LastRow(); }
    const QString& Cell(int row, Column key, CellScratch&) const { return ledger_->Cell(row, key); }
    const QString& Text(int row, Column key) const { return ledger_->Cell(row, key); }
    double Number(int row, Column key) const;

  private:
    const LedgerModel* ledger_;
};

struct FigureTable {
    Mode mode = Mode::Theory;
    QString firstIncrease;  // row 1's stored daily change
    // Every stored text once, one after another: a long plan's repeated
    // status texts and its dates and values cost no string each.
    QString texts;
    std::vector<StoredRow> rows;
    std::vector<RowFigures> figures;  // of the last Recalculate

    int LastRow() const { return static_cast<int>(rows.size()); }
    QStringView Text(const TextSpan& span) const {
        return QStringView(texts).mid(span.at, span.size);
    }
    // Stores text, or finds it at `same` (a span of the same text, such as
    // the row above's): the span to give the cell.
    TextSpan Store(QStringView text, const TextSpan& same);
    // The same for a text given as ASCII bytes.
    TextSpan StoreAscii(QByteArrayView ascii, const TextSpan& same);
    LedgerInput Input() const;
    // The pass over the rows in `mode`.
    void Recalculate(const PlanSettings& settings);
    // Valid until the table changes.
    FigureView View() const { return FigureView(texts, rows, figures); }
};

// A figure as a ledger shows it, read back: its general text read as a number.
double AsShown(float value);

}  // namespace tovira
