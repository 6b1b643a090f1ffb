#include "core/ledger/ledger_model.h"

#include <algorithm>

namespace tovira {

LedgerModel::LedgerModel(QObject* parent) : QAbstractTableModel(parent) {}

bool LedgerModel::AddRow(const QString& rowText) {
    if (LastRow() >= kMaxRows) return false;
    const int position = LastRow();
    if (bulkDepth_ > 0) {
        StructureWillChange();
    } else {
        beginInsertRows(QModelIndex(), position, position);
    }
    rows_.emplace_back();
    rows_.back().cells[0] = rowText;
    inputsModified_ = true;
    if (bulkDepth_ == 0) endInsertRows();
    return true;
}

const QString& LedgerModel::Cell(int row, Column key) const {
    static const QString kEmpty;
    if (row < 1 || row > LastRow()) return kEmpty;
    return rows_[static_cast<size_t>(row - 1)].cells[static_cast<size_t>(Index(key))];
}

const QString& LedgerModel::KeptTypedAmount(int row, Column key) const {
    static const QString kEmpty;
    if (row < 1 || row > LastRow()) return kEmpty;
    if (key != Column::PurchaseAmount && key != Column::RedeemShares) return kEmpty;
    return rows_[static_cast<size_t>(row - 1)].keptTyped[key == Column::PurchaseAmount ? 0 : 1];
}

void LedgerModel::SetKeptTypedAmount(int row, Column key, const QString& text) {
    if (row < 1 || row > LastRow()) return;
    if (key != Column::PurchaseAmount && key != Column::RedeemShares) return;
    rows_[static_cast<size_t>(row - 1)].keptTyped[key == Column::PurchaseAmount ? 0 : 1] = text;
}

bool LedgerModel::IsInputCell(int row, Column key) {
    switch (key) {
        case Column::Date:
        case Column::NetValue:
        case Column::PurchaseAmount:
        case Column::RedeemShares:
        case Column::PurchaseStatus:
        case Column::RedeemStatus:
        case Column::DividendAction:
            return true;
        case Column::DailyChange:
            return row == 1;
        default:
            return false;
    }
}

void LedgerModel::SetCell(int row, Column key, const QString& text) {
    Store(row, key, QString(text), true);
}

void LedgerModel::SetCell(int row, Column key, QString&& text) {
    Store(row, key, std::move(text), true);
}

void LedgerModel::SetComputedCell(int row, Column key, const QString& text) {
    Store(row, key, QString(text), false);
}

void LedgerModel::Store(int row, Column key, QString&& text, bool input) {
    if (row < 1 || row > LastRow()) return;
    QString& cell = rows_[static_cast<size_t>(row - 1)].cells[static_cast<size_t>(Index(key))];
    if (cell == text) return;
    cell = std::move(text);
    if (input && IsInputCell(row, key)) inputsModified_ = true;
    if (bulkDepth_ > 0) {
        Touch(row - 1);
    } else {
        const QModelIndex at = index(row - 1, Index(key));
        emit dataChanged(at, at, {Qt::DisplayRole, Qt::EditRole});
    }
}

void LedgerModel::SetCellColour(int row, Column key, QRgb colour) {
    if (row < 1 || row > LastRow()) return;
    QRgb& slot = rows_[static_cast<size_t>(row - 1)].colours[static_cast<size_t>(Index(key))];
    if (slot == colour) return;
    slot = colour;
    if (bulkDepth_ > 0) {
        Touch(row - 1);
    } else {
        const QModelIndex at = index(row - 1, Index(key));
        emit dataChanged(at, at, {Qt::ForegroundRole});
    }
}

std::optional<QRgb> LedgerModel::CellColour(int row, Column key) const {
    if (row < 1 || row > LastRow()) return std::nullopt;
    const QRgb c = rows_[static_cast<size_t>(row - 1)].colours[static_cast<size_t>(Index(key))];
    if (c == 0) return std::nullopt;
    return c;
}

void LedgerModel::RemoveRow(int row) {
    if (row < 1 || row > LastRow()) return;
    if (bulkDepth_ > 0) {
        StructureWillChange();
    } else {
        beginRemoveRows(QModelIndex(), row - 1, row - 1);
    }
    rows_.erase(rows_.begin() + (row - 1));
    inputsModified_ = true;
    if (bulkDepth_ == 0) endRemoveRows();
}

void LedgerModel::ClearRows() {
    inputsModified_ = false;
    if (rows_.empty()) return;
    if (bulkDepth_ > 0) {
        StructureWillChange();
        rows_.clear();
        return;
    }
    beginResetModel();
    rows_.clear();
    endResetModel();
}

void LedgerModel::BeginBulk() { ++bulkDepth_; }

void LedgerModel::EndBulk() {
    if (bulkDepth_ == 0 || --bulkDepth_ > 0) return;
    if (bulkReset_) {
        bulkReset_ = false;
        bulkFirst_ = bulkLast_ = -1;
        endResetModel();
        return;
    }
    if (bulkFirst_ >= 0) {
        const int first = bulkFirst_;
        const int last = std::min(bulkLast_, LastRow() - 1);
        bulkFirst_ = bulkLast_ = -1;
        if (first <= last) {
            emit dataChanged(index(first, 0), index(last, kColumnCount - 1));
        }
    }
}

void LedgerModel::Touch(int row) {
    if (bulkReset_) return;
    if (bulkFirst_ < 0 || row < bulkFirst_) bulkFirst_ = row;
    if (row > bulkLast_) bulkLast_ = row;
}

void LedgerModel::StructureWillChange() {
    // Rows come or go inside a bulk section: the view is told once, by a reset.
    if (bulkReset_) return;
    bulkReset_ = true;
    beginResetModel();
}

int LedgerModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : LastRow();
}

int LedgerModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant LedgerModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= LastRow() || index.column() >= kColumnCount) {
        return {};
    }
    const Row& r = rows_[static_cast<size_t>(index.row())];
    switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            return r.cells[static_cast<size_t>(index.column())];
        case Qt::ForegroundRole: {
            const QRgb c = r.colours[static_cast<size_t>(index.column())];
            if (c == 0) return {};
            return QColor::fromRgb(c);
        }
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
        case Qt::ToolTipRole: {
            // The full text of a cell too narrow to show it (the view decides
            // whether it fits).
            const QString& text = r.cells[static_cast<size_t>(index.column())];
            if (text.isEmpty()) return {};
            return text;
        }
        default:
            return {};
    }
}

QVariant LedgerModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    if (role == Qt::DisplayRole)
        return QString::fromUtf8(Columns()[static_cast<size_t>(section)].caption);
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    }
    return {};
}

}  // namespace tovira
