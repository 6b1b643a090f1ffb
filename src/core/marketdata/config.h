#pragma once
// Config.ini in the program folder: the host of every server the program
// talks to, one key per endpoint, and the time limit of requests. Missing keys
// are written with their defaults on first start so a user can see and change
// them. A key holds "host", "host:port", or either behind "http://" or
// "https://"; a bare host is reached over http. NavHistorySource chooses
// where NAV histories come from: "api" (the JSON endpoint, the default) or
// "table" (the HTML table of older provider versions and mirrors).
// Section "网络": TimeoutSeconds bounds each request, ImportTimeoutSeconds a
// whole NAV history download with all its pages.

#include <QString>

#include "core/marketdata/nav_history.h"

namespace tovira {

enum class Endpoint {
    NavHistory,         // "/f10/F10DataApi.aspx"
    NavHistoryApi,      // "/f10/lsjz"
    FundDataScript,     // "/pingzhongdata/CODE.js"
    FundDirectory,      // "/js/fundcode_search.js"
    EstimateTiantian,   // 天天基金
    EstimateHowbuy,     // 好买基金
    Estimate10jqka,     // 爱基金
    EstimateBatch,      // 天天基金's batch estimates "/mm/newCore/FundValuationLast"
    EstimateSina,       // 新浪基金 "/fundInfo/api/openapi.php/..."
    EstimateJqkaChart,  // 爱基金's estimate series "?...action=chart"
    Holdings,           // a fund's stock holdings, JSON
    HoldingsPage,       // the same as a page "/FundArchivesDatas.aspx?type=jjcc"
    Quotes,             // stock quotes "/api/qt/ulist.np/get"
    QuotesTencent,      // stock quotes, the second source "/q="
    TrendChart,         // "/charts/pic6/"
    UpdateServer,       // "/file/version.txt", "/file/setup.exe"
    WebSite,
    ContactPage,
    UserGroupPage,
};

class Config {
  public:
    // Reads Config.ini from the folder, writing missing keys with their
    // defaults (silently does without when the file cannot be written).
    static Config Load(const QString& programFolder);
    // Defaults only, nothing read or written.
    Config();

    // The host (and port) without the scheme.
    QString Host(Endpoint e) const;
    // Scheme and host ("http://" for a bare host), or empty when no host is
    // configured.
    QString BaseUrl(Endpoint e) const;
    // Where NAV histories are downloaded from, and that source's base URL.
    NavSource HistorySource() const { return historySource_; }
    void SetHistorySource(NavSource source) { historySource_ = source; }
    QString HistoryBaseUrl(NavSource source) const;
    int TimeoutMs() const { return timeoutMs_; }
    int ImportLimitMs() const { return importLimitMs_; }

    void SetHost(Endpoint e, const QString& host);
    void SetTimeoutMs(int ms) { timeoutMs_ = ms; }
    void SetImportLimitMs(int ms) { importLimitMs_ = ms; }

    static QString KeyOf(Endpoint e);
    static QString DefaultHost(Endpoint e);

  private:
    static constexpr int kEndpointCount = 19;
    QString bases_[kEndpointCount];  // as BaseUrl gives them
    NavSource historySource_ = NavSource::Api;
    int timeoutMs_ = 20000;
    int importLimitMs_ = 300000;
};

}  // namespace tovira
