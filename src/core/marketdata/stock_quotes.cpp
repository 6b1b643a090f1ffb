#include "core/marketdata/stock_quotes.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QTimeZone>
#include <cmath>
#include <optional>

#include "core/common/gbk_codec.h"
#include "core/marketdata/http_client.h"

namespace tovira {

namespace {

// Quote times are Beijing time, a fixed UTC+8 whatever the computer's zone.
const QTimeZone& Beijing() {
    static const QTimeZone zone(8 * 3600);
    return zone;
}

QuoteBatch Failed(EstimateFailure failure, const QString& detail) {
    QuoteBatch b;
    b.failure = failure;
    b.detail = detail;
    return b;
}

// A finite number given as a JSON number or as a decimal text; nothing for
// the "-" of a stock without a quote, or anything else.
std::optional<double> Number(const QJsonValue& v) {
    double value = 0;
    if (v.isDouble()) {
        value = v.toDouble();
    } else if (v.isString()) {
        bool ok = false;
        value = v.toString().trimmed().toDouble(&ok);
        if (!ok) return std::nullopt;
    } else {
        return std::nullopt;
    }
    if (!std::isfinite(value)) return std::nullopt;
    return value;
}

// Epoch seconds in the range a quote can carry (1990..2100).
QDateTime QuoteTime(const QJsonValue& v) {
    const std::optional<double> seconds = Number(v);
    if (!seconds || *seconds < 631152000.0 || *seconds > 4102444800.0) return {};
    return QDateTime::fromSecsSinceEpoch(static_cast<qint64>(*seconds), Beijing());
}

QString Text(const QJsonValue& v) {
    if (v.isString()) return v.toString().trimmed();
    if (v.isDouble()) return QString::number(v.toInteger(-1));
    return {};
}

// The text service's symbol back to market and code.
bool FromSymbol(const QString& symbol, StockQuote& q) {
    const QStringView prefix = QStringView(symbol).left(2);
    q.code = symbol.mid(2);
    if (prefix == u"sh") {
        q.market = QStringLiteral("1");
    } else if (prefix == u"sz" || prefix == u"bj") {
        q.market = QStringLiteral("0");
    } else if (prefix == u"hk") {
        q.market = QStringLiteral("116");
    } else {
        return false;
    }
    return !q.code.isEmpty();
}

// The time field as Beijing wall-clock time: read apart from any zone, so
// that no clock change of the computer's own zone can bend it.
QDateTime TextQuoteTime(const QString& text) {
    struct Form {
        qsizetype dateLength;
        const char16_t* date;
        const char16_t* time;
    };
    for (const Form& f : {Form{8, u"yyyyMMdd", u"HHmmss"}, Form{10, u"yyyy/MM/dd", u" HH:mm:ss"},
                          Form{10, u"yyyy-MM-dd", u" HH:mm:ss"}}) {
        const QDate date = QDate::fromString(text.left(f.dateLength), QString::fromUtf16(f.date));
        const QTime time = QTime::fromString(text.mid(f.dateLength), QString::fromUtf16(f.time));
        if (date.isValid() && time.isValid()) return QDateTime(date, time, Beijing());
    }
    return {};
}

}  // namespace

QString QuoteId(const Holding& h) {
    if (h.market.isEmpty() || h.code.isEmpty()) return {};
    return h.market + u'.' + h.code;
}

QUrl QuoteBatchUrl(const QString& baseUrl, const QStringList& quoteIds) {
    return UrlOnServer(baseUrl,
                       QStringLiteral("/api/qt/ulist.np/get?fltt=2&fields=f2,f3,f12,f13,f14,f124"
                                      "&secids=") +
                           quoteIds.join(u','));
}

QuoteBatch ParseQuoteBatch(const QString& body) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(body.trimmed().toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        return Failed(EstimateFailure::Unreadable, QStringLiteral("not a JSON object"));
    }
    const QJsonValue data = doc.object().value(QStringLiteral("data"));
    QuoteBatch batch;
    batch.ok = true;
    if (data.isNull()) return batch;  // none of the ids is known
    if (!data.isObject()) return Failed(EstimateFailure::Unreadable, QStringLiteral("data"));
    const QJsonValue diff = data.toObject().value(QStringLiteral("diff"));
    // Without np=1 the rows come as an object keyed "0", "1", ...
    QJsonArray rows;
    if (diff.isArray()) {
        rows = diff.toArray();
    } else if (diff.isObject()) {
        for (const QJsonValue& row : diff.toObject()) rows.append(row);
    } else {
        return Failed(EstimateFailure::Unreadable, QStringLiteral("diff"));
    }
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const QJsonObject row = rows.at(i).toObject();
        StockQuote q;
        q.code = Text(row.value(QStringLiteral("f12")));
        if (!rows.at(i).isObject() || q.code.isEmpty()) {
            return Failed(EstimateFailure::Unreadable, QStringLiteral("diff[%1]").arg(i));
        }
        q.market = Text(row.value(QStringLiteral("f13")));
        const std::optional<double> price = Number(row.value(QStringLiteral("f2")));
        const std::optional<double> change = Number(row.value(QStringLiteral("f3")));
        q.time = QuoteTime(row.value(QStringLiteral("f124")));
        if (!price || *price <= 0 || !change || !q.time.isValid()) continue;
        q.changePct = *change;
        batch.quotes.push_back(std::move(q));
    }
    return batch;
}

QString TextQuoteSymbol(const Holding& h) {
    if (h.code.isEmpty()) return {};
    if (h.market == u"116") return QStringLiteral("hk") + h.code;
    if (h.market == u"1") return QStringLiteral("sh") + h.code;
    if (h.market != u"0") return {};
    // Beijing's codes share Shenzhen's quote market but not its symbol.
    const bool beijing = h.code.startsWith(u'4') || h.code.startsWith(u'8') ||
                         h.code.startsWith(QStringLiteral("92"));
    return (beijing ? QStringLiteral("bj") : QStringLiteral("sz")) + h.code;
}

QUrl TextQuoteUrl(const QString& baseUrl, const QStringList& symbols) {
    return UrlOnServer(baseUrl, QStringLiteral("/q=") + symbols.join(u','));
}

QuoteBatch ParseTextQuotes(const QByteArray& body) {
    const QString text = DecodeGbk(body);
    QuoteBatch batch;
    int statements = 0;
    for (qsizetype at = text.indexOf(QStringLiteral("v_")); at >= 0;
         at = text.indexOf(QStringLiteral("v_"), at)) {
        const qsizetype equals = text.indexOf(u'=', at);
        if (equals < 0 || equals + 1 >= text.size() || text[equals + 1] != u'"') {
            return Failed(EstimateFailure::Unreadable,
                          QStringLiteral("statement %1").arg(statements + 1));
        }
        const qsizetype close = text.indexOf(u'"', equals + 2);
        if (close < 0) {
            return Failed(EstimateFailure::Unreadable,
                          QStringLiteral("statement %1").arg(statements + 1));
        }
        ++statements;
        const QString symbol = text.mid(at + 2, equals - at - 2).trimmed();
        const QStringList fields = text.mid(equals + 2, close - equals - 2).split(u'~');
        at = close + 1;

        StockQuote q;
        if (!FromSymbol(symbol, q) || fields.size() <= 32) continue;
        bool priceOk = false;
        bool changeOk = false;
        const double price = fields[3].trimmed().toDouble(&priceOk);
        q.changePct = fields[32].trimmed().toDouble(&changeOk);
        q.time = TextQuoteTime(fields[30].trimmed());
        if (!priceOk || !std::isfinite(price) || price <= 0 || !changeOk ||
            !std::isfinite(q.changePct) || !q.time.isValid()) {
            continue;
        }
        batch.quotes.push_back(std::move(q));
    }
    if (statements == 0) return Failed(EstimateFailure::Unreadable, QStringLiteral("no quotes"));
    batch.ok = true;
    return batch;
}

}  // namespace tovira
