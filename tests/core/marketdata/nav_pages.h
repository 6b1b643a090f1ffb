#pragma once
// The provider's NAV-history pages made from the CSV histories of
// tests/data/nav, for tests that download them from a local server.

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <algorithm>

#include "support/test_support.h"

namespace tovira::test {

// One row of the provider's history table, as in the CSV histories of
// tests/data/nav (date,nav,acc_nav,change_pct,purchase_status,
// redeem_status,dividend_text, oldest first).
struct NavRow {
    QString date, nav, acc, change, purchase, redeem, dividend;
};

inline QList<NavRow> ReadRows(const char* relative) {
    QList<NavRow> rows;
    const QStringList lines = QString::fromUtf8(ReadFileBytes(DataPath(relative))).split('\n');
    for (int i = 1; i < lines.size(); ++i) {
        const QStringList f = lines[i].trimmed().split(',');
        if (f.size() != 7) continue;
        rows.append({f[0], f[1], f[2], f[3], f[4], f[5], f[6]});
    }
    return rows;
}

inline QList<NavRow> Between(const QList<NavRow>& rows, const char* from, const char* to) {
    QList<NavRow> out;
    for (const NavRow& r : rows) {
        if (r.date >= QLatin1String(from) && r.date <= QLatin1String(to)) out << r;
    }
    return out;
}

// The change cell as the provider colours it. How it marks up an empty
// change has not been seen; emptyClass picks the guess.
inline QString ChangeCell(const QString& change, const QString& emptyClass) {
    if (change.isEmpty()) return QStringLiteral("<td class='%1'></td>").arg(emptyClass);
    const double v = change.chopped(1).toDouble();
    const char* colour = v > 0 ? "red" : v < 0 ? "grn" : "bck";
    return QStringLiteral("<td class='tor bold %1'>%2</td>").arg(QLatin1String(colour), change);
}

// The table the provider serves, rows newest first.
inline QString RenderTable(const QList<NavRow>& oldestFirst,
                           const QString& emptyClass = QStringLiteral("tor bold")) {
    QString t = QStringLiteral(
        "<table class='w782 comm lsjz'><thead><tr><th class='first'>净值日期</th><th>单位净值</th>"
        "<th>累计净值</th><th>日增长率</th><th>申购状态</th><th>赎回状态</th>"
        "<th class='tor last'>分红送配</th></tr></thead><tbody>");
    for (auto r = oldestFirst.crbegin(); r != oldestFirst.crend(); ++r) {
        t += QStringLiteral(
                 "<tr><td>%1</td><td class='tor bold'>%2</td><td class='tor bold'>%3</td>")
                 .arg(r->date, r->nav, r->acc) +
             ChangeCell(r->change, emptyClass) +
             QStringLiteral("<td>%1</td><td>%2</td><td class='red unbold'>%3</td></tr>")
                 .arg(r->purchase, r->redeem, r->dividend);
    }
    return t + QStringLiteral("</tbody></table>");
}

inline QString RenderPage(const QList<NavRow>& oldestFirst, int records, int pages, int curpage = 1,
                          const QString& emptyClass = QStringLiteral("tor bold")) {
    return QStringLiteral("var apidata={ content:\"%1\",records:%2,pages:%3,curpage:%4};")
        .arg(RenderTable(oldestFirst, emptyClass))
        .arg(records)
        .arg(pages)
        .arg(curpage);
}

// The pages of a range served `perPage` rows a page, newest first: page 1
// holds the newest days. Element 0 is page 1.
inline QList<QString> RenderPages(const QList<NavRow>& oldestFirst, int perPage) {
    const int total = int(oldestFirst.size());
    const int pages = (total + perPage - 1) / perPage;
    QList<QString> out;
    for (int page = 1; page <= pages; ++page) {
        const int to = total - perPage * (page - 1);
        const int from = std::max(0, to - perPage);
        out << RenderPage(oldestFirst.mid(from, to - from), total, pages, page);
    }
    return out;
}

}  // namespace tovira::test
