#include "gui/controllers/market_data_commands.h"

#include <QAction>
#include <QMainWindow>
#include <QStatusBar>
#include <QWidget>

#include "core/engine/recalculate.h"
#include "core/marketdata/config.h"
#include "core/marketdata/fund_directory.h"
#include "core/marketdata/http_client.h"
#include "core/marketdata/nav_history.h"
#include "core/marketdata/nav_import.h"
#include "core/storage/fund_selection.h"
#include "gui/controllers/estimate_controller.h"
#include "gui/dialogs/download_progress_dialog.h"
#include "gui/dialogs/import_range_dialog.h"

namespace tovira {

MarketDataCommands::MarketDataCommands(QWidget* window, PlanSession& session,
                                       const EstimateController& estimate, Prompt& prompt,
                                       HttpClient& http, const Config& config)
    : QObject(window),
      window_(window),
      session_(session),
      estimate_(estimate),
      prompt_(prompt),
      http_(http),
      config_(config) {
    setObjectName(QStringLiteral("marketDataCommands"));
}

QAction* MarketDataCommands::Action(const char* name) const {
    return window_->findChild<QAction*>(QString::fromLatin1(name));
}

void MarketDataCommands::OnImportValue() {
    if (session_.Ledger().LastRow() > 0) {
        prompt_.Inform(QString::fromUtf8(kMsgImportOnFilled));
        return;
    }
    if (importDialog_ && importDialog_->isVisible()) {
        importDialog_->raise();
        return;
    }
    importDialog_ = new ImportRangeDialog(session_.Today(), window_);
    importDialog_->setObjectName(QStringLiteral("importRangeDialog"));
    importDialog_->setAttribute(Qt::WA_DeleteOnClose);
    importDialog_->setWindowModality(Qt::WindowModal);
    connect(importDialog_, &ImportRangeDialog::Accepted, this, &MarketDataCommands::StartImport);
    importDialog_->show();
}

void MarketDataCommands::StartImport(const QDate& start, const QDate& end) {
    const QString code = session_.FundCode();
    if (!IsFundCode(code)) {
        prompt_.Inform(QString::fromUtf8(kMsgBadFundCode));
        return;
    }
    importDialog_->SetBusy(true);
    DownloadForImport(config_.HistorySource(), code, start, end);
}

void MarketDataCommands::DownloadForImport(NavSource source, const QString& code,
                                           const QDate& start, const QDate& end) {
    // 取消 deletes the owner: the download is aborted and never reports.
    const QPointer<QObject> owner = importDialog_->RequestOwner();
    const QPointer<ImportRangeDialog> form = importDialog_;
    DownloadNavHistoryFrom(
        source, http_, config_.HistoryBaseUrl(source), code, start, end,
        [this, owner, source, code, start, end](const NavDownloadResult& result) {
            // The NAV endpoint could not be reached or answered nothing usable:
            // the trend script has every day, only without the statuses.
            if (!result.complete && source != NavSource::Trend && NavSourceUnreachable(result)) {
                const PromptAnswer answer = prompt_.Ask(QString::fromUtf8(kMsgNavOfferTrend),
                                                        QString::fromUtf8(kMsgQuestionCaption),
                                                        PromptButtons::YesNo, PromptIcon::Question);
                if (!owner) return;  // cancelled while the question was open
                if (answer == PromptAnswer::Yes) {
                    DownloadForImport(NavSource::Trend, code, start, end);
                    return;
                }
            }
            if (!result.complete) prompt_.Inform(NavFailureMessage(result));
            if (!owner) return;  // cancelled while the message was open
            // The window is modal: the ledger is still the empty one the
            // import was asked for.
            LedgerModel& ledger = session_.Ledger();
            if (ledger.LastRow() == 0) {
                const ImportOutcome out = ImportNavHistory(ledger, result.history);
                if (out.hitRowLimit) prompt_.Inform(QString::fromUtf8(kMsgRowLimit));
                if (out.added > 0 && result.withoutStatus) {
                    prompt_.Inform(QString::fromUtf8(kMsgNavFromTrend));
                }
            }
            if (importDialog_) {
                importDialog_->SetBusy(false);
                importDialog_->accept();
            }
        },
        owner, config_.ImportLimitMs(),
        [form](int pagesDone, int pages) {
            if (form) form->SetProgress(pagesDone, pages);
        });
}

void MarketDataCommands::OnAppendToToday() {
    QAction* add = Action("appendToToday");
    if (!add->isEnabled()) return;  // the previous append is still waiting
    LedgerModel& ledger = session_.Ledger();
    const int n = ledger.LastRow();
    const QDate today = session_.Today();
    const QString code = session_.FundCode();
    if (!IsFundCode(code)) {
        prompt_.Inform(QString::fromUtf8(kMsgBadFundCode));
        return;
    }
    const std::optional<QDate> last = LastRowDate(ledger);
    if (n == 0 || !last) {
        prompt_.Inform(QString::fromUtf8(kMsgNoStartDate));
        return;
    }
    add->setEnabled(false);
    const QString ledgerCode = session_.LedgerCode();
    const QString lastNav = ledger.Cell(n, Column::NetValue);
    // A range of several pages shows how far it got in the status bar.
    auto* window = qobject_cast<QMainWindow*>(window_);
    const QPointer<QStatusBar> status = window ? window->statusBar() : nullptr;
    const NavSource source = config_.HistorySource();
    DownloadNavHistoryFrom(
        source, http_, config_.HistoryBaseUrl(source), code, last->addDays(1), today,
        [this, add, n, last, ledgerCode, lastNav, status](const NavDownloadResult& result) {
            add->setEnabled(true);
            if (status) status->clearMessage();
            if (!result.complete) prompt_.Inform(NavFailureMessage(result));
            // The ledger was replaced while the request ran (another fund,
            // cleared, another plan): these days belong to none of its rows.
            LedgerModel& rows = session_.Ledger();
            if (ledgerCode != session_.LedgerCode() || rows.LastRow() < n ||
                ReadLedgerDate(rows.Cell(n, Column::Date)) != last) {
                if (result.history.contains(u'|')) {
                    prompt_.Inform(QString::fromUtf8(kMsgAppendDiscarded));
                }
                return;
            }
            // Rows added meanwhile (today's estimate row) go below the new days.
            const ImportOutcome out =
                MergeAppendedDays(rows, n, lastNav, estimate_.PreviousNav(), result.history);
            if (out.hitRowLimit) prompt_.Inform(QString::fromUtf8(kMsgRowLimit));
            Recalculate(rows, session_.Settings(), session_.ShownMode());
        },
        this, config_.ImportLimitMs(),
        [status](int pagesDone, int pages) {
            if (status && pagesDone < pages) {
                status->showMessage(
                    QStringLiteral("追加至今：已接收 %1/%2 页").arg(pagesDone).arg(pages));
            }
        });
}

void MarketDataCommands::OnUpdateDirectory() {
    QAction* action = Action("updateFundDirectory");
    if (!action->isEnabled()) return;
    action->setEnabled(false);
    auto* progress = new DownloadProgressDialog(QStringLiteral("更新基金"),
                                                QStringLiteral("正在更新基金目录…"), window_);
    progress->setObjectName(QStringLiteral("directoryProgress"));
    progress->setAttribute(Qt::WA_DeleteOnClose);
    // 取消 (Esc, closing the window) aborts the download: FundCode.ini stays
    // as it was and nothing is reported.
    connect(progress, &QDialog::rejected, action, [action] { action->setEnabled(true); });
    const QPointer<DownloadProgressDialog> shown = progress;
    QObject* owner = progress->RequestOwner();
    progress->show();
    DownloadFundDirectory(
        http_, config_.BaseUrl(Endpoint::FundDirectory), session_.ProgramFolder(),
        [this, action, shown](DirectoryResult result) {
            if (shown) shown->accept();
            action->setEnabled(true);
            switch (result) {
                case DirectoryResult::Updated:
                    prompt_.Inform(QString::fromUtf8(kMsgDirectoryUpdated));
                    break;
                case DirectoryResult::Failed:
                    prompt_.Inform(QString::fromUtf8(kMsgDirectoryFailed));
                    break;
                case DirectoryResult::TimedOut:
                    prompt_.Inform(QString::fromUtf8(kMsgDirectoryTimedOut));
                    break;
            }
            emit DirectoryUpdated();
        },
        owner,
        [shown](qint64 received, qint64 total) {
            if (shown) shown->SetBytes(received, total);
        });
}

}  // namespace tovira
