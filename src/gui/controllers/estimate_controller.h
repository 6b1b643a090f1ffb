#pragma once
// Real-time valuation: the 实时估值 switch, the provider box, the poll every
// 30 seconds (one request per provider at a time), the provisional row for
// today and its alerts. It keeps the previous official NAV the providers
// report, for the fund and provider it was fetched for.

#include <QDate>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>

#include "core/common/prompt.h"
#include "core/engine/recalculate.h"
#include "core/ledger/ledger_model.h"
#include "core/ledger/plan_settings.h"

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
    QComboBox* fundCodeBox = nullptr;
};

class EstimateController : public QObject {
    Q_OBJECT
  public:
    EstimateController(const EstimateWidgets& widgets, LedgerModel& ledger,
                       const PlanSettings& settings, Prompt& prompt, HttpClient& http,
                       const Config& config, std::function<Mode()> mode,
                       std::function<QDate()> today, QObject* parent);

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
    LedgerModel& ledger_;
    const PlanSettings& settings_;
    Prompt& prompt_;
    HttpClient& http_;
    const Config& config_;
    std::function<Mode()> mode_;
    std::function<QDate()> today_;
    QTimer* timer_ = nullptr;
    QString previousNav_;
    bool pending_[3] = {false, false, false};
    bool failureOpen_ = false;  // a failure message is on screen
    bool alertOpen_ = false;    // an alert is on screen
};

}  // namespace tovira
