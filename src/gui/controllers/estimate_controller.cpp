#include "gui/controllers/estimate_controller.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QStatusBar>
#include <QTimer>

#include "core/common/beijing_time.h"
#include "core/common/ledger_date.h"
#include "core/common/numbers.h"
#include "core/marketdata/estimate_record.h"
#include "core/marketdata/estimate_row.h"
#include "core/marketdata/trading_calendar.h"

namespace tovira {

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

// The status while the markets are closed: nothing is asked.
QString ClosedText() { return U("休市"); }

// The box for the first failure of a run: the cause, and what the user can do
// about it.
QString FailureBoxText(const EstimateOutcome& outcome) {
    const QString cause =
        EstimateFailureText(EstimateAttempt::Failed(outcome.failure, outcome.detail));
    QString advice;
    switch (outcome.failure) {
        case EstimateFailure::Network:
        case EstimateFailure::TimedOut:
            advice = U("请检查网络是否正常，或者更换基金公司！");
            break;
        case EstimateFailure::NoEstimate:
            advice = U("请检查代码是否正确，或者更换基金公司！");
            break;
        case EstimateFailure::Gone:
            advice = U("请更换基金公司！");
            break;
        case EstimateFailure::NoQuotesYet:
        case EstimateFailure::Stale:
        case EstimateFailure::Unreadable:
            advice = U("请稍后再试，或者更换基金公司！");
            break;
    }
    return U("无法获取估值：") + cause + U("。") + advice;
}

// What the holdings estimate was made of, for the source's tooltip.
QString HoldingsNote(const SourceEstimate& e) {
    QStringList parts;
    parts << (e.holdingsDate ? U("持仓报告期：") + e.holdingsDate->toString(Qt::ISODate)
                             : U("持仓报告期：未知"));
    if (e.stockSharePct && !e.stockShareMissing) {
        parts << U("股票占净值：") + FormatPattern(*e.stockSharePct, u"0.0") + U("%");
    } else {
        parts << U("股票占净值：未知（只计已披露持仓的涨跌，其余视为不变）");
    }
    if (e.quotedWeightPct) {
        parts << U("今日有行情的持仓占披露权重：") + FormatPattern(*e.quotedWeightPct, u"0.0") +
                     U("%");
    }
    return parts.join(u'\n');
}

}  // namespace

EstimateController::EstimateController(const EstimateWidgets& widgets, PlanSession& session,
                                       Prompt& prompt, HttpClient& http, const Config& config,
                                       QObject* parent)
    : QObject(parent), w_(widgets), session_(session), prompt_(prompt) {
    setObjectName(QStringLiteral("estimateController"));
    fetcher_ = new EstimateFetcher(http, config, session_.ProgramFolder(), this);
    ask_ = [this](const EstimateRequest& request,
                  std::function<void(const EstimateOutcome&)> done) {
        fetcher_->Fetch(request, std::move(done));
    };
    // The previous official NAV belongs to the fund it was fetched for.
    connect(&session_, &PlanSession::LedgerCodeChanged, this,
            &EstimateController::ForgetPreviousNav);
    // An estimate on its way is of the fund that was worked with.
    connect(&session_, &PlanSession::FundCodeChanged, this, [this] { StartOver(); });
    timer_ = new QTimer(this);
    timer_->setObjectName(QStringLiteral("estimateTimer"));
    timer_->setInterval(30000);
    connect(timer_, &QTimer::timeout, this, &EstimateController::Tick);
    connect(w_.liveSwitch, &QCheckBox::clicked, this, &EstimateController::OnSwitch);
    connect(w_.providerBox, qOverload<int>(&QComboBox::activated), this,
            &EstimateController::OnProviderChanged);
}

void EstimateController::SetClock(std::function<QDateTime()> now) {
    now_ = std::move(now);
    // Answers that carry no time are dated by the same clock.
    fetcher_->SetClock([this] { return Now(); });
}

void EstimateController::SetAsk(Ask ask) { ask_ = std::move(ask); }

QDateTime EstimateController::Now() const { return now_ ? ToBeijing(now_()) : BeijingNow(); }

void EstimateController::ClearShown() {
    w_.value->clear();
    w_.change->clear();
    w_.source->clear();
    w_.source->setToolTip(QString());
    shownDay_ = QDate();
}

void EstimateController::StartOver() {
    ++fetchSerial_;
    running_ = false;
    fetcher_->Cancel();
    failures_ = 0;
    ClearStatus();
}

void EstimateController::OnSwitch(bool ticked) {
    StartOver();
    if (!ticked) {
        timer_->stop();
        return;
    }
    // The timer runs outside the sessions too, so the next session's start
    // is picked up.
    timer_->start();
    const QDateTime now = Now();
    if (!IsPollingTime(now)) {
        ShowStatus(ClosedText());
        return;
    }
    // Only an estimate made today goes into today's row.
    if (!w_.value->text().isEmpty() && shownDay_ == now.date()) RunApplyEstimate();
}

void EstimateController::OnProviderChanged() {
    // Another source's previous NAV must not be mixed into this one's rows.
    previousNav_.clear();
    previousNavDate_ = QDate();
    StartOver();
    if (w_.liveSwitch->isChecked()) timer_->start();  // restarts the interval
}

std::optional<OfficialNav> EstimateController::LedgerNav(const QDate& today) const {
    const LedgerModel& ledger = session_.Ledger();
    int row = ledger.LastRow();
    // Today's provisional row is no official NAV.
    if (row >= 1 && ReadLedgerDate(ledger.Cell(row, Column::Date)) == today) --row;
    if (row < 1) return std::nullopt;
    const std::optional<QDate> date = ReadLedgerDate(ledger.Cell(row, Column::Date));
    const std::optional<double> nav = StrictNumber(ledger.Cell(row, Column::NetValue));
    if (!date || !nav || !(*nav > 0)) return std::nullopt;
    OfficialNav official;
    official.date = *date;
    official.nav = *nav;
    return official;
}

void EstimateController::Tick() {
    const QDateTime now = Now();
    if (!IsPollingTime(now)) {
        ShowStatus(ClosedText());
        return;
    }
    if (statusShown_ == ClosedText()) ClearStatus();
    if (running_) return;  // the previous fetch is still out
    const std::optional<EstimateChoice> choice =
        EstimateChoiceByCaption(w_.providerBox->currentText());
    if (!choice) return;
    const QDate today = now.date();
    // An estimate shown from an earlier day is no longer today's.
    if (shownDay_.isValid() && shownDay_ != today) ClearShown();
    EstimateRequest request;
    request.code = session_.FundCode();
    request.choice = *choice;
    request.today = today;
    request.ledgerNav = LedgerNav(today);
    running_ = true;
    const unsigned serial = ++fetchSerial_;
    ask_(request, [this, serial, today, code = request.code](const EstimateOutcome& outcome) {
        if (serial != fetchSerial_) return;  // cancelled: another fund, source or switch
        running_ = false;
        OnOutcome(outcome, today, code);
    });
}

void EstimateController::OnOutcome(const EstimateOutcome& outcome, const QDate& today,
                                   const QString& code) {
    if (outcome.estimate && IsDatedOn(*outcome.estimate, today)) {
        failures_ = 0;
        ClearStatus();
        // How close each source comes is compared later with the official NAV.
        if (!session_.ProgramFolder().isEmpty())
            EstimateRecord(session_.ProgramFolder()).Note(code, *outcome.estimate);
        ShowEstimate(*outcome.estimate, today);
        return;
    }
    // An older estimate stays out of the ledger and off the top bar: the
    // status bar says from when it is.
    const std::optional<SourceEstimate>& older =
        outcome.estimate ? outcome.estimate : outcome.stale;
    if (older && older->time.isValid()) {
        ShowStatus(U("估值为 %1 的数据")
                       .arg(ToBeijing(older->time).toString(QStringLiteral("yyyy-MM-dd HH:mm"))));
        return;
    }
    ShowFailure(outcome);
}

void EstimateController::ShowEstimate(const SourceEstimate& e, const QDate& today) {
    if (e.previousNav) {
        previousNav_ = FormatPattern(*e.previousNav, u"0.0000");
        previousNavDate_ = e.previousNavDate.value_or(QDate());
    }
    shownDay_ = today;
    const QString tip =
        e.source == EstimateSource::Holdings
            ? HoldingsNote(e)
            : EstimateSourceCaption(e.source) + U(" ") + e.time.toString(QStringLiteral("HH:mm"));
    w_.source->setText(U("· ") + EstimateSourceShortName(e.source));
    w_.source->setToolTip(tip);
    const QString value = FormatPattern(e.nav, u"0.####");
    if (w_.value->text() != value) {
        w_.value->setText(value);
        RunApplyEstimate();
    }
    w_.change->setText(FormatPattern(e.changePct, u"0.00") + QLatin1Char('%'));
}

void EstimateController::ShowFailure(const EstimateOutcome& outcome) {
    ++failures_;
    if (failures_ > 1) {
        ShowStatus(U("估值获取失败（%1次）：%2")
                       .arg(failures_)
                       .arg(EstimateFailureText(
                           EstimateAttempt::Failed(outcome.failure, outcome.detail))));
        return;
    }
    // One failure box at a time; the polling goes on meanwhile.
    if (failureOpen_) return;
    failureOpen_ = true;
    prompt_.Ask(FailureBoxText(outcome), QStringLiteral("提示"), PromptButtons::Ok,
                PromptIcon::None);
    failureOpen_ = false;
}

void EstimateController::ShowStatus(const QString& text) {
    statusShown_ = text;
    if (w_.status) w_.status->showMessage(text);
}

void EstimateController::ClearStatus() {
    // Another command's message stays.
    if (w_.status && !statusShown_.isEmpty() && w_.status->currentMessage() == statusShown_) {
        w_.status->clearMessage();
    }
    statusShown_.clear();
}

void EstimateController::RunApplyEstimate() {
    const std::optional<EstimateAlert> alert =
        ApplyEstimate(session_.Ledger(), session_.Settings(), session_.ShownMode(),
                      w_.value->text(), previousNav_, Now().date(), previousNavDate_);
    if (!alert || alertOpen_) return;
    alertOpen_ = true;
    prompt_.Inform(alert->text);
    alertOpen_ = false;
}

}  // namespace tovira
