#include "core/marketdata/fund_trend_script.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QLocale>
#include <cmath>
#include <optional>

#include "core/marketdata/http_client.h"
#include "core/marketdata/script_values.h"

namespace tovira {

namespace {

const QString kTrendName = QStringLiteral("Data_netWorthTrend");
const QString kMoneyFundFlag = QStringLiteral("ishb");
const QString kMoneyFundIncome = QStringLiteral("Data_millionCopiesIncome");

// The provider stamps each day with the milliseconds of its midnight in
// Beijing (UTC+8): counted in UTC every date would land a day early.
constexpr qint64 kBeijingOffsetMs = 8LL * 3600 * 1000;
constexpr qint64 kDayMs = 24LL * 3600 * 1000;
// Beyond 2^53 a double no longer holds every whole number.
constexpr double kLargestExactInteger = 9007199254740992.0;

bool IsNameCharacter(QChar c) { return c.isLetterOrNumber() || c == u'_' || c == u'$'; }

bool Declares(const QString& text, const QString& name) {
    return ScriptAssignedValue(text, name) >= 0;
}

// Whether the script says the fund is a money fund ("ishb = true").
bool FlaggedMoneyFund(const QString& text) {
    const qsizetype value = ScriptAssignedValue(text, kMoneyFundFlag);
    return value >= 0 && QStringView(text).mid(value).startsWith(u"true") &&
           (value + 4 >= text.size() || !IsNameCharacter(text[value + 4]));
}

// A finite JSON number as the shortest decimal that reads back as the same
// double, never in exponent form (and -0 as "0").
QString ShortestDecimal(double value) {
    return QString::number(value, 'f', QLocale::FloatingPointShortest);
}

// The unit NAV as the provider's tables write it: at least four decimals.
QString NavText(double nav) {
    QString text = ShortestDecimal(nav);
    qsizetype point = text.indexOf(u'.');
    if (point < 0) {
        point = text.size();
        text += u'.';
    }
    const qsizetype decimals = text.size() - point - 1;
    if (decimals < 4) text += QString(4 - decimals, u'0');
    return text;
}

// The day's date from its Beijing-midnight milliseconds; nothing when x is
// not a whole number.
std::optional<QDate> DayDate(const QJsonValue& x) {
    if (!x.isDouble()) return std::nullopt;
    const double ms = x.toDouble();
    if (!std::isfinite(ms) || std::trunc(ms) != ms || std::fabs(ms) > kLargestExactInteger) {
        return std::nullopt;
    }
    const qint64 local = static_cast<qint64>(ms) + kBeijingOffsetMs;
    // Floor division: a day before 1970 has a negative stamp.
    qint64 days = local / kDayMs;
    if (local % kDayMs < 0) --days;
    const QDate date = QDate(1970, 1, 1).addDays(days);
    if (!date.isValid()) return std::nullopt;
    return date;
}

// The dividend or conversion text without the script's own "分红：" or
// "拆分：" label, as the history tables give it.
QString DividendText(const QString& unitMoney) {
    QString text = unitMoney.trimmed();
    for (const char16_t* label : {u"分红", u"拆分"}) {
        const QStringView l(label);
        if (text.startsWith(l) && text.size() > l.size() &&
            (text[l.size()] == u'：' || text[l.size()] == u':')) {
            text = text.mid(l.size() + 1).trimmed();
            break;
        }
    }
    return NavRecordField(text);
}

// The daily change in percent of record 0: a number, or a number written as
// text; none at all counts as no change. Null when it is something else.
QString ChangeText(const QJsonValue& change) {
    if (change.isUndefined() || change.isNull()) return QStringLiteral("0");
    double value = 0;
    if (change.isDouble()) {
        value = change.toDouble();
    } else if (change.isString()) {
        const QString text = change.toString().trimmed();
        if (text.isEmpty()) return QStringLiteral("0");
        bool ok = false;
        value = text.toDouble(&ok);
        if (!ok) return {};
    } else {
        return {};
    }
    if (!std::isfinite(value)) return {};
    return ShortestDecimal(value);
}

NavPage Failed(NavFailure failure, const QString& detail = {}) {
    NavPage page;
    page.failure = failure;
    page.detail = detail;
    return page;
}

QString LedgerDate(const QDate& date) { return date.toString(QStringLiteral("yyyy/M/d")); }

}  // namespace

QUrl FundTrendScriptUrl(const QString& baseUrl, const QString& code) {
    return UrlOnServer(baseUrl, QStringLiteral("/pingzhongdata/") + code + QStringLiteral(".js"));
}

NavPage ParseFundTrendScript(const QString& script, const QDate& start, const QDate& end) {
    // A money fund's figures are income per 10,000 shares, whatever else the
    // script holds: never to be read as NAVs.
    if (FlaggedMoneyFund(script)) return Failed(NavFailure::MoneyFund);
    const qsizetype open = ScriptAssignedValue(script, kTrendName);
    if (open < 0) {
        return Failed(Declares(script, kMoneyFundIncome) ? NavFailure::MoneyFund
                                                         : NavFailure::NotData);
    }
    if (open >= script.size() || script[open] != u'[') return Failed(NavFailure::Malformed);
    // Without its closing bracket the answer was cut: its last days, and
    // which ones they were, are unknown.
    const qsizetype close = ScriptValueEnd(script, open);
    if (close < 0 || script[close] != u']') return Failed(NavFailure::Malformed);

    QJsonParseError error{};
    const QJsonDocument document =
        QJsonDocument::fromJson(QStringView(script).mid(open, close - open + 1).toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isArray()) {
        return Failed(NavFailure::Malformed);
    }
    const QJsonArray days = document.array();

    NavPage page;
    std::optional<QDate> previous;
    for (qsizetype i = 0; i < days.size(); ++i) {
        const QJsonObject day = days.at(i).toObject();
        const std::optional<QDate> date = DayDate(day.value(QStringLiteral("x")));
        // Without a date neither the day's place nor its range can be told.
        if (!days.at(i).isObject() || !date) return Failed(NavFailure::BadRow, QString::number(i));
        // The script lists each day once, oldest first; anything else is not
        // the history it claims to be.
        if (previous && *date <= *previous) return Failed(NavFailure::Malformed, LedgerDate(*date));
        previous = date;
        // Days outside the range are not checked further: the range's own
        // days are what the ledger receives.
        if (!start.isValid() || !end.isValid() || *date < start || *date > end) continue;

        const QJsonValue y = day.value(QStringLiteral("y"));
        const double nav = y.isDouble() ? y.toDouble() : 0;
        if (!(std::isfinite(nav) && nav > 0)) return Failed(NavFailure::BadRow, LedgerDate(*date));
        const QJsonValue unitMoney = day.value(QStringLiteral("unitMoney"));
        if (!unitMoney.isUndefined() && !unitMoney.isNull() && !unitMoney.isString()) {
            return Failed(NavFailure::BadRow, LedgerDate(*date));
        }
        if (page.records.isEmpty()) {
            page.oldestChange = ChangeText(day.value(QStringLiteral("equityReturn")));
            if (page.oldestChange.isNull()) return Failed(NavFailure::BadRow, LedgerDate(*date));
        }
        page.records << LedgerDate(*date) + QLatin1Char(',') + NavText(nav) +
                            QStringLiteral(",,,") + DividendText(unitMoney.toString());
    }

    page.closed = true;
    page.rows = static_cast<int>(page.records.size());
    page.totalRecords = page.rows;
    page.pages = 1;
    if (page.records.isEmpty()) {
        page.failure = NavFailure::NoDays;
        return page;
    }
    page.complete = true;
    return page;
}

}  // namespace tovira
