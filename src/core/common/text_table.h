#pragma once
// An aligned text table for a terminal: each column as wide as its widest
// cell, wide (Chinese) characters counting two cells, columns two blanks
// apart, no blanks at the end of a line. The ledger, the report and the
// parameter search print their tables through it.

#include <QString>
#include <QStringList>
#include <QTextStream>
#include <vector>

namespace tovira {

class TextTable {
  public:
    enum class Align { Left, Right };

    // aligns[k] is column k's alignment; columns past the list are left-aligned.
    explicit TextTable(std::vector<Align> aligns = {});

    // A row may hold fewer cells than others: the missing ones are left out,
    // not padded.
    void AddRow(QStringList cells);
    // An empty line between the rows added so far and the next one.
    void AddBlankLine();

    int RowCount() const { return static_cast<int>(rows_.size()); }

    // Every line, each ending with "\n".
    QString Text() const;
    // The same, written to out one line at a time.
    void Write(QTextStream& out) const;

  private:
    struct Row {
        QStringList cells;
        bool blankBefore = false;
    };
    std::vector<int> Widths() const;
    QString Line(const Row& row, const std::vector<int>& widths) const;

    std::vector<Align> aligns_;
    std::vector<Row> rows_;
    bool blankPending_ = false;
};

}  // namespace tovira
