#pragma once
// Today's price changes of a fund's disclosed stocks, in one batch request:
// the quote API's ulist answer, or the text quote service as the fallback.
// Only real quotes come back; a stock before the open, a suspended one, one
// the service does not know, or one without a quote time is simply absent
// (the estimate counts what share of the holdings has a quote).

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <vector>

#include "core/marketdata/fund_holdings.h"
#include "core/marketdata/live_estimate.h"

namespace tovira {

struct StockQuote {
    QString code;          // "600519", "00700"
    QString market;        // "1", "0", "116", ...; empty when the answer does not say
    double changePct = 0;  // against the previous close, in percent
    QDateTime time;        // of the last trade, Beijing time (UTC+8)
};

struct QuoteBatch {
    bool ok = false;  // the answer was read; quotes may still be empty
    std::vector<StockQuote> quotes;
    EstimateFailure failure = EstimateFailure::Unreadable;  // when not ok
    QString detail;
};

// "1.600519": the holding's market and code; empty when its market is unknown.
QString QuoteId(const Holding& h);
// baseUrl + "/api/qt/ulist.np/get?fltt=2&fields=f2,f3,f12,f13,f14,f124&secids=" + ids joined by ","
QUrl QuoteBatchUrl(const QString& baseUrl, const QStringList& quoteIds);
// {"rc":0,"data":{"diff":[{"f2":price,"f3":change%,"f12":code,"f13":market,
// "f124":epoch seconds},...]}}. "-" for f2/f3 (before the open, suspended)
// and a missing f124 give no quote; "data":null (no id known) gives none at
// all. Unreadable for anything but such an object, or a row without f12.
QuoteBatch ParseQuoteBatch(const QString& body);

// The text service's symbol: "sh600519", "sz000858", "bj830799", "hk00700";
// empty for a market it is not asked about (US and unknown).
QString TextQuoteSymbol(const Holding& h);
// baseUrl + "/q=" + symbols joined by ","
QUrl TextQuoteUrl(const QString& baseUrl, const QStringList& symbols);
// GBK text of statements v_SYMBOL="f0~f1~...~f30~f31~f32~...";: field 3 the
// price, 30 the time (yyyyMMddHHmmss, or yyyy/MM/dd HH:mm:ss for Hong Kong),
// 32 the change in percent. A statement with too few fields, a price of 0 or
// no readable change or time gives no quote, and v_pv_none_match (an unknown
// symbol) none either. Unreadable when a statement is cut off or there is
// none at all.
QuoteBatch ParseTextQuotes(const QByteArray& body);

}  // namespace tovira
