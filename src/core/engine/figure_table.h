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
#include "core/ledger/plan_settings.h"

namespace tovira {

// The stored cells of one row.
struct InputRowTexts {
    QString date;
    QString netValue;
    QString purchaseStatus;
    QString redeemStatus;
    QString dividendAction;
    QString purchaseAmount;  // typed amounts: read in 实际操作 only
    QString redeemShares;
};

// Room for the text of a computed cell.
using CellScratch = std::array<char16_t, kGeneralTextMax>;

// Input texts and the figures of one pass over them, read like ledger cells
// (rows from 1).
class FigureView {
  public:
    FigureView(const std::vector<InputRowTexts>& rows, const std::vector<RowFigures>& figures)
        : rows_(&rows), figures_(&figures) {}

    int LastRow() const { return static_cast<int>(figures_->size()); }
    // The cell's text; a computed column's is written into scratch.
    QStringView Cell(int row, Column key, CellScratch& scratch) const;
    // A stored text cell (Date, NetValue, the statuses, DividendAction).
    const QString& Text(int row, Column key) const;
    // The cell read as a number, as the report reads the ledger's cells.
    double Number(int row, Column key) const;
    const RowFigures& Figures(int row) const { return (*figures_)[static_cast<size_t>(row - 1)]; }

  private:
    const std::vector<InputRowTexts>* rows_;
    const std::vector<RowFigures>* figures_;
};

struct FigureTable {
    Mode mode = Mode::Theory;
    QString firstIncrease;  // row 1's stored daily change
    std::vector<InputRowTexts> rows;
    std::vector<RowFigures> figures;  // of the last Recalculate

    int LastRow() const { return static_cast<int>(rows.size()); }
    LedgerInput Input() const;
    // The pass over the rows in `mode`.
    void Recalculate(const PlanSettings& settings);
    // Valid until the table changes.
    FigureView View() const { return FigureView(rows, figures); }
};

// A figure as a ledger shows it, read back: its general text read as a number.
double AsShown(float value);

}  // namespace tovira
