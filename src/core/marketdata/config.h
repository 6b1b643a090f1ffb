#pragma once
// Config.ini in the program folder: the host of every server the program
// talks to, one key per endpoint, and the time limit of requests. Missing keys
// are written with their defaults on first start so a user can see and change
// them. A key holds "host" or "host:port"; the scheme is always "http://".
// Section "网络": TimeoutSeconds bounds each request, ImportTimeoutSeconds a
// whole NAV history download with all its pages.

#include <QString>

namespace tovira {

enum class Endpoint {
    NavHistory,        // "/f10/F10DataApi.aspx"
    FundDirectory,     // "/js/fundcode_search.js"
    EstimateTiantian,  // 天天基金
    EstimateHowbuy,    // 好买基金
    Estimate10jqka,    // 爱基金
    TrendChart,        // "/charts/pic6/"
    UpdateServer,      // "/file/version.txt", "/file/setup.exe"
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

    QString Host(Endpoint e) const;
    // "http://" + host, or empty when no host is configured.
    QString BaseUrl(Endpoint e) const;
    int TimeoutMs() const { return timeoutMs_; }
    int ImportLimitMs() const { return importLimitMs_; }

    void SetHost(Endpoint e, const QString& host);
    void SetTimeoutMs(int ms) { timeoutMs_ = ms; }
    void SetImportLimitMs(int ms) { importLimitMs_ = ms; }

    static QString KeyOf(Endpoint e);
    static QString DefaultHost(Endpoint e);

  private:
    QString hosts_[10];
    int timeoutMs_ = 20000;
    int importLimitMs_ = 300000;
};

}  // namespace tovira
