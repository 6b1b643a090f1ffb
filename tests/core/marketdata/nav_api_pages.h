#pragma once
// A stand-in for the provider's JSON NAV-history endpoint ("/f10/lsjz") and
// its trend script ("/pingzhongdata/CODE.js"), serving the CSV histories of
// tests/data in the shapes the real ones answered in 2026: rows newest first
// with every field by name, at most 20 a page, ErrCode -999 without the
// Referer, a money-market fund that publishes income per 10,000 shares.

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QUrlQuery>
#include <algorithm>

#include "core/marketdata/nav_pages.h"
#include "support/local_http_server.h"

namespace tovira::test {

// The rows of a CSV of the JSON endpoint's own fields (FSRQ,DWJZ,LJJZ,SDATE,
// ACTUALSYI,NAVTYPE,JZZZL,SGZT,SHZT,FHFCZ,FHFCBZ,DTYPE,FHSP, oldest first)
// in the table's form, the change with its "%" as the table wrote it.
inline QList<NavRow> ReadApiRows(const char* relative) {
    QList<NavRow> rows;
    const QStringList lines = QString::fromUtf8(ReadFileBytes(DataPath(relative))).split('\n');
    for (int i = 1; i < lines.size(); ++i) {
        const QStringList f = lines[i].trimmed().split(',');
        if (f.size() != 13) continue;
        rows.append({f[0], f[1], f[2], f[6].isEmpty() ? QString() : f[6] + QLatin1Char('%'), f[7],
                     f[8], f[12]});
    }
    return rows;
}

inline QString JsonText(const QString& text) {
    QString t = text;
    t.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
        .replace(QLatin1Char('"'), QLatin1String("\\\""))
        .replace(QLatin1Char('\r'), QLatin1String("\\r"))
        .replace(QLatin1Char('\n'), QLatin1String("\\n"));
    return QLatin1Char('"') + t + QLatin1Char('"');
}

// One row with the fourteen fields of August 2026.
inline QString ApiRow(const NavRow& r) {
    QString change = r.change;
    if (change.endsWith(QLatin1Char('%'))) change.chop(1);
    return QStringLiteral(
               "{\"FSRQ\":%1,\"DWJZ\":%2,\"LJJZ\":%3,\"SDATE\":null,\"ACTUALSYI\":\"\","
               "\"NAVTYPE\":\"1\",\"JZZZL\":%4,\"SGZT\":%5,\"SHZT\":%6,\"FHFCZ\":\"\","
               "\"FHFCZ10\":null,\"FHFCBZ\":\"\",\"DTYPE\":null,\"FHSP\":%7}")
        .arg(JsonText(r.date), JsonText(r.nav), JsonText(r.acc), JsonText(change),
             JsonText(r.purchase), JsonText(r.redeem), JsonText(r.dividend));
}

// A page of rows (given oldest first, written newest first).
inline QString ApiPage(const QList<NavRow>& oldestFirst, int totalCount, int pageIndex = 1,
                       int pageSize = 20, const char* fundType = "001",
                       const char* syType = "null") {
    QStringList rows;
    for (auto r = oldestFirst.crbegin(); r != oldestFirst.crend(); ++r) rows << ApiRow(*r);
    return QStringLiteral(
               "{\"Data\":{\"LSJZList\":[%1],\"FundType\":\"%2\",\"SYType\":%3,\"isNewType\":"
               "false,\"Feature\":null},\"ErrCode\":0,\"ErrMsg\":null,\"TotalCount\":%4,"
               "\"Expansion\":null,\"PageSize\":%5,\"PageIndex\":%6}")
        .arg(rows.join(QLatin1Char(',')), QLatin1String(fundType), QLatin1String(syType))
        .arg(totalCount)
        .arg(pageSize)
        .arg(pageIndex);
}

inline const char* const kApiRefused =
    R"({"Data":"","ErrCode":-999,"ErrMsg":"","TotalCount":0,"Expansion":null,"PageSize":0,"PageIndex":0})";

// The trend script of a history: x the ms of Beijing midnight, y the NAV,
// the change and the dividend as the script gives them.
inline QString TrendScript(const QString& code, const QList<NavRow>& oldestFirst) {
    QStringList days;
    for (const NavRow& r : oldestFirst) {
        const QDate d = QDate::fromString(r.date, QStringLiteral("yyyy-MM-dd"));
        const qint64 ms = (QDateTime(d, QTime(0, 0), Qt::UTC).toMSecsSinceEpoch()) - 8 * 3600000LL;
        QString change = r.change;
        if (change.endsWith(QLatin1Char('%'))) change.chop(1);
        if (change.isEmpty()) change = QStringLiteral("0");
        const QString money = r.dividend.isEmpty() ? QString()
                              : r.dividend.startsWith(QStringLiteral("每份基金份额"))
                                  ? QStringLiteral("拆分：") + r.dividend
                                  : QStringLiteral("分红：") + r.dividend;
        days << QStringLiteral("{\"x\":%1,\"y\":%2,\"equityReturn\":%3,\"unitMoney\":%4}")
                    .arg(ms)
                    .arg(QString::number(r.nav.toDouble(), 'g', QLocale::FloatingPointShortest),
                         QString::number(change.toDouble(), 'g', QLocale::FloatingPointShortest),
                         JsonText(money));
    }
    return QStringLiteral(
               "/*2026-10-08 12:17:31*/var ishb=false;var fS_name = \"基金\";var "
               "fS_code = \"%1\";var Data_netWorthTrend = [%2];var Data_ACWorthTrend = "
               "[];")
        .arg(code, days.join(QLatin1Char(',')));
}

// Serves the JSON endpoint from the histories by fund code, as the provider
// does: the Referer checked, the page size capped at 20, the range and the
// page cut from the history. "000905" is a money-market fund.
inline void ServeApi(LocalHttpServer& server, const QMap<QString, QList<NavRow>>& funds) {
    server.Handle(
        QStringLiteral("/f10/lsjz"), [funds](const QString& target, const QByteArray& head) {
            const QUrlQuery q(target.mid(target.indexOf(QLatin1Char('?')) + 1));
            const QString code = q.queryItemValue(QStringLiteral("fundCode"));
            LocalHttpServer::Reply reply;
            if (!head.contains("\r\nReferer: https://fundf10.eastmoney.com/jjjz_" +
                               code.toLatin1() + ".html")) {
                reply.body = kApiRefused;
                return reply;
            }
            const int size =
                std::min(20, std::max(1, q.queryItemValue(QStringLiteral("pageSize")).toInt()));
            const int index = std::max(1, q.queryItemValue(QStringLiteral("pageIndex")).toInt());
            const QByteArray from = q.queryItemValue(QStringLiteral("startDate")).toLatin1();
            const QByteArray to = q.queryItemValue(QStringLiteral("endDate")).toLatin1();
            const QList<NavRow> all =
                Between(funds.value(code), from.isEmpty() ? "0000" : from.constData(),
                        to.isEmpty() ? "9999" : to.constData());
            const int total = int(all.size());
            // Page 1 holds the newest days.
            const int end = std::max(0, total - (index - 1) * size);
            const int begin = std::max(0, end - size);
            const bool money = code == QLatin1String("000905");
            reply.body = ApiPage(all.mid(begin, end - begin), total, index, size,
                                 money ? "005" : "001", money ? "\"每万份收益\"" : "null")
                             .toUtf8();
            return reply;
        });
}

}  // namespace tovira::test
