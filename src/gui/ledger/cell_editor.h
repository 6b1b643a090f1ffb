#pragma once
// In-place editing of one ledger cell: a left double click on any cell but
// the ID column opens a line editor over the cell; the cell is blank while
// the edit lasts; Enter or leaving the editor writes the text as typed, Esc
// puts the old text back. No check, no recalculation.

#include <QModelIndex>
#include <QObject>

class QLineEdit;

namespace tovira {

class LedgerView;

class CellEditor : public QObject {
    Q_OBJECT
  public:
    explicit CellEditor(LedgerView& view);

    bool Editing() const { return row_ != 0; }
    int EditedRow() const { return row_; }        // 1-based, 0 when idle
    int EditedColumn() const { return column_; }  // column position, never 0 (ID)
    QLineEdit* Line() const { return line_; }

    // Opens an edit of the cell at a point in the view's viewport
    // coordinates; returns false when there is no editable cell there.
    bool OpenAt(const QPoint& viewportPos);
    // Opens an edit of a cell (0-based model index); false when it cannot
    // be edited (the ID column, a hidden column, no such cell).
    bool Open(const QModelIndex& at);
    // Ends the open edit: commit writes the typed text, cancel the old one.
    void End(bool commit);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void FitWidth();
    // Tab and Shift+Tab: keep the text and edit the next (previous) cell.
    void MoveTo(bool forward);
    // Closes the edit without writing anything (its row is gone).
    void Abandon();
    void Close();

    LedgerView& view_;
    QWidget* viewport_ = nullptr;
    QLineEdit* line_ = nullptr;
    QString before_;
    int row_ = 0;
    int column_ = 0;
    int cellWidth_ = 0;
    QString rowIdBeforeReset_;
    bool ending_ = false;
};

}  // namespace tovira
