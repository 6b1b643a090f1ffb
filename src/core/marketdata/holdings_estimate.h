#pragma once
// The holdings estimate (持仓估算): today's change of a fund worked out from
// its disclosed top stock holdings and their quotes, for funds no source
// estimates any more.
//
//   change % = stock share × Σ(weight × change) ÷ Σ(weight) ÷ 100
//
// over the holdings quoted today (weights and the stock share in percent of
// NAV). Without a stock share the change is Σ(weight × change) ÷ 100: what the
// quoted stocks alone moved the NAV, the rest taken as unchanged. Holdings and
// stock share change once a quarter; they are fetched once per fund and day
// and kept in a small cache file (below).

#include <QDate>
#include <QString>
#include <optional>
#include <vector>

#include "core/marketdata/fund_holdings.h"
#include "core/marketdata/live_estimate.h"
#include "core/marketdata/stock_quotes.h"

namespace tovira {

// The sources' default base URLs (Config.ini may name others).
inline constexpr char kFundPositionBaseUrl[] = "https://fundmobapi.eastmoney.com";
inline constexpr char kHoldingsPageBaseUrl[] = "https://fundf10.eastmoney.com";
inline constexpr char kFundDataScriptBaseUrl[] = "https://fund.eastmoney.com";
inline constexpr char kQuoteBatchBaseUrl[] = "https://push2.eastmoney.com";
inline constexpr char kTextQuoteBaseUrl[] = "https://qt.gtimg.cn";

// Below this share of the disclosed weight quoted today, no estimate.
inline constexpr double kLeastQuotedWeightPct = 70;

// The fund's stock share of NAV in its latest report.
struct StockShare {
    double pct = 0;
    QDate reportDate;  // invalid when the script gives no dates
};

// The stock share from the fund data script (the one FundTrendScriptUrl
// names): the last element of series 股票占净比 in Data_assetAllocation, its
// report date the last of categories. Nothing when the script has no such
// series, the object is cut off or malformed, or the last value is not a
// number from 0 to 200.
std::optional<StockShare> ParseStockShare(const QString& script);

// The last official NAV the estimate starts from: the batch estimate's NAV
// with its date, or the ledger's last official row.
struct OfficialNav {
    double nav = 0;
    QDate date;
};

// The estimate from the holdings, the stock share (none when unknown: see
// above; the result then has stockShareMissing set) and the quotes of the
// batch. A quote counts when its time is on `today` (Beijing date) and its
// market, when it gives one, is the holding's. NoEstimate without holdings
// or without an official NAV before today; NoQuotesYet when less than
// kLeastQuotedWeightPct of the disclosed weight has a quote from today
// (before the open, on a holiday). The result's time is the latest quote
// time used.
EstimateAttempt EstimateFromHoldings(const FundHoldings& holdings,
                                     const std::optional<StockShare>& stockShare,
                                     const std::vector<StockQuote>& quotes,
                                     const OfficialNav& official, const QDate& today);

// ---- the per-day cache ----
//
// One small JSON file per fund, <programFolder>/data/holdings/CODE.json:
//   {"format":1,"code":"005827","day":"2026-07-27",
//    "holdings":{"reportDate":"2025-12-31","stocks":[{"code","name","weightPct","market"}]},
//    "stockShare":{"pct":94.09,"reportDate":"2025-12-31"} | null}
// written atomically (the program's one writer), so a crash leaves the old
// file or the new one. It is read back only on the day it was written
// (Beijing date) and only when whole and well-formed; anything else is
// ignored, and the next write replaces it. A stockShare of null records that
// the script had none that day; a caller whose script request failed should
// not write the day's file.

struct HoldingsSnapshot {
    FundHoldings holdings;
    std::optional<StockShare> stockShare;
};

// Where the fund's cache file lives; empty for a code that is not 1 to 12
// letters or digits (a code never becomes a path of its own).
QString HoldingsCachePath(const QString& programFolder, const QString& code);
// The snapshot written on `today` for the fund, or nothing.
std::optional<HoldingsSnapshot> ReadHoldingsCache(const QString& programFolder, const QString& code,
                                                  const QDate& today);
// Writes the day's snapshot, creating the folder; false when it could not be
// written (the old file, if any, stays as it was).
bool WriteHoldingsCache(const QString& programFolder, const QString& code, const QDate& today,
                        const HoldingsSnapshot& snapshot);

}  // namespace tovira
