#include "core/marketdata/config.h"

#include <QFileInfo>
#include <algorithm>

#include "core/storage/ini_document.h"

namespace tovira {

namespace {

const char* const kServerSection = "服务器";
const char* const kNetworkSection = "网络";
const char* const kTimeoutKey = "TimeoutSeconds";
constexpr int kDefaultTimeoutSeconds = 20;
// A long range comes in many pages; five minutes is plenty for twenty years
// of a fund, and stops a provider that serves a row a page from running on.
const char* const kImportLimitKey = "ImportTimeoutSeconds";
constexpr int kDefaultImportLimitSeconds = 300;
// A day: more is surely a typing slip, and would overflow in milliseconds.
constexpr int kMaxTimeoutSeconds = 24 * 60 * 60;

struct EndpointInfo {
    Endpoint endpoint;
    const char* key;
    const char* defaultHost;
};

// In the order the keys are written into a new Config.ini.
constexpr EndpointInfo kEndpoints[] = {
    {Endpoint::NavHistory, "NavHistory", "fund.eastmoney.com"},
    {Endpoint::NavHistoryApi, "NavHistoryApi", "https://api.fund.eastmoney.com"},
    {Endpoint::FundDataScript, "FundDataScript", "https://fund.eastmoney.com"},
    {Endpoint::FundDirectory, "FundDirectory", "fund.eastmoney.com"},
    {Endpoint::EstimateTiantian, "EstimateTiantian", "fundgz.1234567.com.cn"},
    {Endpoint::EstimateHowbuy, "EstimateHowbuy", "www.howbuy.com"},
    {Endpoint::Estimate10jqka, "Estimate10jqka", "gz.fund.10jqka.com.cn"},
    {Endpoint::EstimateBatch, "EstimateBatch", "https://fundcomapi.tiantianfunds.com"},
    {Endpoint::EstimateSina, "EstimateSina", "https://stock.finance.sina.com.cn"},
    {Endpoint::EstimateJqkaChart, "EstimateJqkaChart", "https://gz-fund.10jqka.com.cn"},
    {Endpoint::Holdings, "Holdings", "https://fundmobapi.eastmoney.com"},
    {Endpoint::HoldingsPage, "HoldingsPage", "https://fundf10.eastmoney.com"},
    {Endpoint::Quotes, "Quotes", "https://push2.eastmoney.com"},
    {Endpoint::QuotesTencent, "QuotesTencent", "https://qt.gtimg.cn"},
    {Endpoint::TrendChart, "TrendChart", "j4.dfcfw.com"},
    {Endpoint::UpdateServer, "UpdateServer", ""},
    {Endpoint::WebSite, "WebSite", ""},
    {Endpoint::ContactPage, "ContactPage", ""},
    {Endpoint::UserGroupPage, "UserGroupPage", ""},
};
constexpr int kEndpointCount = int(sizeof(kEndpoints) / sizeof(kEndpoints[0]));

constexpr bool InEnumOrder() {
    for (int i = 0; i < kEndpointCount; ++i) {
        if (static_cast<int>(kEndpoints[i].endpoint) != i) return false;
    }
    return true;
}
static_assert(kEndpointCount == 19 && InEnumOrder(), "kEndpoints is indexed by Endpoint");

const char* const kSourceKey = "NavHistorySource";
const char* const kDefaultSource = "api";

int IndexOf(Endpoint e) { return static_cast<int>(e); }

// What a user may have typed around a host: blanks, a scheme, a trailing
// slash. http and https are kept (a bare host means http); any other scheme
// is taken for http, the only other one the program speaks.
QString BaseUrlFrom(const QString& text) {
    QString host = text.trimmed();
    QString scheme = QStringLiteral("http://");
    const int schemeEnd = host.indexOf(QLatin1String("://"));
    if (schemeEnd >= 0) {
        if (host.left(schemeEnd).compare(QLatin1String("https"), Qt::CaseInsensitive) == 0) {
            scheme = QStringLiteral("https://");
        }
        host = host.mid(schemeEnd + 3);
    }
    while (host.endsWith(QLatin1Char('/'))) host.chop(1);
    host = host.trimmed();
    return host.isEmpty() ? QString() : scheme + host;
}

NavSource SourceFrom(const QString& text) {
    return text.trimmed().compare(QLatin1String("table"), Qt::CaseInsensitive) == 0
               ? NavSource::Table
               : NavSource::Api;
}

int TimeoutSecondsFrom(const QString& text, int defaultSeconds) {
    bool ok = false;
    const qlonglong seconds = text.trimmed().toLongLong(&ok);
    if (!ok || seconds <= 0) return defaultSeconds;
    return int(std::min<qlonglong>(seconds, kMaxTimeoutSeconds));
}

}  // namespace

Config::Config() {
    for (const EndpointInfo& info : kEndpoints) {
        bases_[IndexOf(info.endpoint)] = BaseUrlFrom(QString::fromUtf8(info.defaultHost));
    }
    timeoutMs_ = kDefaultTimeoutSeconds * 1000;
    importLimitMs_ = kDefaultImportLimitSeconds * 1000;
}

Config Config::Load(const QString& programFolder) {
    Config config;
    const QString path = programFolder + QStringLiteral("/Config.ini");
    const QString serverSection = QString::fromUtf8(kServerSection);
    const QString networkSection = QString::fromUtf8(kNetworkSection);

    IniDocument doc;
    const bool loaded = doc.Load(path);
    bool missing = false;
    for (const EndpointInfo& info : kEndpoints) {
        const QString key = QString::fromUtf8(info.key);
        if (const std::optional<QString> value = doc.Find(serverSection, key)) {
            config.bases_[IndexOf(info.endpoint)] = BaseUrlFrom(*value);
        } else {
            doc.SetValue(serverSection, key, QString::fromUtf8(info.defaultHost));
            missing = true;
        }
    }
    const QString sourceKey = QString::fromUtf8(kSourceKey);
    if (const std::optional<QString> value = doc.Find(serverSection, sourceKey)) {
        config.historySource_ = SourceFrom(*value);
    } else {
        doc.SetValue(serverSection, sourceKey, QString::fromUtf8(kDefaultSource));
        missing = true;
    }
    const struct {
        const char* key;
        int defaultSeconds;
        int* ms;
    } limits[] = {{kTimeoutKey, kDefaultTimeoutSeconds, &config.timeoutMs_},
                  {kImportLimitKey, kDefaultImportLimitSeconds, &config.importLimitMs_}};
    for (const auto& limit : limits) {
        const QString key = QString::fromUtf8(limit.key);
        if (const std::optional<QString> value = doc.Find(networkSection, key)) {
            *limit.ms = TimeoutSecondsFrom(*value, limit.defaultSeconds) * 1000;
        } else {
            doc.SetValue(networkSection, key, QString::number(limit.defaultSeconds));
            missing = true;
        }
    }

    // A file that exists but could not be read is left alone rather than
    // replaced by the defaults; an unwritable folder just means no file.
    if (missing && (loaded || !QFileInfo::exists(path))) doc.Save(path);
    return config;
}

QString Config::Host(Endpoint e) const {
    const QString& base = bases_[IndexOf(e)];
    return base.mid(base.indexOf(QLatin1String("://")) + 3);
}

QString Config::BaseUrl(Endpoint e) const { return bases_[IndexOf(e)]; }

QString Config::HistoryBaseUrl(NavSource source) const {
    switch (source) {
        case NavSource::Api:
            return BaseUrl(Endpoint::NavHistoryApi);
        case NavSource::Table:
            return BaseUrl(Endpoint::NavHistory);
        case NavSource::Trend:
            return BaseUrl(Endpoint::FundDataScript);
    }
    return {};
}

void Config::SetHost(Endpoint e, const QString& host) { bases_[IndexOf(e)] = BaseUrlFrom(host); }

QString Config::KeyOf(Endpoint e) { return QString::fromUtf8(kEndpoints[IndexOf(e)].key); }

QString Config::DefaultHost(Endpoint e) {
    return QString::fromUtf8(kEndpoints[IndexOf(e)].defaultHost);
}

}  // namespace tovira
