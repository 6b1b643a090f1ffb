#pragma once
// A fund's disclosed top stock holdings, the ground of the holdings estimate:
// read from the mobile API's position answer (FundMNInverstPosition) or, when
// that fails, from the archive page's holdings table (jjcc). Both are
// published about a quarter late; the report date says which quarter.

#include <QDate>
#include <QString>
#include <QUrl>
#include <vector>

#include "core/marketdata/http_client.h"
#include "core/marketdata/live_estimate.h"

namespace tovira {

// One disclosed stock.
struct Holding {
    QString code;          // as the exchange writes it: "600519", "00700", "NVDA"
    QString name;          // may be empty
    double weightPct = 0;  // share of the fund's NAV, in percent
    QString market;        // the quote market ("1", "0", "116", "105", ...); empty when unknown
};

struct FundHoldings {
    QDate reportDate;  // the date the holdings were disclosed for
    std::vector<Holding> stocks;
};

// What reading one holdings answer came to: the holdings, or a named failure
// with the words that explain it.
struct HoldingsReading {
    std::optional<FundHoldings> holdings;
    EstimateFailure failure = EstimateFailure::Unreadable;
    QString detail;
};

// The quote market of a stock code by its form: "1" Shanghai (6, 5, 9 but
// not 92), "0" Shenzhen and Beijing (0, 3, 1, 4, 8, 92), "116" Hong Kong
// (five digits). Empty for anything else (a US ticker names no exchange).
QString QuoteMarketOfCode(const QString& code);

// baseUrl + "/FundMNewApi/FundMNInverstPosition?FCODE=" + code +
// "&deviceid=Wap&plat=WAP&product=EFund&version=2.0.0"
QUrl FundPositionUrl(const QString& baseUrl, const QString& code);
// {"Datas":{"fundStocks":[{"GPDM","GPJC","JZBL","NEWTEXCH"},...]},"ErrCode":0,
// "Expansion":"yyyy-MM-dd"}. NoEstimate when the answer names an error or no
// stock at all (a bond or money fund); Unreadable for any other shape, a
// report date that is not a date, or a stock without code or a weight
// from 0 to 100 (the weights of the others alone would skew the mean).
HoldingsReading ParseFundPosition(const QString& body);

// baseUrl + "/FundArchivesDatas.aspx?type=jjcc&code=" + code + "&topline=10&year=&month="
QUrl HoldingsPageUrl(const QString& baseUrl, const QString& code);
// The page answers only what looks like its own site's script asking:
// Referer https://fundf10.eastmoney.com/ccmx_CODE.html and
// X-Requested-With: XMLHttpRequest.
HttpHeaders HoldingsPageHeaders(const QString& code);
// var apidata={ content:"<one table per quarter, newest first>", arryear:[...],
// curyear:N}; (blanks vary). Reads the newest quarter's table: columns found
// by their headings (股票代码, 股票名称, 占净值比例), the report date from
// the quarter's heading (截止至 yyyy-MM-dd), the market from the row's quote
// link or else from the code. NoEstimate for a page without any table;
// Unreadable when the content or the table is cut off, a heading or the date
// is missing, or a row lacks its code or weight.
HoldingsReading ParseHoldingsPage(const QString& body);

}  // namespace tovira
