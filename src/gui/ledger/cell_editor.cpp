#include "gui/ledger/cell_editor.h"

#include <QEvent>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>

#include "core/common/single_line_text.h"
#include "gui/layout/twips.h"
#include "gui/ledger/ledger_view.h"

namespace tovira {

namespace {

bool IsEndKey(const QKeyEvent* key) {
    return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter ||
           key->key() == Qt::Key_Escape;
}

}  // namespace

CellEditor::CellEditor(LedgerView& view) : QObject(&view), view_(view), viewport_(view.viewport()) {
    line_ = new QLineEdit(viewport_);
    line_->setObjectName(QStringLiteral("cellEditorLine"));
    line_->setFont(WindowFont());
    line_->hide();
    line_->installEventFilter(this);
    connect(line_, &QLineEdit::textChanged, this, [this] { FitWidth(); });

    viewport_->installEventFilter(this);

    LedgerModel& model = view_.Ledger();
    // The ledger may be torn down before the view (it is a member of the
    // window, the view a child widget): from then on nothing is written.
    connect(&model, &QObject::destroyed, this, [this] { row_ = 0; });
    // Rows going away under an open edit: the old text goes back to its row
    // if that row is still there, and nothing is written otherwise.
    connect(&model, &QAbstractItemModel::rowsRemoved, this,
            [this](const QModelIndex&, int first, int last) {
                if (!Editing()) return;
                const int at = row_ - 1;
                if (at >= first && at <= last) {
                    Abandon();
                    return;
                }
                if (at > last) row_ -= last - first + 1;
                End(false);
            });
    // A reset may have replaced every row; the edited row counts as the same
    // one only if its ID text and the blanked cell are still as they were.
    connect(&model, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        if (Editing()) rowIdBeforeReset_ = view_.Ledger().Cell(row_, Column::ID);
    });
    connect(&model, &QAbstractItemModel::modelReset, this, [this] {
        if (!Editing()) return;
        const LedgerModel& ledger = view_.Ledger();
        const auto key = static_cast<Column>(column_);
        if (row_ <= ledger.LastRow() && ledger.Cell(row_, Column::ID) == rowIdBeforeReset_ &&
            ledger.Cell(row_, key).isEmpty()) {
            End(false);
        } else {
            Abandon();
        }
    });
}

bool CellEditor::OpenAt(const QPoint& viewportPos) {
    if (Editing()) End(true);
    return Open(view_.indexAt(viewportPos));
}

bool CellEditor::Open(const QModelIndex& at) {
    if (Editing()) End(true);
    if (!at.isValid() || at.column() == Index(Column::ID) || view_.isColumnHidden(at.column())) {
        return false;
    }
    view_.scrollTo(at);
    const QRect cell = view_.visualRect(at);
    if (cell.width() <= 0 || cell.height() <= 0) return false;

    // The editor starts 4 px right of the cell's left edge at the cell's full
    // width; typing then fits it to the text (FitWidth).
    line_->setGeometry(cell.left() + 4, cell.top(), cell.width(), cell.height());
    cellWidth_ = cell.width();
    column_ = at.column();
    row_ = at.row() + 1;

    LedgerModel& model = view_.Ledger();
    const auto key = static_cast<Column>(column_);
    const QString text = model.Cell(row_, key);
    line_->setText(text);
    before_ = text;
    model.SetCell(row_, key, QString());

    line_->raise();
    line_->show();
    line_->selectAll();
    line_->setFocus(Qt::MouseFocusReason);
    view_.SelectRow(row_, column_);
    return true;
}

void CellEditor::End(bool commit) {
    if (!Editing() || ending_) return;
    ending_ = true;
    // A cell holds one line: pasted line breaks and other control
    // characters would break the plan file's layout.
    const QString text = StripControlCharacters(commit ? line_->text() : before_);
    view_.Ledger().SetCell(row_, static_cast<Column>(column_), text);
    Close();
}

void CellEditor::MoveTo(bool forward) {
    LedgerModel& model = view_.Ledger();
    int row = row_ - 1;
    int column = column_;
    End(true);
    // The next visible cell in reading order, skipping the ID column.
    const int columns = model.columnCount();
    for (int step = 0; step < columns * 2; ++step) {
        column += forward ? 1 : -1;
        if (column >= columns) {
            column = 0;
            ++row;
        } else if (column < 0) {
            column = columns - 1;
            --row;
        }
        if (row < 0 || row >= model.rowCount()) return;
        if (column != Index(Column::ID) && !view_.isColumnHidden(column)) {
            Open(model.index(row, column));
            return;
        }
    }
}

void CellEditor::Abandon() {
    if (!Editing() || ending_) return;
    ending_ = true;
    Close();
}

void CellEditor::Close() {
    // ending_ is set: the focus leaving the editor here ends nothing.
    if (line_->hasFocus()) view_.setFocus(Qt::OtherFocusReason);
    line_->hide();
    row_ = 0;
    line_->clear();
    before_.clear();
    ending_ = false;
}

void CellEditor::FitWidth() {
    if (!Editing()) return;
    const QString text = line_->text();
    const int width =
        text.isEmpty() ? cellWidth_
                       : QFontMetrics(line_->font()).horizontalAdvance(text) + TwipsToPixels(180);
    line_->resize(width, line_->height());
}

bool CellEditor::eventFilter(QObject* watched, QEvent* event) {
    if (watched == viewport_) {
        if (event->type() == QEvent::MouseButtonDblClick) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() != Qt::LeftButton) return false;
            if (Editing()) End(true);
            return OpenAt(mouse->position().toPoint());
        }
        return false;
    }
    if (watched != line_ || !Editing()) return false;

    switch (event->type()) {
        case QEvent::ShortcutOverride:
            // Enter and Esc belong to the editor, not to a window shortcut.
            if (IsEndKey(static_cast<QKeyEvent*>(event))) {
                event->accept();
                return true;
            }
            break;
        case QEvent::KeyPress: {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
                MoveTo(key->key() == Qt::Key_Tab && !(key->modifiers() & Qt::ShiftModifier));
                return true;
            }
            if (!IsEndKey(key)) break;
            End(key->key() != Qt::Key_Escape);
            return true;
        }
        case QEvent::FocusIn:
            view_.SelectRow(row_, column_);
            break;
        case QEvent::FocusOut:
            // The editor's own context menu takes the focus for a moment; that
            // is no leaving.
            if (!ending_ && static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) {
                End(true);
            }
            break;
        default:
            break;
    }
    return false;
}

}  // namespace tovira
