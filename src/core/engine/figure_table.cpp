#include "core/engine/figure_table.h"

#include <cstdio>

#include "core/common/number_text.h"

namespace tovira {
namespace {

QStringView Latin1Into(const char* text, int len, CellScratch& scratch) {
    for (int k = 0; k < len; ++k)
        scratch[static_cast<size_t>(k)] = static_cast<unsigned char>(text[k]);
    return QStringView(scratch.data(), len);
}

float FigureOf(const RowFigures& f, Column key) {
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

}  // namespace

bool FigureView::IsComputed(Column key) {
    return key >= Column::DailyChange && key <= Column::AverageCost;
}

double AsShown(float value) {
    if (value == 0.0f) return 0;
    char buf[kGeneralTextMax];
    const int len = FloatTextTo(value, buf);
    CellScratch wide;
    return ReadNumber(Latin1Into(buf, len, wide));
}

int StoredIndex(Column key) {
    for (int k = 0; k < StoredRow::kCells; ++k) {
        if (kStoredColumns[k] == key) return k;
    }
    return -1;
}

QStringView FigureView::Text(int row, Column key) const {
    const int k = StoredIndex(key);
    if (k < 0) return {};
    return Text(StoredSpan(row, k));
}

int FigureView::ComputedText(int row, Column key, char* out) const {
    return FloatTextTo(FigureOf(Figures(row), key), out);
}

QStringView FigureView::Cell(int row, Column key, CellScratch& scratch) const {
    if (row < 1 || row > LastRow()) return {};
    if (key == Column::ID) {
        char buf[16];
        const int len = std::snprintf(buf, sizeof buf, "%d", row);
        return Latin1Into(buf, len, scratch);
    }
    if (!IsComputed(key)) return Text(row, key);
    char buf[kGeneralTextMax];
    return Latin1Into(buf, ComputedText(row, key, buf), scratch);
}

double FigureView::Number(int row, Column key) const {
    if (IsComputed(key)) return AsShown(FigureOf(Figures(row), key));
    return ReadNumber(Text(row, key));
}

TextSpan FigureTable::Store(QStringView text, const TextSpan& same) {
    if (text.size() == same.size && Text(same) == text) return same;
    TextSpan span;
    span.at = static_cast<quint32>(texts.size());
    span.size = static_cast<quint32>(text.size());
    texts += text;
    return span;
}

TextSpan FigureTable::StoreAscii(QByteArrayView ascii, const TextSpan& same) {
    const QLatin1StringView text(ascii.data(), ascii.size());
    if (text.size() == same.size && Text(same) == text) return same;
    TextSpan span;
    span.at = static_cast<quint32>(texts.size());
    span.size = static_cast<quint32>(text.size());
    texts += text;
    return span;
}

double LedgerCells::Number(int row, Column key) const {
    const QString& text = ledger_->Cell(row, key);
    // Most amounts and shares of a long ledger are "0".
    if (text.size() == 1 && text.front() == u'0') return 0;
    return ReadNumber(text);
}

LedgerInput FigureTable::Input() const {
    LedgerInput input;
    input.mode = mode;
    input.rows.reserve(rows.size());
    for (const StoredRow& r : rows) {
        const auto text = [&](int k) { return Text(r.cells[static_cast<size_t>(k)]); };
        input.rows.push_back(
            ReadRowInput(text(1), text(2), text(3), text(4), text(5), text(6), mode));
    }
    if (!rows.empty()) Assign(input.firstIncrease, ReadNumber(firstIncrease));
    return input;
}

void FigureTable::Recalculate(const PlanSettings& settings) {
    ComputeFigures(Input(), settings, figures);
}

}  // namespace tovira
