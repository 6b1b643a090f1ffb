#include "core/common/text_table.h"

#include <algorithm>
#include <utility>

#include "core/common/display_width.h"

namespace tovira {

TextTable::TextTable(std::vector<Align> aligns) : aligns_(std::move(aligns)) {}

void TextTable::AddRow(QStringList cells) {
    rows_.push_back({std::move(cells), blankPending_});
    blankPending_ = false;
}

void TextTable::AddBlankLine() { blankPending_ = true; }

std::vector<int> TextTable::Widths() const {
    std::vector<int> widths;
    for (const Row& row : rows_) {
        if (widths.size() < static_cast<size_t>(row.cells.size())) {
            widths.resize(static_cast<size_t>(row.cells.size()), 0);
        }
        for (qsizetype k = 0; k < row.cells.size(); ++k) {
            int& w = widths[static_cast<size_t>(k)];
            w = std::max(w, DisplayWidth(row.cells[k]));
        }
    }
    return widths;
}

QString TextTable::Line(const Row& row, const std::vector<int>& widths) const {
    QString line;
    if (row.blankBefore) line += u'\n';
    for (qsizetype k = 0; k < row.cells.size(); ++k) {
        if (k > 0) line += QStringLiteral("  ");
        const size_t column = static_cast<size_t>(k);
        const bool right = column < aligns_.size() && aligns_[column] == Align::Right;
        line +=
            right ? PadLeft(row.cells[k], widths[column]) : PadRight(row.cells[k], widths[column]);
    }
    while (line.endsWith(u' ')) line.chop(1);
    line += u'\n';
    return line;
}

QString TextTable::Text() const {
    const std::vector<int> widths = Widths();
    QString text;
    for (const Row& row : rows_) text += Line(row, widths);
    return text;
}

void TextTable::Write(QTextStream& out) const {
    const std::vector<int> widths = Widths();
    for (const Row& row : rows_) out << Line(row, widths);
}

}  // namespace tovira
