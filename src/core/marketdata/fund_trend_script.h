#pragma once
// The provider's trend script of a fund ("/pingzhongdata/CODE.js"): every
// published day of the fund in one answer, with its unit NAV, daily change
// and dividend or conversion, but no purchase or redemption status. The
// last resort when the NAV history endpoint cannot be reached.

#include <QDate>
#include <QString>
#include <QUrl>

#include "core/marketdata/nav_history.h"

namespace tovira {

// baseUrl + "/pingzhongdata/" + code + ".js"
QUrl FundTrendScriptUrl(const QString& baseUrl, const QString& code);

// The days of start..end (both included) as one page of the NAV history:
// records oldest first with empty status fields, record 0 the change of the
// oldest day taken. failure names why the script is unusable (a money fund,
// a script without the trend, a malformed one, a day that is not a date or
// NAV); a range without any day gives NoDays.
NavPage ParseFundTrendScript(const QString& script, const QDate& start, const QDate& end);

}  // namespace tovira
