#pragma once
// 10jqka's estimate chart (爱基金): the day's curve of a fund's estimate,
// point by point, as one script variable.

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

#include "core/marketdata/live_estimate.h"

namespace tovira {

inline constexpr char kJqkaChartHost[] = "https://gz-fund.10jqka.com.cn";

// base + "/?module=api&controller=index&action=chart&info=vm_fd_CODE&start=0930"
QString JqkaChartUrl(const QString& base, const QString& code);

// One point of the day's curve.
struct EstimatePoint {
    QDateTime time;  // Beijing time
    double nav = 0;  // the estimated NAV then
};

struct JqkaChart {
    QList<EstimatePoint> points;  // in the answer's order; empty on any failure
    EstimateAttempt latest;       // the last point as an estimate, or why none
};

// vm_fd_X='PREVDATE;SESSIONS|TODAY~PREVNAV~HHMM,EST,PREVNAV,X;HHMM,EST,…'
// with ';' optional after the last point and after the closing quote. X is
// the source's name of the fund, which some callers resolve first: it is not
// checked against the code asked for.
//
// The latest point is the estimate: change = EST ÷ PREVNAV − 1 in percent,
// time TODAY at its HHMM, previous NAV PREVNAV on PREVDATE. An empty text
// between the quotes or a day without points is NoEstimate. A quote not
// closed, a missing part, a date, time or number that does not read, or a
// NAV that is not positive is Unreadable: the whole answer is then refused
// rather than a curve shown with points left out.
JqkaChart ReadJqkaChart(const QByteArray& body);

}  // namespace tovira
