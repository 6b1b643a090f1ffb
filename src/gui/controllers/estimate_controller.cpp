#include "gui/controllers/estimate_controller.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QTimer>
#include <QUrl>

#include "core/common/random_number.h"
#include "core/marketdata/config.h"
#include "core/marketdata/estimate.h"
#include "core/marketdata/estimate_row.h"
#include "core/marketdata/http_client.h"
#include "core/storage/edit_file.h"

namespace tovira {

EstimateController::EstimateController(const EstimateWidgets& widgets, PlanSession& session,
                                       Prompt& prompt, HttpClient& http, const Config& config,
                                       QObject* parent)
    : QObject(parent),
      w_(widgets),
      session_(session),
      prompt_(prompt),
      http_(http),
      config_(config) {
    setObjectName(QStringLiteral("estimateController"));
    // The previous official NAV belongs to the fund it was fetched for.
    connect(&session_, &PlanSession::LedgerCodeChanged, this,
            &EstimateController::ForgetPreviousNav);
    timer_ = new QTimer(this);
    timer_->setObjectName(QStringLiteral("estimateTimer"));
    timer_->setInterval(30000);
    connect(timer_, &QTimer::timeout, this, &EstimateController::Tick);
    connect(w_.liveSwitch, &QCheckBox::clicked, this, &EstimateController::OnSwitch);
    connect(w_.providerBox, qOverload<int>(&QComboBox::activated), this,
            &EstimateController::OnProviderChanged);
}

void EstimateController::ClearShown() {
    w_.value->clear();
    w_.change->clear();
}

void EstimateController::OnSwitch(bool ticked) {
    if (ticked) {
        timer_->start();
        if (!w_.value->text().isEmpty()) RunApplyEstimate();
    } else {
        timer_->stop();
    }
}

void EstimateController::OnProviderChanged() {
    // Another provider's previous NAV must not be mixed into this one's rows.
    previousNav_.clear();
    if (w_.liveSwitch->isChecked()) timer_->start();  // restarts the interval
}

void EstimateController::Tick() {
    const std::optional<EstimateProvider> provider = ProviderByName(w_.providerBox->currentText());
    if (!provider) return;
    const int slot = static_cast<int>(*provider);
    if (pending_[slot]) return;  // the previous request is still out
    const QString code = session_.FundCode();
    const QString url = EstimateUrl(config_, *provider, code, [] {
        return static_cast<long long>(RandomInteger(100000000, 999999999));
    });
    pending_[slot] = true;
    http_.Get(
        QUrl(url, QUrl::TolerantMode),
        [this, slot, provider, code](const HttpResponse& response) {
            pending_[slot] = false;
            if (!response.ok) {
                ShowFailure(QString::fromUtf8(response.timedOut ? kMsgEstimateTimedOut
                                                                : kMsgEstimateFailed));
                return;
            }
            // An error page is no estimate, whatever figures it holds.
            if (response.status < 200 || response.status > 299) {
                ShowFailure(QString::fromUtf8(kMsgEstimateFailed));
                return;
            }
            const std::optional<Estimate> estimate = ParseEstimate(*provider, response.text);
            if (!estimate) {
                ShowFailure(QString::fromUtf8(kMsgEstimateFailed));
                return;
            }
            // An answer for a fund or provider no longer shown is dropped.
            if (code != session_.FundCode() ||
                ProviderByName(w_.providerBox->currentText()) != provider) {
                return;
            }
            if (estimate->previousNav) previousNav_ = *estimate->previousNav;
            if (w_.value->text() != estimate->value) {
                w_.value->setText(estimate->value);
                RunApplyEstimate();
            }
            w_.change->setText(estimate->change);
        },
        this);
}

void EstimateController::ShowFailure(const QString& text) {
    // One failure box at a time; the polling goes on meanwhile.
    if (failureOpen_) return;
    failureOpen_ = true;
    prompt_.Ask(text, QStringLiteral("提示"), PromptButtons::Ok, PromptIcon::None);
    failureOpen_ = false;
}

void EstimateController::RunApplyEstimate() {
    const std::optional<EstimateAlert> alert =
        ApplyEstimate(session_.Ledger(), session_.Settings(), session_.ShownMode(),
                      w_.value->text(), previousNav_, session_.Today());
    if (!alert || alertOpen_) return;
    alertOpen_ = true;
    prompt_.Inform(alert->text);
    alertOpen_ = false;
}

}  // namespace tovira
