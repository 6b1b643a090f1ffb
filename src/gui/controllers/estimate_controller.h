#pragma once
// Real-time valuation: the 实时估值 switch, the source box (自动 or one
// source), the poll every 30 seconds during the trading sessions (one fetch
// at a time), the provisional row for today and its alerts, the source shown
// beside the value, and the failures: a box for the first of a run, the
// status bar for the rest. It keeps the previous official NAV the sources
// report, for the fund it was fetched for.

#include <QDateTime>
#include <QObject>
#include <QString>
#include <functional>
#include <optional>

#include "core/common/prompt.h"
#include "core/marketdata/estimate_fetcher.h"
#include "core/session/plan_session.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QStatusBar;
class QTimer;

namespace tovira {

class Config;
class HttpClient;

struct EstimateWidgets {
    QCheckBox* liveSwitch = nullptr;  // 实时估值
    QComboBox* providerBox = nullptr;
    QLabel* value = nullptr;   // 估值
    QLabel* source = nullptr;  // the source of the value shown ("· 新浪")
    QLabel* change = nullptr;  // 涨幅
    QStatusBar* status = nullptr;
};

class EstimateController : public QObject {
    Q_OBJECT
  public:
    // Asks for today's estimate and calls done once with the outcome, unless
    // the ask is cancelled first.
    using Ask = std::function<void(const EstimateRequest&,
                                   std::function<void(const EstimateOutcome&)> done)>;

    // The estimates are those of the session's fund code; today's row goes
    // into its ledger.
    EstimateController(const EstimateWidgets& widgets, PlanSession& session, Prompt& prompt,
                       HttpClient& http, const Config& config, QObject* parent);

    // The previous official NAV of the shown fund; empty when none is known.
    const QString& PreviousNav() const { return previousNav_; }
    // The ledger now belongs to another fund: its estimate figures go.
    void ForgetPreviousNav() {
        previousNav_.clear();
        previousNavDate_ = QDate();
    }
    // A new fund was picked: the shown estimate is another fund's.
    void ClearShown();

    // The clock the polling reads (Beijing time); BeijingNow unless set.
    void SetClock(std::function<QDateTime()> now);
    // Asks through `ask` instead of the sources (a stand-in for tests).
    void SetAsk(Ask ask);

    void OnSwitch(bool ticked);
    void OnProviderChanged();
    void Tick();

  private:
    QDateTime Now() const;
    std::optional<OfficialNav> LedgerNav(const QDate& today) const;
    // Drops the running fetch (its answer is ignored) and ends a run of
    // failures: the source, the fund or the switch changed.
    void StartOver();
    void OnOutcome(const EstimateOutcome& outcome, const QDate& today, const QString& code);
    void ShowEstimate(const SourceEstimate& estimate, const QDate& today);
    void ShowFailure(const EstimateOutcome& outcome);
    void ShowStatus(const QString& text);
    void ClearStatus();
    void RunApplyEstimate();

    EstimateWidgets w_;
    PlanSession& session_;
    Prompt& prompt_;
    EstimateFetcher* fetcher_ = nullptr;
    Ask ask_;
    std::function<QDateTime()> now_;
    QTimer* timer_ = nullptr;
    QString previousNav_;
    QDate previousNavDate_;     // its day, when the source names it
    QDate shownDay_;            // the Beijing date of the estimate shown
    bool running_ = false;      // a fetch is out
    unsigned fetchSerial_ = 0;  // answers of an older fetch are dropped
    int failures_ = 0;          // failed ticks in a row
    QString statusShown_;       // what this controller last put in the status bar
    bool failureOpen_ = false;  // a failure message is on screen
    bool alertOpen_ = false;    // an alert is on screen
};

}  // namespace tovira
