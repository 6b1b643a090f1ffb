#pragma once
// Real-time valuation: the 实时估值 switch, the provider box, the poll every
// 30 seconds (one request per provider at a time), the provisional row for
// today and its alerts. It keeps the previous official NAV the providers
// report, for the fund and provider it was fetched for.

#include <QObject>
#include <QString>

#include "core/common/prompt.h"
#include "core/session/plan_session.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QTimer;

namespace tovira {

class Config;
class HttpClient;

struct EstimateWidgets {
    QCheckBox* liveSwitch = nullptr;  // 实时估值
    QComboBox* providerBox = nullptr;
    QLabel* value = nullptr;   // 估值
    QLabel* change = nullptr;  // 涨幅
};

class EstimateController : public QObject {
    Q_OBJECT
  public:
    // The estimates are those of the session's fund code; today's row goes
    // into its ledger.
    EstimateController(const EstimateWidgets& widgets, PlanSession& session, Prompt& prompt,
                       HttpClient& http, const Config& config, QObject* parent);

    // The previous official NAV of the shown fund and provider; empty when
    // none is known.
    const QString& PreviousNav() const { return previousNav_; }
    // The ledger now belongs to another fund: its estimate figures go.
    void ForgetPreviousNav() { previousNav_.clear(); }
    // A new fund was picked: the shown estimate is another fund's.
    void ClearShown();

    void OnSwitch(bool ticked);
    void OnProviderChanged();
    void Tick();

  private:
    void RunApplyEstimate();
    void ShowFailure(const QString& text);

    EstimateWidgets w_;
    PlanSession& session_;
    Prompt& prompt_;
    HttpClient& http_;
    const Config& config_;
    QTimer* timer_ = nullptr;
    QString previousNav_;
    bool pending_[3] = {false, false, false};
    bool failureOpen_ = false;  // a failure message is on screen
    bool alertOpen_ = false;    // an alert is on screen
};

}  // namespace tovira
