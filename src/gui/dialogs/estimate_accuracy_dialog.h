#pragma once
// 高级 › 估值准确度: how close each source's estimates of the fund came to
// its official NAVs. One row per source (days compared, mean and largest
// error in percentage points, days still to check) and, below, the last
// days of the chosen source.

#include <QDialog>
#include <vector>

#include "core/marketdata/estimate_record.h"

class QLabel;
class QTableWidget;

namespace tovira {

class PlanSession;

class EstimateAccuracyDialog : public QDialog {
    Q_OBJECT
  public:
    explicit EstimateAccuracyDialog(QWidget* parent = nullptr);

    // The comparison for the fund; note, when not empty, is said above the
    // tables (a damaged record). No source: the empty record's sentence.
    void ShowAccuracy(const QString& code, const std::vector<SourceAccuracy>& sources,
                      const QString& note = QString());
    // Nothing to show but why (a record that cannot be read).
    void ShowProblem(const QString& code, const QString& text);

    QTableWidget* Sources() const { return sources_; }
    QTableWidget* Days() const { return days_; }
    QLabel* Message() const { return message_; }

  private:
    void ShowDaysOf(int row);

    QLabel* heading_ = nullptr;
    QLabel* message_ = nullptr;
    QTableWidget* sources_ = nullptr;
    QLabel* daysHeading_ = nullptr;
    QTableWidget* days_ = nullptr;
    std::vector<SourceAccuracy> shown_;
};

// Opens the dialog (or brings the open one forward) for the fund the session
// works with: its record against the ledger's rows when they are that fund's,
// else against its plan file in the plan folder.
void ShowEstimateAccuracy(QWidget* parent, const PlanSession& session);

}  // namespace tovira
