#pragma once
// The back-test figures in the window: the status bar's line of the plan's
// own figures, and the report window of 高级 › 回测报告. Both follow every
// recalculation of the ledger, whichever command ran it: changes of the
// ledger are gathered for a moment and then looked at once, so a pass over
// thousands of rows is reported one time.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <optional>

#include "core/common/prompt.h"
#include "core/report/backtest_report.h"
#include "core/session/plan_session.h"

class QLabel;
class QStatusBar;
class QWidget;

namespace tovira {

class BacktestReportWindow;

// "最高占用资金 …  净盈亏 …  占用资金收益率 …%  年化收益率XIRR …%", in the
// report's words and texts ("—", "溢出", "（多解）"); empty without figures.
QString BacktestStatusText(const std::optional<StrategyFigures>& plan);

class BacktestReportController : public QObject {
    Q_OBJECT
  public:
    // The status line goes into bar; window is the report window's parent.
    // The report is of the session's plan in the mode shown.
    BacktestReportController(QWidget* window, QStatusBar* bar, const PlanSession& session,
                             Prompt& prompt, QObject* parent = nullptr);

    // 回测报告: opens the report window, or raises the one open. An empty
    // ledger gets "请导入净值！" and no window.
    void OpenReport();
    // The report window while it is open (a closed one is on its way out).
    BacktestReportWindow* ReportWindow() const;
    // Brings the status line and an open report up to date at once.
    void UpdateNow();

  private:
    QWidget* parentWindow_;
    const PlanSession& session_;
    Prompt& prompt_;
    QLabel* status_ = nullptr;
    QTimer pending_;
    QPointer<BacktestReportWindow> window_;
};

}  // namespace tovira
