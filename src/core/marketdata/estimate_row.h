#pragma once
// A fresh estimate in the ledger: the provisional row for today, the previous
// official NAV in the row before, the recalculation, and the take-profit and
// moving-average break alerts.

#include <QDate>
#include <QString>
#include <optional>

#include "core/engine/recalculate.h"
#include "core/ledger/ledger_model.h"
#include "core/ledger/plan_settings.h"

namespace tovira {

enum class AlertKind { TakeProfit, Break };
struct EstimateAlert {
    AlertKind kind;
    QString text;
};

// Writes the estimate into the ledger as the three cases of today's row say,
// recalculates, and returns the alert that is due, if any. previousNav empty
// means none is known. today gives the date and the weekday.
//
// previousNavDate, when the source names it, is the day of the official NAV:
// it goes only into a row of that day. A ledger some days behind keeps its
// last official NAV instead of taking a later day's.
std::optional<EstimateAlert> ApplyEstimate(LedgerModel& ledger, const PlanSettings& settings,
                                           Mode mode, const QString& estimateValue,
                                           const QString& previousNav, const QDate& today,
                                           const QDate& previousNavDate = QDate());

}  // namespace tovira
