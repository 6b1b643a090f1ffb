#pragma once
// The ledger on screen: a table view over LedgerModel with column widths in
// twips (width 0 hides a column; the view, not the model, holds them), the context menu on a right
// press anywhere in the list area, file drops, and the in-place cell editor.

#include <QStringList>
#include <QTableView>
#include <array>
#include <optional>

#include "core/ledger/ledger_model.h"

class QMenu;

namespace tovira {

class CellEditor;

class LedgerView : public QTableView {
    Q_OBJECT
  public:
    explicit LedgerView(LedgerModel& model, QWidget* parent = nullptr);
    ~LedgerView() override;

    LedgerModel& Ledger() const { return model_; }
    // 1-based position of the selected row, if any.
    std::optional<int> SelectedRow() const;
    // Selects the row with its cell in column (the current cell's column when
    // -1) as the current one, so the view does not scroll sideways.
    void SelectRow(int row, int column = -1);
    // The menu popped up on a right press; the window fills it.
    QMenu* ContextMenu() const { return menu_; }
    CellEditor* Editor() const { return editor_; }
    // The tooltip of the cell at a viewport position: its full text when the
    // column is too narrow to show it, else nothing.
    QString ToolTipAt(const QPoint& viewportPos) const;

    // Column widths in twips; 0 hides the column. They start at the column
    // table's widths, with the two redemption columns hidden.
    void SetColumnWidthTwips(Column key, int twips);
    int ColumnWidthTwips(Column key) const { return widths_[static_cast<size_t>(Index(key))]; }
    // The redemption columns (赎回份额, 确认金额) show only while the plan
    // sells on rises (越涨越卖).
    void ShowRedeemColumns(bool shown);

  signals:
    // Files dropped on the table, full local paths in drop order.
    void FilesDropped(const QStringList& paths);

  protected:
    bool viewportEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    // Widens the column, if need be, so that each of these texts shows whole.
    template <size_t N>
    void FitColumnToTexts(Column key, const char* const (&texts)[N]);

    LedgerModel& model_;
    std::array<int, kColumnCount> widths_{};
    QMenu* menu_ = nullptr;
    CellEditor* editor_ = nullptr;
};

}  // namespace tovira
