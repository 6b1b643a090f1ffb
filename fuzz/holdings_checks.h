#pragma once
// What every holdings and quote reading must hold, whatever the answer: the
// fuzz targets trap when it does not.

#include <QByteArray>
#include <QDate>
#include <cmath>

#include "core/marketdata/fund_holdings.h"
#include "core/marketdata/holdings_estimate.h"
#include "core/marketdata/stock_quotes.h"

namespace tovira::fuzz {

inline void CheckHoldings(const HoldingsReading& r) {
    // Holdings or a named failure with its words, never half of each.
    if (r.holdings.has_value() == !r.detail.isEmpty()) __builtin_trap();
    if (!r.holdings) return;
    // Every stock read whole: a code and a weight in percent of NAV.
    if (!r.holdings->reportDate.isValid() || r.holdings->stocks.empty()) __builtin_trap();
    for (const Holding& h : r.holdings->stocks) {
        if (h.code.isEmpty() || !std::isfinite(h.weightPct) || h.weightPct < 0 ||
            h.weightPct > 100) {
            __builtin_trap();
        }
        for (const QChar c : h.market) {
            if (c < u'0' || c > u'9') __builtin_trap();
        }
    }
}

// The quotes read, and the estimate made of them as if each were a holding.
inline void CheckQuotes(const QuoteBatch& b) {
    if (!b.ok && (!b.quotes.empty() || b.detail.isEmpty())) __builtin_trap();
    FundHoldings holdings{QDate(2026, 3, 31), {}};
    for (const StockQuote& q : b.quotes) {
        // A code, a finite change and a time in Beijing time.
        if (q.code.isEmpty() || !std::isfinite(q.changePct) || !q.time.isValid() ||
            q.time.offsetFromUtc() != 8 * 3600) {
            __builtin_trap();
        }
        holdings.stocks.push_back({q.code, {}, 5, q.market});
    }
    if (holdings.stocks.empty()) return;
    const QDate today = b.quotes.front().time.date();
    const EstimateAttempt a =
        EstimateFromHoldings(holdings, std::nullopt, b.quotes, {1.0, today.addDays(-1)}, today);
    if (a.estimate.has_value() == !a.detail.isEmpty()) __builtin_trap();
    if (a.estimate && (!std::isfinite(a.estimate->nav) || a.estimate->nav <= 0 ||
                       !IsDatedOn(*a.estimate, today))) {
        __builtin_trap();
    }
}

inline QByteArray Bytes(const uint8_t* data, size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

}  // namespace tovira::fuzz
