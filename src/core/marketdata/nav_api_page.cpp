// The provider's JSON NAV-history endpoint ("/f10/lsjz"): one page of rows,
// newest first, each row an object read by field name. Fields the program
// does not use are ignored (the provider added one in August 2026).

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <algorithm>
#include <cmath>

#include "core/common/numbers.h"
#include "core/marketdata/nav_history.h"

namespace tovira {

namespace {

// A money-market fund publishes the income per 10,000 shares in place of a
// unit NAV; back-testing purchases against it would be meaningless.
bool IsMoneyFund(const QJsonObject& data) {
    return data.value(QLatin1String("SYType")).toString() == QStringLiteral("每万份收益") ||
           data.value(QLatin1String("FundType")).toString() == QLatin1String("005");
}

// A text field; null or absent reads as empty, a number as its text.
QString TextField(const QJsonObject& row, const char* name) {
    const QJsonValue v = row.value(QLatin1String(name));
    if (v.isString()) return v.toString();
    if (v.isDouble()) return QString::number(v.toDouble(), 'g', QLocale::FloatingPointShortest);
    return {};
}

NavPage Fail(NavPage page, NavFailure failure, const QString& detail = {}) {
    page.failure = failure;
    page.detail = detail;
    return page;
}

}  // namespace

QUrl NavHistoryApiUrl(const QString& baseUrl, const QString& code, const QDate& start,
                      const QDate& end, int page, int pageSize) {
    QString base = baseUrl;
    while (base.endsWith(QLatin1Char('/'))) base.chop(1);
    const QString dateFormat = QStringLiteral("yyyy-MM-dd");
    return QUrl(base + QStringLiteral("/f10/lsjz?fundCode=") + code +
                    QStringLiteral("&pageIndex=") + QString::number(page) +
                    QStringLiteral("&pageSize=") + QString::number(pageSize) +
                    QStringLiteral("&startDate=") + start.toString(dateFormat) +
                    QStringLiteral("&endDate=") + end.toString(dateFormat),
                QUrl::TolerantMode);
}

QByteArray NavHistoryApiReferer(const QString& code) {
    return QByteArrayLiteral("https://fundf10.eastmoney.com/jjjz_") + code.toLatin1() +
           QByteArrayLiteral(".html");
}

NavPage ParseNavApiPage(const QString& json) {
    NavPage page;
    const QString trimmed = json.trimmed();
    // A web page (an error or "moved" page) instead of the data.
    if (!trimmed.startsWith(QLatin1Char('{'))) return Fail(page, NavFailure::NotData);

    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(trimmed.toUtf8(), &error);
    // A cut answer never parses: the closing braces are missing.
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        return Fail(page, NavFailure::Malformed, error.errorString());
    }
    const QJsonObject root = doc.object();
    const QJsonValue errCode = root.value(QLatin1String("ErrCode"));
    if (errCode.isDouble() && errCode.toDouble() != 0) {
        return Fail(page, NavFailure::Refused,
                    QString::number(errCode.toDouble(), 'g', QLocale::FloatingPointShortest));
    }
    const QJsonValue dataValue = root.value(QLatin1String("Data"));
    if (!dataValue.isObject()) return Fail(page, NavFailure::Malformed);
    const QJsonObject data = dataValue.toObject();
    if (IsMoneyFund(data)) return Fail(page, NavFailure::MoneyFund);
    const QJsonValue listValue = data.value(QLatin1String("LSJZList"));
    if (!listValue.isArray()) return Fail(page, NavFailure::Malformed);
    const QJsonArray list = listValue.toArray();

    const QJsonValue total = root.value(QLatin1String("TotalCount"));
    if (total.isDouble()) {
        const double count = total.toDouble();
        if (count < 0 || count > 1e9 || count != std::floor(count)) {
            return Fail(page, NavFailure::Malformed);
        }
        page.totalRecords = int(count);
    }
    page.closed = true;
    page.rows = int(std::min<qsizetype>(list.size(), 1 << 30));
    if (list.isEmpty()) {
        if (page.totalRecords <= 0) page.failure = NavFailure::NoDays;
        return page;
    }

    // Oldest day first, as the history string holds them; a bad row ends
    // the page, keeping the older days before it.
    QDate older;  // the day taken before this one
    QStringList records;
    QString oldestChange;
    for (qsizetype i = list.size() - 1; i >= 0; --i) {
        if (!list[i].isObject()) {
            page.records = records;
            page.oldestChange = oldestChange;
            return Fail(page, NavFailure::BadRow,
                        QStringLiteral("第%1条不是一天的净值").arg(i + 1));
        }
        const QJsonObject row = list[i].toObject();
        const QString dateText = TextField(row, "FSRQ");
        const QDate date = QDate::fromString(dateText.trimmed(), QStringLiteral("yyyy-MM-dd"));
        if (!date.isValid()) {
            page.records = records;
            page.oldestChange = oldestChange;
            return Fail(page, NavFailure::BadRow,
                        dateText.isEmpty()
                            ? QStringLiteral("第%1条没有日期").arg(i + 1)
                            : QString::fromUtf8(kMsgNavNotADate).arg(dateText.left(20)));
        }
        const QString day = date.toString(QStringLiteral("yyyy/M/d"));
        // The unit NAV as the provider sends it ("1.2855"): a text that
        // reads whole as a positive number.
        const QJsonValue navValue = row.value(QLatin1String("DWJZ"));
        const QString nav = navValue.isString() ? navValue.toString().trimmed() : QString();
        const std::optional<double> navNumber = StrictNumber(nav);
        if (!navNumber || !(*navNumber > 0) || !std::isfinite(*navNumber)) {
            page.records = records;
            page.oldestChange = oldestChange;
            return Fail(page, NavFailure::BadRow,
                        QString::fromUtf8(kMsgNavNotANav).arg(day, nav.left(20)));
        }
        if (older.isValid() && date <= older) {
            page.records = records;
            page.oldestChange = oldestChange;
            return Fail(page, NavFailure::Malformed, QStringLiteral("%1 的日期顺序").arg(day));
        }
        if (records.isEmpty()) {
            // Record 0: the oldest day's change; a day without one (the first
            // day of a fund) changed by nothing that could be counted.
            const QString change = TextField(row, "JZZZL").trimmed();
            oldestChange = StrictNumber(change) ? change : QStringLiteral("0");
        }
        older = date;
        records << day + QLatin1Char(',') + nav + QLatin1Char(',') +
                       NavRecordField(TextField(row, "SGZT")) + QLatin1Char(',') +
                       NavRecordField(TextField(row, "SHZT")) + QLatin1Char(',') +
                       NavRecordField(TextField(row, "FHSP"));
    }
    page.records = records;
    page.oldestChange = oldestChange;
    page.complete = true;
    return page;
}

}  // namespace tovira
