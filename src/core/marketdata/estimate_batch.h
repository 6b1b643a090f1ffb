#pragma once
// The fund portal's batch valuation (FundValuationLast): the last estimate
// and the last official NAV of several funds in one answer. The portal
// publishes estimates there only for index, ETF-feeder and LOF funds; the
// actively managed ones come back with their NAV and no estimate.

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

#include "core/marketdata/live_estimate.h"

namespace tovira {

inline constexpr char kValuationBatchHost[] = "https://fundcomapi.tiantianfunds.com";
// The same service under the portal's other name, for when the first fails.
inline constexpr char kValuationBatchBackupHost[] = "https://fundcomapi.eastmoney.com";

// base +
// "/mm/newCore/FundValuationLast?FCODES=a,b&FIELDS=FCODE,SHORTNAME,GSZZL,GZTIME,GSZ,NAV,PDATE"
QString ValuationBatchUrl(const QString& base, const QStringList& codes);

// One fund of the answer. A field the answer leaves out or gives as null is
// empty here.
struct ValuationRow {
    QString code;                       // FCODE
    QString name;                       // SHORTNAME
    std::optional<double> nav;          // NAV: the last official NAV
    std::optional<QDate> navDate;       // PDATE: its date
    std::optional<double> estimateNav;  // GSZ
    std::optional<double> changePct;    // GSZZL, in percent
    QDateTime estimateTime;             // GZTIME, Beijing time
    // The first field this row gives in a shape the portal does not send
    // (a number as text, a NAV that is not positive, a malformed date): the
    // row's figures are then not to be trusted. Empty when all is well.
    QString problem;
};

// The funds of a whole answer, or why there are none.
struct ValuationBatch {
    QList<ValuationRow> rows;  // in the answer's order
    std::optional<EstimateAttempt> failure;
};

// The envelope is {"data":[...],"errorCode":0,"success":true}. A non-zero
// errorCode or success:false is the portal refusing (NoEstimate with its
// words); a body that is not one whole JSON object, a data that is neither
// an array nor null, or a row without its FCODE is Unreadable. data:null and
// an empty array are an answer without funds.
ValuationBatch ReadValuationRows(const QByteArray& body);

// The estimate of one fund from a row. GSZ, GSZZL and GZTIME all empty:
// NoEstimate. Otherwise the time and the change or the NAV are needed: the
// estimated NAV is GSZ, or, without it, NAV × (1 + GSZZL ÷ 100); the change
// is GSZZL, or, without it, GSZ ÷ NAV − 1. A row that lacks what both ways
// need (answers that asked for fewer FIELDS give only GSZZL and GZTIME) is
// Unreadable naming the field. The estimate is not checked against today:
// after the close the portal keeps the last one (see IsDatedOn).
EstimateAttempt EstimateFromValuationRow(const ValuationRow& row);

// The estimate of one fund from a whole answer; a code the answer leaves
// out has no estimate (NoEstimate).
EstimateAttempt ReadValuationBatch(const QByteArray& body, const QString& code);

}  // namespace tovira
