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

// Why a download did not bring the whole range. Each has its own message,
// and the command line its own exit status (see NavFailureStatus).
enum class NavFailure {
    None,
    Network,     // no connection, or it broke off (detail: the transport's words)
    Tls,         // the secure connection failed (detail: the transport's words)
    TimedOut,    // a request ran out of time
    OverTime,    // the whole download ran out of time
    HttpStatus,  // an answer with an error status (detail: the status)
    Moved,       // redirected to another host or to a page that is not there (detail: where)
    NotData,     // a web page or other text instead of the data
    Malformed,   // data that does not parse or lacks what it must hold
    BadRow,      // a day without a date or NAV, or one that is not a date or number (detail: which)
    Refused,     // the provider refused the request (detail: its error code)
    MoneyFund,   // a money-market fund: its figures are income per 10,000 shares, not a NAV
    NoDays,      // the provider answered that the range holds no day
    Incomplete,  // a page held fewer or more rows than its place calls for
};

// One page parsed by the page's markers. A page whose table is not closed
// was cut off: the rows it holds are the newest ones, so none of them is
// taken (the older days before them are missing).
struct NavPage {
    QString oldestChange;                   // record 0 of this page ("" when not reached)
    QStringList records;                    // the days that parsed, oldest first
    bool complete = false;                  // the table is closed and every row parsed
    bool closed = false;                    // the table's closing marker came
    int rows = 0;                           // rows the table holds, parsed or not
    int totalRecords = -1;                  // "records:N" of the envelope, -1 when absent
    int pages = -1;                         // "pages:P" of the envelope, -1 when absent
    NavFailure failure = NavFailure::None;  // why the page is unusable, when it is
    QString detail;                         // what that failure's message names
};
NavPage ParseNavPage(const QString& pageText);

// A provider's status or dividend text as a field of a record, whatever the
// source: no control characters, and the record's own separators (",", "|")
// in their full-width forms, so that a text holding one cannot shift the
// fields of its day or split it in two.
QString NavRecordField(const QString& providerText);

// The JSON endpoint: baseUrl + "/f10/lsjz?fundCode=..&pageIndex=..&pageSize=..
// &startDate=yyyy-MM-dd&endDate=yyyy-MM-dd". The provider serves at most 20
// rows a page, newest first.
constexpr int kNavApiPageSize = 20;
QUrl NavHistoryApiUrl(const QString& baseUrl, const QString& code, const QDate& start,
                      const QDate& end, int page = 1, int pageSize = kNavApiPageSize);
// The page of the provider's site that the JSON endpoint expects as Referer;
// without it the endpoint answers ErrCode -999 and no data.
QByteArray NavHistoryApiReferer(const QString& code);
// One answer of the JSON endpoint, read by field name. A page whose JSON does
// not parse (cut off, or not JSON at all) is not taken: failure says why.
NavPage ParseNavApiPage(const QString& json);

// The NAV history string of one page; *complete is false when the parse
// stopped early (the string then holds what came before the failure).
QString ParseNavHistory(const QString& pageText, bool* complete = nullptr);

// Downloads the history of a range. When the provider serves the range in
// several pages, the pages are fetched oldest first, so a failure part way
// still leaves the oldest days without gaps. A page counts only when its
// table is closed and its rows agree with the envelope's record count.
// totalLimitMs > 0 bounds the whole download, all pages together.
struct NavDownloadResult {
    QString history;             // the NAV history string ("" when nothing came)
    bool complete = false;       // the whole range arrived
    bool timedOut = false;       // a request ran out of time
    bool overTime = false;       // the whole download ran out of time
    bool noDays = false;         // the provider answered that the range holds no day (records:0)
    bool withoutStatus = false;  // the source has no purchase or redemption status
    NavFailure failure = NavFailure::None;  // set whenever complete is false
    QString detail;                         // what the failure's message names
};
// progress, when given, hears the pages received so far and how many the
// range takes (1 until the first page tells), after each page.
using NavProgress = std::function<void(int pagesDone, int pages)>;
using NavDone = std::function<void(const NavDownloadResult&)>;
void DownloadNavHistory(HttpClient& client, const QString& baseUrl, const QString& code,
                        const QDate& start, const QDate& end, NavDone done,
                        QObject* context = nullptr, int totalLimitMs = 0,
                        NavProgress progress = {});

// Where a history comes from: the JSON endpoint (Config.ini 服务器/NavHistoryApi),
// the HTML table (NavHistory), or the trend script (FundDataScript), which has
// every day in one answer but no purchase or redemption status.
enum class NavSource { Api, Table, Trend };

// The same download from the chosen source; baseUrl is that source's.
void DownloadNavHistoryFrom(NavSource source, HttpClient& client, const QString& baseUrl,
                            const QString& code, const QDate& start, const QDate& end, NavDone done,
                            QObject* context = nullptr, int totalLimitMs = 0,
                            NavProgress progress = {});

// The message for a download that did not get the whole range.
QString NavFailureMessage(const NavDownloadResult& result);
// The command line's exit status for it: 3 a network or provider failure or
// an incomplete answer, 4 nothing in the range, 1 a fund that cannot be
// back-tested.
int NavFailureStatus(const NavDownloadResult& result);
// Whether another source might do better: the source could not be reached
// or did not answer with usable data (not an empty range, a money fund, or
// the time limit of the whole download, which a slow source reaches).
bool NavSourceUnreachable(const NavDownloadResult& result);

}  // namespace tovira
