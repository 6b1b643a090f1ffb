#include "gui/controllers/backtest_report_controller.h"

#include <QLabel>
#include <QStatusBar>
#include <cmath>

#include "core/common/messages.h"
#include "core/common/numbers.h"
#include "gui/dialogs/backtest_report_window.h"

namespace tovira {
namespace {

// Long enough to gather the changes of one command, short enough to look
// immediate.
constexpr int kGatherMs = 40;

QString Figure(std::optional<double> v, const char16_t* suffix = u"") {
    if (!v || !std::isfinite(*v)) return QStringLiteral("—");
    return FormatPattern(*v, u"0.00") + QString::fromUtf16(suffix);
}

}  // namespace

QString BacktestStatusText(const std::optional<StrategyFigures>& plan) {
    if (!plan) return {};
    return QStringLiteral("投入峰值 %1  盈亏 %2  资金收益率 %3  年化(XIRR) %4")
        .arg(Figure(plan->maxCapital), Figure(plan->profit), Figure(plan->returnOnCapitalPct, u"%"),
             Figure(plan->xirrPct, u"%"));
}

BacktestReportController::BacktestReportController(QWidget* window, QStatusBar* bar,
                                                   const PlanSession& session, Prompt& prompt,
                                                   QObject* parent)
    : QObject(parent), parentWindow_(window), session_(session), prompt_(prompt) {
    status_ = new QLabel(bar);
    status_->setObjectName(QStringLiteral("backtestStatus"));
    bar->addWidget(status_, 1);

    pending_.setSingleShot(true);
    pending_.setInterval(kGatherMs);
    connect(&pending_, &QTimer::timeout, this, &BacktestReportController::UpdateNow);
    auto changed = [this] { pending_.start(); };
    const LedgerModel* ledger = &session_.Ledger();
    connect(ledger, &QAbstractItemModel::dataChanged, this, changed);
    connect(ledger, &QAbstractItemModel::modelReset, this, changed);
    connect(ledger, &QAbstractItemModel::rowsInserted, this, changed);
    connect(ledger, &QAbstractItemModel::rowsRemoved, this, changed);
    connect(ledger, &QAbstractItemModel::layoutChanged, this, changed);
    UpdateNow();
}

BacktestReportWindow* BacktestReportController::ReportWindow() const {
    return window_ && window_->isVisible() ? window_.data() : nullptr;
}

void BacktestReportController::UpdateNow() {
    pending_.stop();
    status_->setText(BacktestStatusText(PlanFiguresOnly(session_.Ledger(), session_.Settings())));
    if (!ReportWindow()) return;
    if (const std::optional<BacktestReport> report =
            BuildBacktestReport(session_.Ledger(), session_.Settings(), session_.ShownMode())) {
        window_->ShowReport(*report);
    } else {
        window_->close();  // the rows are gone: nothing left to report
    }
}

void BacktestReportController::OpenReport() {
    if (ReportWindow()) {
        window_->showNormal();
        window_->raise();
        window_->activateWindow();
        return;
    }
    const std::optional<BacktestReport> report =
        BuildBacktestReport(session_.Ledger(), session_.Settings(), session_.ShownMode());
    if (!report) {
        prompt_.Inform(QString::fromUtf8(kMsgImportFirst));
        return;
    }
    window_ = new BacktestReportWindow(parentWindow_);
    window_->setAttribute(Qt::WA_DeleteOnClose);
    window_->ShowReport(*report);
    window_->show();
}

}  // namespace tovira
