#pragma once
// The provider's NAV-history page and the NAV history string made from it:
// record 0 is the oldest day's change without "%", then one record per
// trading day, oldest first: date (yyyy/M/d), unit NAV, purchase status,
// redemption status, dividend text, joined by "," and the records by "|".

#include <QDate>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>

#include "core/common/messages.h"

namespace tovira {

class HttpClient;

// baseUrl + "/f10/F10DataApi.aspx?type=lsjz&code=..&page=..&per=..&sdate=..&edate=.."
// per defaults to the calendar days of the range, both ends included.
QUrl NavHistoryUrl(const QString& baseUrl, const QString& code, const QDate& start,
                   const QDate& end, int page = 1, int per = 0);

// One page parsed by the page's markers. A page whose table is not closed
// was cut off: the rows it holds are the newest ones, so none of them is
// taken (the older days before them are missing).
struct NavPage {
    QString oldestChange;   // record 0 of this page ("" when not reached)
    QStringList records;    // the days that parsed, oldest first
    bool complete = false;  // the table is closed and every row parsed
    bool closed = false;    // the table's closing marker came
    int rows = 0;           // rows the table holds, parsed or not
    int totalRecords = -1;  // "records:N" of the envelope, -1 when absent
    int pages = -1;         // "pages:P" of the envelope, -1 when absent
};
NavPage ParseNavPage(const QString& pageText);

// The NAV history string of one page; *complete is false when the parse
// stopped early (the string then holds what came before the failure).
QString ParseNavHistory(const QString& pageText, bool* complete = nullptr);

// Downloads the history of a range. When the provider serves the range in
// several pages, the pages are fetched oldest first, so a failure part way
// still leaves the oldest days without gaps. A page counts only when its
// table is closed and its rows agree with the envelope's record count.
// totalLimitMs > 0 bounds the whole download, all pages together.
struct NavDownloadResult {
    QString history;        // the NAV history string ("" when nothing came)
    bool complete = false;  // the whole range arrived
    bool timedOut = false;  // a request ran out of time
    bool overTime = false;  // the whole download ran out of time
    bool noDays = false;    // the provider answered that the range holds no day (records:0)
};
// progress, when given, hears the pages received so far and how many the
// range takes (1 until the first page tells), after each page.
using NavProgress = std::function<void(int pagesDone, int pages)>;
void DownloadNavHistory(HttpClient& client, const QString& baseUrl, const QString& code,
                        const QDate& start, const QDate& end,
                        std::function<void(const NavDownloadResult&)> done,
                        QObject* context = nullptr, int totalLimitMs = 0,
                        NavProgress progress = {});

// The message for a download that did not get the whole range.
const char* NavFailureMessage(const NavDownloadResult& result);

}  // namespace tovira
