#pragma once
// The back-test report window (高级 › 回测报告): the table of the three
// strategies' figures and the chart of their profit over time. It shows a
// report it is given; BacktestReportController keeps it up to date.

#include <QWidget>

#include "core/report/backtest_report.h"

class QLabel;
class QTableWidget;

namespace tovira {

class ProfitChart;

class BacktestReportWindow : public QWidget {
    Q_OBJECT
  public:
    explicit BacktestReportWindow(QWidget* parent = nullptr);

    void ShowReport(const BacktestReport& report);

    QTableWidget* Table() const { return table_; }
    ProfitChart* Chart() const { return chart_; }

  private:
    QLabel* heading_ = nullptr;
    QTableWidget* table_ = nullptr;
    ProfitChart* chart_ = nullptr;
};

}  // namespace tovira
