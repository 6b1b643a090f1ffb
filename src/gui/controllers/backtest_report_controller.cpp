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

// The report's text of a figure; a unit only after a number.
QString Figure(std::optional<double> v, const char16_t* suffix = u"") {
    const QString text = ReportFigureText(v);
    if (!v || !std::isfinite(*v) || std::fabs(*v) >= kOverflowFigure) return text;
    return text + QString::fromUtf16(suffix);
}

}  // namespace

QString BacktestStatusText(const std::optional<StrategyFigures>& plan) {
    if (!plan) return {};
    QString xirr = Figure(plan->xirrPct, u"%");
    if (plan->xirrPct && !plan->xirrUnique) xirr += QStringLiteral("（多解）");
    return QStringLiteral("最高占用资金 %1  净盈亏 %2  占用资金收益率 %3  年化收益率XIRR %4")
        .arg(Figure(plan->maxCapital), Figure(plan->profit), Figure(plan->returnOnCapitalPct, u"%"),
             xirr);
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
    window_ = new BacktestReportWindow(parentWindow_, session_.ProgramFolder());
    window_->setAttribute(Qt::WA_DeleteOnClose);
    window_->ShowReport(*report);
    window_->Place(*parentWindow_->window());
    window_->show();
}

}  // namespace tovira
