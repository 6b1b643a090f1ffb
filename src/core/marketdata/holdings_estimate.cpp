#include "core/marketdata/holdings_estimate.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QRegularExpression>
#include <QTimeZone>
#include <cmath>

#include "core/marketdata/script_values.h"
#include "core/storage/file_io.h"

namespace tovira {

namespace {

const QString kAllocationName = QStringLiteral("Data_assetAllocation");
const QString kStockShareSeries = QStringLiteral("股票占净比");
constexpr double kLargestStockSharePct = 200;
constexpr int kCacheFormat = 1;
// A cache file is a few kilobytes; anything much larger is not ours.
constexpr qsizetype kLargestCacheFile = 1 << 20;

QDate IsoDate(const QString& text) { return QDate::fromString(text, QStringLiteral("yyyy-MM-dd")); }

QString IsoText(const QDate& date) {
    return date.isValid() ? date.toString(QStringLiteral("yyyy-MM-dd")) : QString();
}

std::optional<double> Share(const QJsonValue& v) {
    if (!v.isDouble()) return std::nullopt;
    const double pct = v.toDouble();
    if (!std::isfinite(pct) || pct < 0 || pct > kLargestStockSharePct) return std::nullopt;
    return pct;
}

const QTimeZone& Beijing() {
    static const QTimeZone zone(8 * 3600);
    return zone;
}

// The quote of the holding, from today, latest first; nothing when none.
const StockQuote* TodaysQuote(const Holding& h, const std::vector<StockQuote>& quotes,
                              const QDate& today) {
    const StockQuote* found = nullptr;
    for (const StockQuote& q : quotes) {
        if (q.code != h.code || (!q.market.isEmpty() && q.market != h.market)) continue;
        if (!q.time.isValid() || q.time.toTimeZone(Beijing()).date() != today) continue;
        if (!found || q.time > found->time) found = &q;
    }
    return found;
}

QString Percent(double value) { return QString::number(value, 'f', 1) + u'%'; }

// ---- the cache file ----

QJsonObject HoldingsJson(const FundHoldings& holdings) {
    QJsonArray stocks;
    for (const Holding& h : holdings.stocks) {
        stocks.append(QJsonObject{{QStringLiteral("code"), h.code},
                                  {QStringLiteral("name"), h.name},
                                  {QStringLiteral("weightPct"), h.weightPct},
                                  {QStringLiteral("market"), h.market}});
    }
    return {{QStringLiteral("reportDate"), IsoText(holdings.reportDate)},
            {QStringLiteral("stocks"), stocks}};
}

std::optional<FundHoldings> HoldingsFromJson(const QJsonValue& value) {
    const QJsonObject o = value.toObject();
    FundHoldings holdings;
    holdings.reportDate = IsoDate(o.value(QStringLiteral("reportDate")).toString());
    const QJsonValue stocks = o.value(QStringLiteral("stocks"));
    if (!holdings.reportDate.isValid() || !stocks.isArray() || stocks.toArray().isEmpty()) {
        return std::nullopt;
    }
    for (const QJsonValue& s : stocks.toArray()) {
        const QJsonObject so = s.toObject();
        const QJsonValue code = so.value(QStringLiteral("code"));
        const QJsonValue name = so.value(QStringLiteral("name"));
        const QJsonValue weight = so.value(QStringLiteral("weightPct"));
        const QJsonValue market = so.value(QStringLiteral("market"));
        if (!code.isString() || code.toString().isEmpty() || !name.isString() ||
            !weight.isDouble() || !market.isString()) {
            return std::nullopt;
        }
        Holding h{code.toString(), name.toString(), weight.toDouble(), market.toString()};
        if (!std::isfinite(h.weightPct) || h.weightPct < 0 || h.weightPct > 100) {
            return std::nullopt;
        }
        holdings.stocks.push_back(std::move(h));
    }
    return holdings;
}

}  // namespace

std::optional<StockShare> ParseStockShare(const QString& script) {
    const qsizetype open = ScriptAssignedValue(script, kAllocationName);
    if (open < 0 || open >= script.size() || script[open] != u'{') return std::nullopt;
    const qsizetype close = ScriptValueEnd(script, open);
    if (close < 0 || script[close] != u'}') return std::nullopt;
    QJsonParseError error{};
    const QJsonDocument doc =
        QJsonDocument::fromJson(QStringView(script).mid(open, close - open + 1).toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return std::nullopt;

    const QJsonObject allocation = doc.object();
    for (const QJsonValue& series : allocation.value(QStringLiteral("series")).toArray()) {
        const QJsonObject s = series.toObject();
        if (s.value(QStringLiteral("name")).toString() != kStockShareSeries) continue;
        const QJsonArray data = s.value(QStringLiteral("data")).toArray();
        if (data.isEmpty()) return std::nullopt;
        const std::optional<double> pct = Share(data.last());
        if (!pct) return std::nullopt;
        StockShare share;
        share.pct = *pct;
        const QJsonArray dates = allocation.value(QStringLiteral("categories")).toArray();
        if (!dates.isEmpty()) share.reportDate = IsoDate(dates.last().toString());
        return share;
    }
    return std::nullopt;
}

EstimateAttempt EstimateFromHoldings(const FundHoldings& holdings,
                                     const std::optional<StockShare>& stockShare,
                                     const std::vector<StockQuote>& quotes,
                                     const OfficialNav& official, const QDate& today) {
    if (holdings.stocks.empty()) {
        return EstimateAttempt::Failed(EstimateFailure::NoEstimate,
                                       QStringLiteral("no stock holdings disclosed"));
    }
    if (!std::isfinite(official.nav) || official.nav <= 0 || !official.date.isValid()) {
        return EstimateAttempt::Failed(EstimateFailure::NoEstimate,
                                       QStringLiteral("no official NAV to start from"));
    }
    // Today's own NAV is out: today's change is no longer an estimate's.
    if (official.date >= today) {
        return EstimateAttempt::Failed(
            EstimateFailure::NoEstimate,
            QStringLiteral("official NAV of %1 already out").arg(IsoText(official.date)));
    }

    double disclosed = 0;
    double quoted = 0;
    double weightedChange = 0;
    QDateTime latest;
    for (const Holding& h : holdings.stocks) {
        disclosed += h.weightPct;
        const StockQuote* q = TodaysQuote(h, quotes, today);
        if (!q) continue;
        quoted += h.weightPct;
        weightedChange += h.weightPct * q->changePct;
        if (!latest.isValid() || q->time > latest) latest = q->time;
    }
    if (disclosed <= 0) {
        return EstimateAttempt::Failed(EstimateFailure::NoEstimate,
                                       QStringLiteral("no weight disclosed"));
    }
    // Exactly the least share counts, whatever the rounding of the sums.
    const double quotedPct = quoted / disclosed * 100;
    if (quoted <= 0 || quoted < disclosed * (kLeastQuotedWeightPct / 100) * (1 - 1e-12)) {
        return EstimateAttempt::Failed(
            EstimateFailure::NoQuotesYet,
            QStringLiteral("%1 of the disclosed weight quoted today").arg(Percent(quotedPct)));
    }

    SourceEstimate e;
    e.source = EstimateSource::Holdings;
    e.time = latest.toTimeZone(Beijing());
    e.changePct =
        stockShare ? stockShare->pct * weightedChange / quoted / 100 : weightedChange / 100;
    e.nav = official.nav * (1 + e.changePct / 100);
    if (!std::isfinite(e.nav) || e.nav <= 0) {
        return EstimateAttempt::Failed(
            EstimateFailure::Unreadable,
            QStringLiteral("change %1 out of range").arg(QString::number(e.changePct)));
    }
    e.previousNav = official.nav;
    e.previousNavDate = official.date;
    e.holdingsDate = holdings.reportDate;
    if (stockShare) e.stockSharePct = stockShare->pct;
    e.stockShareMissing = !stockShare;
    e.quotedWeightPct = quotedPct;
    return EstimateAttempt::Of(std::move(e));
}

QString HoldingsCachePath(const QString& programFolder, const QString& code) {
    static const QRegularExpression kCode(QStringLiteral("^[A-Za-z0-9]{1,12}$"));
    if (programFolder.isEmpty() || !kCode.match(code).hasMatch()) return {};
    return QDir(programFolder)
        .filePath(QStringLiteral("data/holdings/") + code + QStringLiteral(".json"));
}

std::optional<HoldingsSnapshot> ReadHoldingsCache(const QString& programFolder, const QString& code,
                                                  const QDate& today) {
    const QString path = HoldingsCachePath(programFolder, code);
    if (path.isEmpty() || !today.isValid()) return std::nullopt;
    const std::optional<QByteArray> bytes = ReadRegularFile(path, kLargestCacheFile);
    if (!bytes) return std::nullopt;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(*bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return std::nullopt;
    const QJsonObject root = doc.object();
    if (root.value(QStringLiteral("format")) != QJsonValue(kCacheFormat) ||
        root.value(QStringLiteral("code")).toString() != code ||
        IsoDate(root.value(QStringLiteral("day")).toString()) != today) {
        return std::nullopt;
    }
    std::optional<FundHoldings> holdings = HoldingsFromJson(root.value(QStringLiteral("holdings")));
    if (!holdings) return std::nullopt;
    HoldingsSnapshot snapshot;
    snapshot.holdings = std::move(*holdings);

    const QJsonValue share = root.value(QStringLiteral("stockShare"));
    if (share.isObject()) {
        const QJsonObject so = share.toObject();
        const std::optional<double> pct = Share(so.value(QStringLiteral("pct")));
        const QJsonValue date = so.value(QStringLiteral("reportDate"));
        if (!pct || !date.isString()) return std::nullopt;
        snapshot.stockShare = StockShare{*pct, IsoDate(date.toString())};
        if (!date.toString().isEmpty() && !snapshot.stockShare->reportDate.isValid()) {
            return std::nullopt;
        }
    } else if (!share.isNull()) {
        return std::nullopt;
    }
    return snapshot;
}

bool WriteHoldingsCache(const QString& programFolder, const QString& code, const QDate& today,
                        const HoldingsSnapshot& snapshot) {
    const QString path = HoldingsCachePath(programFolder, code);
    if (path.isEmpty() || !today.isValid() || !snapshot.holdings.reportDate.isValid() ||
        snapshot.holdings.stocks.empty()) {
        return false;
    }
    QJsonValue share = QJsonValue::Null;
    if (snapshot.stockShare) {
        share =
            QJsonObject{{QStringLiteral("pct"), snapshot.stockShare->pct},
                        {QStringLiteral("reportDate"), IsoText(snapshot.stockShare->reportDate)}};
    }
    const QJsonObject root{{QStringLiteral("format"), kCacheFormat},
                           {QStringLiteral("code"), code},
                           {QStringLiteral("day"), IsoText(today)},
                           {QStringLiteral("holdings"), HoldingsJson(snapshot.holdings)},
                           {QStringLiteral("stockShare"), share}};
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) return false;
    return WriteFileAtomically(path, QJsonDocument(root).toJson(QJsonDocument::Compact));
}

}  // namespace tovira
