#pragma once
// The ledger: one row per trading day, eighteen text cells addressed by row
// (1-based) and column key. It is the only store of ledger data; the
// recalculation, the plan files, the export and the window all read and write
// it through these operations.

#include <QAbstractTableModel>
#include <QColor>
#include <QString>
#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <vector>

#include "core/ledger/columns.h"

namespace tovira {

// Text colours of the signed figures (RGB).
inline constexpr QRgb kRed = 0xFFFF0000;
inline constexpr QRgb kGreen = 0xFF00FF00;

class LedgerModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    static constexpr int kMaxRows = 32767;

    explicit LedgerModel(QObject* parent = nullptr);

    // Ledger operations. Rows count from 1 (row 1 is model row 0): rows
    // 1..LastRow() exist, none when LastRow() is 0. Qt's rowCount() is the
    // same number for the views.
    int LastRow() const { return static_cast<int>(rows_.size()); }
    // Appends an empty row showing rowText in the ID column. Returns false when
    // the table already holds kMaxRows rows.
    bool AddRow(const QString& rowText);
    // Makes room for n rows in all, so that loading many rows does not move
    // the table around in memory again and again.
    void ReserveRows(int n) { rows_.reserve(static_cast<size_t>(std::min(n, kMaxRows))); }
    const QString& Cell(int row, Column key) const;
    void SetCell(int row, Column key, const QString& text);
    void SetCell(int row, Column key, QString&& text);
    // Writes a figure the recalculation computed: no change of the user's
    // input, so it does not count as unsaved work.
    void SetComputedCell(int row, Column key, const QString& text);
    // The amounts typed in 实际操作 that the plan file holds for a row
    // (key PurchaseAmount or RedeemShares), kept with the row while 理论计算
    // shows computed figures in those cells: a row removed or added in
    // 理论计算 takes its own amounts along or brings none, and the save
    // writes them where the row now stands.
    const QString& KeptTypedAmount(int row, Column key) const;
    void SetKeptTypedAmount(int row, Column key, const QString& text);
    // Text colour of one cell; no colour means the table's default.
    void SetCellColour(int row, Column key, QRgb colour);
    std::optional<QRgb> CellColour(int row, Column key) const;
    void RemoveRow(int row);
    void ClearRows();

    // Whether the input cells (the ones a plan file stores) were changed,
    // or rows added or removed, since the last load, save or clear.
    bool InputsModified() const { return inputsModified_; }
    void SetInputsModified(bool modified) { inputsModified_ = modified; }
    static bool IsInputCell(int row, Column key);

    // Bulk writes: between BeginBulk and EndBulk cell changes are not announced
    // one by one; EndBulk announces them once (a reset when rows were added or
    // removed, else one dataChanged over the touched rows). Calls nest.
    void BeginBulk();
    void EndBulk();

    // QAbstractTableModel
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

  private:
    struct Row {
        std::array<QString, kColumnCount> cells;
        std::array<QRgb, kColumnCount> colours{};  // 0: the table's default colour
        std::array<QString, 2> keptTyped;          // PurchaseAmount, RedeemShares
    };
    void Store(int row, Column key, QString&& text, bool input);
    void Touch(int row);
    void StructureWillChange();

    std::vector<Row> rows_;
    bool inputsModified_ = false;
    int bulkDepth_ = 0;
    bool bulkReset_ = false;
    int bulkFirst_ = -1;
    int bulkLast_ = -1;
};

// RAII bulk section.
class BulkUpdate {
  public:
    explicit BulkUpdate(LedgerModel& model) : model_(model) { model_.BeginBulk(); }
    ~BulkUpdate() { model_.EndBulk(); }
    BulkUpdate(const BulkUpdate&) = delete;
    BulkUpdate& operator=(const BulkUpdate&) = delete;

  private:
    LedgerModel& model_;
};

}  // namespace tovira
