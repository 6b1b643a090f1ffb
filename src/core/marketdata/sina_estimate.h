#pragma once
// Sina's fund estimate (新浪基金): one fund's running estimate, as JSONP. It
// answers for actively managed funds too.

#include <QByteArray>
#include <QString>

#include "core/marketdata/live_estimate.h"

namespace tovira {

inline constexpr char kSinaEstimateHost[] = "https://stock.finance.sina.com.cn";

// base + "/fundInfo/api/openapi.php/FdFundService.getEstimateNetworthPic?symbol=CODE&callback=NAME"
QString SinaEstimateUrl(const QString& base, const QString& code, const QString& callback);

// The answer is a script comment ("/*<script>…</script>*/") and then
// NAME({"result":{"status":{"code":0},"data":{"networth":[{…}]}}}), an
// optional ';' after it. The call must be closed and its argument one whole
// JSON object, else Unreadable; a status code other than 0 is the source
// refusing (NoEstimate with the code); networth null or [] is NoEstimate.
//
// The fund's entry gives symbol, pre_date, min_time, pre_nav, growthrate
// (and pre_nav2/growthrate2, a second method's, not used). Read as Sina
// computes them: growthrate is the change as a fraction, and pre_nav is the
// ESTIMATED NAV it gives, not the previous official one: pre_nav ÷ (1 +
// growthrate) comes back to the previous official NAV exactly (1.4460 and
// 0.000692 for a fund whose NAV was 1.445), and pre_nav2 goes with
// growthrate2 in the same way. So the estimate is pre_nav, the change
// growthrate × 100, the previous NAV pre_nav ÷ (1 + growthrate) to four
// decimals (its date is not in the answer), and the time pre_date at
// min_time: pre_date is the day estimated. An answer from an earlier day
// keeps its own pre_date, which IsDatedOn tells from today's.
//
// Numbers may come as JSON numbers or as number texts (the source mixes
// them); null ones are NoEstimate. A missing or malformed field, a
// growthrate of ±100 % or more (a percentage where a fraction belongs), or
// an entry for another fund is Unreadable.
EstimateAttempt ReadSinaEstimate(const QByteArray& body, const QString& code);

}  // namespace tovira
