#include "core/marketdata/fund_holdings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <optional>

#include "core/marketdata/http_client.h"

namespace tovira {

namespace {

HoldingsReading Failed(EstimateFailure failure, const QString& detail) {
    HoldingsReading r;
    r.failure = failure;
    r.detail = detail;
    return r;
}

HoldingsReading Read(FundHoldings holdings) {
    HoldingsReading r;
    r.holdings = std::move(holdings);
    return r;
}

// A weight in percent of NAV: a decimal, as a JSON number or as text with
// or without a trailing "%". Nothing unless it lies in [0, 100].
std::optional<double> Weight(double value) {
    if (!std::isfinite(value) || value < 0 || value > 100) return std::nullopt;
    return value;
}

std::optional<double> Weight(QString text) {
    text = text.trimmed();
    if (text.endsWith(u'%')) text.chop(1);
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    return ok ? Weight(value) : std::nullopt;
}

std::optional<double> Weight(const QJsonValue& v) {
    if (v.isDouble()) return Weight(v.toDouble());
    if (v.isString()) return Weight(v.toString());
    return std::nullopt;
}

QDate IsoDate(const QString& text) {
    return QDate::fromString(text.trimmed(), QStringLiteral("yyyy-MM-dd"));
}

bool IsDigits(const QString& text) {
    if (text.isEmpty()) return false;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9') return false;
    }
    return true;
}

// ---- the archive page ----

// The JavaScript string literal opening with the quote at `open`, its escapes
// resolved; nothing when the text ends before its closing quote.
std::optional<QString> StringLiteral(const QString& text, qsizetype open) {
    const QChar quote = text[open];
    QString out;
    for (qsizetype i = open + 1; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == quote) return out;
        if (c != u'\\') {
            out += c;
            continue;
        }
        if (++i >= text.size()) return std::nullopt;
        const QChar e = text[i];
        if (e == u'n') {
            out += u'\n';
        } else if (e == u't') {
            out += u'\t';
        } else if (e == u'r') {
            out += u'\r';
        } else if (e == u'u' && i + 4 < text.size()) {
            bool ok = false;
            const ushort unit = QStringView(text).mid(i + 1, 4).toUShort(&ok, 16);
            if (!ok) return std::nullopt;
            out += QChar(unit);
            i += 4;
        } else {
            out += e;  // \" \' \\ \/ and the rest stand for themselves
        }
    }
    return std::nullopt;
}

// The page's content string: after "content", blanks, ":", blanks.
std::optional<QString> PageContent(const QString& body) {
    static const QRegularExpression kContent(QStringLiteral("\\bcontent\\s*:\\s*([\"'])"));
    const QRegularExpressionMatch m = kContent.match(body);
    if (!m.hasMatch()) return std::nullopt;
    return StringLiteral(body, m.capturedStart(1));
}

// The text of a piece of markup: tags dropped, the entities the page uses
// resolved, blanks trimmed.
QString MarkupText(QStringView markup) {
    QString text;
    bool inTag = false;
    for (const QChar c : markup) {
        if (c == u'<') {
            inTag = true;
        } else if (c == u'>') {
            inTag = false;
        } else if (!inTag) {
            text += c;
        }
    }
    text.replace(QStringLiteral("&nbsp;"), QStringLiteral(" "));
    text.replace(QStringLiteral("&lt;"), QStringLiteral("<"));
    text.replace(QStringLiteral("&gt;"), QStringLiteral(">"));
    text.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    return text.trimmed();
}

// Where the element `tag` opens at or after `from` ("<tag>" or "<tag "), or -1.
qsizetype OpenTag(QStringView html, QStringView tag, qsizetype from) {
    for (qsizetype at = from; (at = html.indexOf(u'<', at)) >= 0; ++at) {
        const QStringView rest = html.mid(at + 1);
        if (!rest.startsWith(tag, Qt::CaseInsensitive) || rest.size() <= tag.size()) continue;
        const QChar next = rest[tag.size()];
        if (next == u'>' || next.isSpace()) return at;
    }
    return -1;
}

// The elements `tag` (their inner markup) in html, in order; nothing when one
// is not closed.
std::optional<std::vector<QStringView>> Elements(QStringView html, QStringView tag) {
    const QString close = QStringLiteral("</") + tag.toString() + u'>';
    std::vector<QStringView> out;
    for (qsizetype at = OpenTag(html, tag, 0); at >= 0; at = OpenTag(html, tag, at)) {
        const qsizetype inner = html.indexOf(u'>', at);
        if (inner < 0) return std::nullopt;
        const qsizetype end = html.indexOf(close, inner, Qt::CaseInsensitive);
        if (end < 0) return std::nullopt;
        out.push_back(html.mid(inner + 1, end - inner - 1));
        at = end + close.size();
    }
    return out;
}

// The market the row's quote link names for this code ("unify/r/116.00700").
QString LinkedMarket(QStringView cell, const QString& code) {
    static const QRegularExpression kLink(QStringLiteral("unify/r/(\\d+)\\.([A-Za-z0-9.]+)"));
    QRegularExpressionMatchIterator it = kLink.globalMatch(cell.toString());
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        if (m.captured(2) == code) return m.captured(1);
    }
    return {};
}

}  // namespace

QString QuoteMarketOfCode(const QString& code) {
    if (!IsDigits(code)) return {};
    if (code.size() == 5) return QStringLiteral("116");
    if (code.size() != 6) return {};
    if (code.startsWith(QStringLiteral("92"))) return QStringLiteral("0");
    switch (code[0].unicode()) {
        case u'6':
        case u'5':
        case u'9':
            return QStringLiteral("1");
        case u'0':
        case u'3':
        case u'1':
        case u'4':
        case u'8':
            return QStringLiteral("0");
        default:
            return {};
    }
}

QUrl FundPositionUrl(const QString& baseUrl, const QString& code) {
    return UrlOnServer(baseUrl, QStringLiteral("/FundMNewApi/FundMNInverstPosition?FCODE=") + code +
                                    QStringLiteral("&deviceid=Wap&plat=WAP&product=EFund&"
                                                   "version=2.0.0"));
}

HoldingsReading ParseFundPosition(const QString& body) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(body.trimmed().toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        return Failed(EstimateFailure::Unreadable, QStringLiteral("not a JSON object"));
    }
    const QJsonObject root = doc.object();
    const QJsonValue errCode = root.value(QStringLiteral("ErrCode"));
    if ((errCode.isDouble() && errCode.toDouble() != 0) ||
        root.value(QStringLiteral("Success")) == QJsonValue(false)) {
        const QString message = root.value(QStringLiteral("ErrMsg")).toString();
        return Failed(
            EstimateFailure::NoEstimate,
            QStringLiteral("ErrCode %1 %2").arg(errCode.toVariant().toString(), message).trimmed());
    }
    const QJsonValue datas = root.value(QStringLiteral("Datas"));
    if (datas.isNull() || datas.isUndefined()) {
        return Failed(EstimateFailure::NoEstimate, QStringLiteral("no holdings disclosed"));
    }
    if (!datas.isObject()) return Failed(EstimateFailure::Unreadable, QStringLiteral("Datas"));
    const QJsonValue stocks = datas.toObject().value(QStringLiteral("fundStocks"));
    if (!stocks.isNull() && !stocks.isUndefined() && !stocks.isArray()) {
        return Failed(EstimateFailure::Unreadable, QStringLiteral("fundStocks"));
    }
    if (stocks.toArray().isEmpty()) {
        return Failed(EstimateFailure::NoEstimate, QStringLiteral("no stock holdings disclosed"));
    }

    FundHoldings holdings;
    holdings.reportDate = IsoDate(root.value(QStringLiteral("Expansion")).toString());
    if (!holdings.reportDate.isValid()) {
        return Failed(EstimateFailure::Unreadable, QStringLiteral("Expansion"));
    }
    const QJsonArray list = stocks.toArray();
    for (qsizetype i = 0; i < list.size(); ++i) {
        const QJsonObject s = list.at(i).toObject();
        Holding h;
        h.code = s.value(QStringLiteral("GPDM")).toString().trimmed();
        h.name = s.value(QStringLiteral("GPJC")).toString().trimmed();
        const std::optional<double> weight = Weight(s.value(QStringLiteral("JZBL")));
        if (h.code.isEmpty() || !weight) {
            return Failed(EstimateFailure::Unreadable, QStringLiteral("fundStocks[%1]").arg(i));
        }
        h.weightPct = *weight;
        const QJsonValue exchange = s.value(QStringLiteral("NEWTEXCH"));
        h.market = exchange.isDouble() ? QString::number(exchange.toInt(-1))
                                       : exchange.toString().trimmed();
        if (!IsDigits(h.market)) h.market = QuoteMarketOfCode(h.code);
        holdings.stocks.push_back(std::move(h));
    }
    return Read(std::move(holdings));
}

QUrl HoldingsPageUrl(const QString& baseUrl, const QString& code) {
    return UrlOnServer(baseUrl, QStringLiteral("/FundArchivesDatas.aspx?type=jjcc&code=") + code +
                                    QStringLiteral("&topline=10&year=&month="));
}

HttpHeaders HoldingsPageHeaders(const QString& code) {
    return {{QByteArrayLiteral("Referer"),
             QStringLiteral("https://fundf10.eastmoney.com/ccmx_%1.html").arg(code).toUtf8()},
            {QByteArrayLiteral("X-Requested-With"), QByteArrayLiteral("XMLHttpRequest")}};
}

HoldingsReading ParseHoldingsPage(const QString& body) {
    const std::optional<QString> content = PageContent(body);
    if (!content) return Failed(EstimateFailure::Unreadable, QStringLiteral("content"));
    const QStringView html(*content);
    const qsizetype table = OpenTag(html, u"table", 0);
    if (table < 0) {
        return Failed(EstimateFailure::NoEstimate, QStringLiteral("no stock holdings published"));
    }
    const qsizetype tableEnd = html.indexOf(QStringLiteral("</table>"), table, Qt::CaseInsensitive);
    if (tableEnd < 0) return Failed(EstimateFailure::Unreadable, QStringLiteral("table"));

    // The newest quarter comes first; its heading, before its table, ends
    // with the date the holdings are for.
    static const QRegularExpression kDate(QStringLiteral("(\\d{4}-\\d{2}-\\d{2})"));
    FundHoldings holdings;
    QRegularExpressionMatchIterator dates = kDate.globalMatch(html.left(table).toString());
    while (dates.hasNext()) holdings.reportDate = IsoDate(dates.next().captured(1));
    if (!holdings.reportDate.isValid()) {
        return Failed(EstimateFailure::Unreadable, QStringLiteral("report date"));
    }

    const std::optional<std::vector<QStringView>> rows =
        Elements(html.mid(table, tableEnd - table), u"tr");
    if (!rows) return Failed(EstimateFailure::Unreadable, QStringLiteral("tr"));
    qsizetype codeColumn = -1;
    qsizetype nameColumn = -1;
    qsizetype weightColumn = -1;
    for (const QStringView row : *rows) {
        const bool heading = OpenTag(row, u"th", 0) >= 0;
        const std::optional<std::vector<QStringView>> cells =
            Elements(row, heading ? u"th" : u"td");
        if (!cells) return Failed(EstimateFailure::Unreadable, QStringLiteral("td"));
        if (cells->empty()) continue;
        if (heading) {
            for (qsizetype c = 0; c < static_cast<qsizetype>(cells->size()); ++c) {
                const QString text = MarkupText((*cells)[c]);
                if (text.contains(u"股票代码")) codeColumn = c;
                if (text.contains(u"股票名称")) nameColumn = c;
                if (text.contains(u"占净值")) weightColumn = c;
            }
            continue;
        }
        if (codeColumn < 0 || weightColumn < 0) {
            return Failed(EstimateFailure::Unreadable, QStringLiteral("headings"));
        }
        const QString where = QStringLiteral("row %1").arg(holdings.stocks.size() + 1);
        if (static_cast<qsizetype>(cells->size()) <=
            std::max({codeColumn, nameColumn, weightColumn})) {
            return Failed(EstimateFailure::Unreadable, where);
        }
        Holding h;
        h.code = MarkupText((*cells)[codeColumn]);
        if (nameColumn >= 0) h.name = MarkupText((*cells)[nameColumn]);
        const std::optional<double> weight = Weight(MarkupText((*cells)[weightColumn]));
        if (h.code.isEmpty() || !weight) return Failed(EstimateFailure::Unreadable, where);
        h.weightPct = *weight;
        h.market = LinkedMarket((*cells)[codeColumn], h.code);
        if (h.market.isEmpty()) h.market = QuoteMarketOfCode(h.code);
        holdings.stocks.push_back(std::move(h));
    }
    if (holdings.stocks.empty()) {
        return Failed(EstimateFailure::NoEstimate, QStringLiteral("no stock holdings published"));
    }
    return Read(std::move(holdings));
}

}  // namespace tovira
