#include "core/engine/figure_table.h"

#include <cstdio>
#include <system_error>
#include <thread>

#include "core/common/number_text.h"

namespace tovira {
namespace {

QStringView Latin1Into(const char* text, int len, CellScratch& scratch) {
    for (int k = 0; k < len; ++k)
        scratch[static_cast<size_t>(k)] = static_cast<unsigned char>(text[k]);
    return QStringView(scratch.data(), len);
}

}  // namespace

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

QStringView FigureView::Cell(int row, Column key, CellScratch& scratch) const {
    if (row < 1 || row > LastRow()) return {};
    if (key == Column::ID) {
        char buf[16];
        const int len = std::snprintf(buf, sizeof buf, "%d", row);
        return Latin1Into(buf, len, scratch);
    }
    if (!IsComputed(key)) return Text(row, key);
    char buf[kGeneralTextMax];
    return Latin1Into(buf, FloatTextTo(Figure(row, key), buf), scratch);
}

double FigureView::Number(int row, Column key) const {
    if (IsComputed(key)) return AsShown(Figure(row, key));
    return ReadNumber(Text(row, key));
}

namespace {

// Appends text to the table's texts unless it stands at `same`.
template <typename View>
TextSpan StoreInto(QString& texts, View text, const TextSpan& same) {
    if (text.size() == same.size && QStringView(texts).mid(same.at, same.size) == text) {
        return same;
    }
    TextSpan span;
    span.at = static_cast<quint32>(texts.size());
    span.size = static_cast<quint32>(text.size());
    texts += text;
    return span;
}

}  // namespace

TextSpan FigureTable::Store(QStringView text, const TextSpan& same) {
    return StoreInto(texts, text, same);
}

TextSpan FigureTable::StoreAscii(QByteArrayView ascii, const TextSpan& same) {
    return StoreInto(texts, QLatin1StringView(ascii.data(), ascii.size()), same);
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
    input.rows.resize(rows.size());
    const auto read = [&](size_t from, size_t to) {
        for (size_t i = from; i < to; ++i) {
            const StoredRow& r = rows[i];
            const auto text = [&](int k) { return Text(r.cells[static_cast<size_t>(k)]); };
            input.rows[i] =
                ReadRowInput(text(1), text(2), text(3), text(4), text(5), text(6), mode);
        }
    };
    // A long plan's rows are read on two processors, half each: a row's
    // input depends on its own texts alone.
    constexpr size_t kRowsForTwoThreads = 4096;
    const size_t split = rows.size() / 2;
    std::thread other;
    if (rows.size() >= kRowsForTwoThreads && std::thread::hardware_concurrency() > 1) {
        try {
            other = std::thread(read, split, rows.size());
        } catch (const std::system_error&) {  // no thread to be had
        }
    }
    read(0, other.joinable() ? split : rows.size());
    if (other.joinable()) other.join();
    if (!rows.empty()) Assign(input.firstIncrease, ReadNumber(firstIncrease));
    return input;
}

void FigureTable::Recalculate(const PlanSettings& settings) {
    ComputeFigures(Input(), settings, figures);
}

}  // namespace tovira
