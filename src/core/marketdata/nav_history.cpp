#include "core/marketdata/nav_history.h"

#include <QDeadlineTimer>
#include <QMetaObject>
#include <QPointer>
#include <QRegularExpression>
#include <QVector>
#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>

#include "core/common/ledger_date.h"
#include "core/common/numbers.h"
#include "core/common/single_line_text.h"
#include "core/marketdata/fund_trend_script.h"
#include "core/marketdata/http_client.h"

namespace tovira {

namespace {

// The page's markers. Everything else in the page is ignored.
const QString kHeadEnd = QStringLiteral("</th></tr></thead><tbody><tr><td>");
const QString kBodyEnd = QStringLiteral("</td></tr></tbody></table>");
const QString kRowSeparator = QStringLiteral("</td></tr><tr><td>");
const QString kChangeEnd = QStringLiteral("%</td><td>");
const QString kNavCell = QStringLiteral("</td><td class='tor bold'>");
const QString kDividendCell = QStringLiteral("</td><td class='red unbold'>");
const QString kPlainCell = QStringLiteral("</td><td>");

// The date cell as a date: the provider writes yyyy-MM-dd; yyyy/M/d is
// accepted as well.
QDate CellDate(const QString& text) {
    for (const char* format : {"yyyy-M-d", "yyyy/M/d"}) {
        const QDate d = QDate::fromString(text, QLatin1String(format));
        if (d.isValid()) return d;
    }
    return {};
}

// One row as a day record (oldest-first order does not matter here).
struct Day {
    bool complete = false;  // the row has every cell a day needs
    QString record;         // null when the row is no day
    QString detail;         // why not, when the row is complete
};

// "The rest" after the unit NAV is taken as the whole remainder of the row,
// not only up to a further "tor bold" cell: a row whose change cell is an
// empty <td class='tor bold'></td> (a 封闭期 day or a non-trading day) then
// still yields its statuses and dividend. For every other row this is the
// same as taking piece 2.
//
// No control character reaches the record (a line break would break the plan
// file's line as well). The date and the NAV must read as a date and as a
// positive number: a "," or "|" in either would shift the fields of the day
// or split it in two, so a row whose date or NAV does not read is no day, and
// the detail names the cell.
Day DayRecord(const QString& row) {
    Day day;
    const qsizetype navStart = row.indexOf(kNavCell);
    if (navStart < 0) return day;
    const qsizetype navEnd = row.indexOf(kNavCell, navStart + kNavCell.size());
    if (navEnd < 0) return day;
    const QString rest = row.mid(navEnd + kNavCell.size());
    const QStringList restParts = rest.split(kDividendCell);
    if (restParts.size() < 2) return day;
    const QStringList cells = restParts[0].split(kPlainCell);
    if (cells.size() < 3) return day;
    day.complete = true;

    const QString dateText = StripControlCharacters(row.left(navStart)).trimmed();
    const QDate date = CellDate(dateText);
    if (!date.isValid()) {
        day.detail = QString::fromUtf8(kMsgNavNotADate).arg(dateText.left(20));
        return day;
    }
    const QString dayText = date.toString(QStringLiteral("yyyy/M/d"));
    const QString nav = StripControlCharacters(row.mid(navStart + kNavCell.size(),
                                                       navEnd - navStart - kNavCell.size()))
                            .trimmed();
    const std::optional<double> value = StrictNumber(nav);
    if (!value || !std::isfinite(*value) || !(*value > 0)) {
        day.detail = QString::fromUtf8(kMsgNavNotANav).arg(dayText, nav.left(20));
        return day;
    }
    day.record = dayText + QLatin1Char(',') + nav + QLatin1Char(',') + NavRecordField(cells[1]) +
                 QLatin1Char(',') + NavRecordField(cells[2]) + QLatin1Char(',') +
                 NavRecordField(restParts[1]);
    return day;
}

// Record 0 from the oldest row: the text before "%</td><td>", its last ten
// characters, the piece after the first ">" in them. A null string when a
// piece is missing.
//
// A row without "%</td><td>" has an empty change cell: the first day of a
// new fund (封闭期) or a non-trading day the provider lists. Taking the
// last ten characters of the whole row would give a scrap of its dividend
// cell, so such a row gives "0" instead, as long as the row has every cell
// of a day: nothing changed that could be counted, row 1's Increase then
// reads 0, and record 0 stays non-empty. A row that is not a day at all
// fails as before; one whose date or NAV does not read fails as a day.
QString OldestChange(const QString& row) {
    const qsizetype changeEnd = row.indexOf(kChangeEnd);
    if (changeEnd < 0) {
        return DayRecord(row).complete ? QStringLiteral("0") : QString();
    }
    const QString tail = row.left(changeEnd).right(10);
    const QStringList pieces = tail.split(QLatin1Char('>'));
    if (pieces.size() < 2) return {};
    return StripControlCharacters(pieces[1]);
}

void ReadEnvelope(const QString& text, NavPage* page) {
    static const QRegularExpression envelope(
        QStringLiteral("records:\\s*(\\d{1,9})\\s*,\\s*pages:\\s*(\\d{1,9})"));
    // The envelope follows the table; the last match is the one that counts.
    QRegularExpressionMatch last;
    auto it = envelope.globalMatch(text);
    while (it.hasNext()) last = it.next();
    if (!last.hasMatch()) return;
    page->totalRecords = last.captured(1).toInt();
    page->pages = last.captured(2).toInt();
}

NavPage Parse(const QString& text) {
    NavPage page;
    ReadEnvelope(text, &page);

    const qsizetype headEnd = text.indexOf(kHeadEnd);
    if (headEnd < 0) {
        // "暂无数据" comes with records:0; anything else is no NAV table.
        page.failure = page.totalRecords == 0 ? NavFailure::NoDays : NavFailure::NotData;
        return page;
    }
    QString body = text.mid(headEnd + kHeadEnd.size());
    // Piece 1 of the first split ends at a second header marker, if any.
    const qsizetype secondHead = body.indexOf(kHeadEnd);
    if (secondHead >= 0) body.truncate(secondHead);
    // An answer cut short can end right after a row's last cell opened and
    // would read as a shorter page of whole rows: without the closing marker
    // the page is not taken at all.
    const qsizetype bodyEnd = body.indexOf(kBodyEnd);
    if (bodyEnd < 0) {
        page.failure = NavFailure::Malformed;
        return page;
    }
    body.truncate(bodyEnd);
    page.closed = true;

    const QStringList rows = body.split(kRowSeparator);  // newest first
    page.rows = static_cast<int>(rows.size());

    const QString change = OldestChange(rows.back());
    if (change.isNull()) {
        page.failure = NavFailure::BadRow;
        page.detail = QStringLiteral("第1天的表格行无法识别");
        return page;
    }
    page.oldestChange = change;

    // A row that is no day ends the page, keeping the older days before it.
    for (auto row = rows.crbegin(); row != rows.crend(); ++row) {
        const Day day = DayRecord(*row);
        if (day.record.isNull()) {
            page.failure = NavFailure::BadRow;
            page.detail =
                day.complete
                    ? day.detail
                    : QStringLiteral("第%1天的表格行无法识别").arg(page.records.size() + 1);
            return page;
        }
        page.records << day.record;
    }
    page.complete = true;
    return page;
}

QString JoinHistory(const QString& oldestChange, const QStringList& records) {
    if (oldestChange.isNull()) return {};
    QString history = oldestChange;
    for (const QString& r : records) history += QLatin1Char('|') + r;
    return history;
}

QDate RecordDate(const QString& record) {
    return ReadLedgerDate(record.section(QLatin1Char(','), 0, 0)).value_or(QDate());
}

// One download in progress: the pages still to fetch, newest last.
struct Download {
    HttpClient* client = nullptr;
    std::function<QUrl(int page)> url;             // the request of a page
    HttpHeaders headers;                           // sent with every page
    std::function<NavPage(const QString&)> parse;  // the answer of a page
    bool statusCounts = false;   // an error status fails the page whatever it holds
    bool withoutStatus = false;  // the source gives no purchase or redemption status
    QDate start;
    QDate end;
    int per = 0;
    QPointer<QObject> context;
    OwnerGuard owner;
    std::function<void(const NavDownloadResult&)> done;
    NavProgress progress;
    int pagesDone = 0;
    bool limited = false;  // the whole download has a time limit
    QDeadlineTimer deadline;

    NavPage firstPage;  // page 1, kept for the end
    int pageRows = 0;   // rows of a full page (page 1's)
    int pageCount = 1;
    QVector<int> pagesToFetch;  // in fetch order: P, P-1, ..., 2
    QString oldestChange;       // null until the oldest page came
    QStringList records;
    QDate lastDate;
    bool timedOut = false;
    bool overTime = false;
    bool noDays = false;
    bool requestCutByTotal = false;         // the request under way ends with the whole limit
    NavFailure failure = NavFailure::None;  // the first thing that went wrong
    QString detail;

    void Fail(NavFailure why, const QString& what = {}) {
        if (failure != NavFailure::None) return;
        failure = why;
        detail = what;
    }

    // The page of an answer, or nothing when the answer itself failed (its
    // failure noted).
    std::optional<NavPage> PageOf(const HttpResponse& response) {
        NoteAnswer(response);
        if (response.redirectRefused) {
            Fail(NavFailure::Moved, response.redirectedTo.toString());
            return std::nullopt;
        }
        if (!response.ok) {
            if (response.timedOut) {
                Fail(requestCutByTotal ? NavFailure::OverTime : NavFailure::TimedOut);
            } else {
                Fail(response.tlsFailed ? NavFailure::Tls : NavFailure::Network, response.error);
            }
            return std::nullopt;
        }
        const bool errorStatus = response.status < 200 || response.status > 299;
        NavPage page = parse(response.text);
        if (errorStatus && (statusCounts || !page.closed)) {
            // A redirect within the host that ends on an error page: the
            // source has moved.
            if (!response.redirectedTo.isEmpty()) {
                Fail(NavFailure::Moved, response.redirectedTo.toString());
            } else {
                Fail(NavFailure::HttpStatus, QString::number(response.status));
            }
            return std::nullopt;
        }
        if (page.failure != NavFailure::None) Fail(page.failure, page.detail);
        return page;
    }

    void Append(const NavPage& page) {
        for (const QString& r : page.records) {
            const QDate d = RecordDate(r);
            // Pages fetched one after another may overlap when the provider
            // publishes a new day in between.
            if (d.isValid() && lastDate.isValid() && d <= lastDate) continue;
            records << r;
            if (d.isValid()) lastDate = d;
        }
    }

    // Whether a page holds the rows its place calls for: a full page before
    // the last one, and on the last one what the record count leaves. Rows
    // missing anywhere in a page make the whole page unusable: which days
    // they were cannot be told.
    bool RowsAgree(const NavPage& page, int pageNo) const {
        if (pageCount <= 1) return page.totalRecords < 0 || page.rows == page.totalRecords;
        if (pageNo < pageCount) return page.rows == pageRows;
        const qint64 before = qint64(pageRows) * (pageCount - 1);
        if (page.totalRecords > before && page.totalRecords <= before + pageRows) {
            return page.rows == page.totalRecords - before;
        }
        return page.rows >= 1 && page.rows <= pageRows;
    }

    void NoteAnswer(const HttpResponse& response) {
        if (!response.timedOut) return;
        if (requestCutByTotal) {
            overTime = true;
        } else {
            timedOut = true;
        }
    }

    // Sends the request of one page, within what is left of the whole limit.
    // False when no time is left.
    bool Request(int page, std::function<void(const HttpResponse&)> answer) {
        int limitMs = 0;
        requestCutByTotal = false;
        if (limited) {
            const qint64 left = deadline.remainingTime();
            if (left <= 0) {
                overTime = true;
                return false;
            }
            const int perRequest = client->Timeout();
            if (perRequest <= 0 || left < perRequest) {
                limitMs = int(std::max<qint64>(1, left));
                requestCutByTotal = true;
            }
        }
        client->Get(url(page), std::move(answer), context.data(), limitMs, {}, headers);
        return true;
    }

    // A page was received and taken.
    void NotePage() {
        ++pagesDone;
        if (progress && !owner.Gone()) progress(pagesDone, pageCount);
    }

    void Finish(bool complete) {
        NavDownloadResult result;
        result.history = JoinHistory(oldestChange, records);
        result.complete = complete && !result.history.isEmpty();
        result.timedOut = timedOut;
        result.overTime = overTime;
        result.noDays = noDays && !result.complete;
        result.withoutStatus = withoutStatus;
        if (!result.complete) {
            result.failure = failure != NavFailure::None ? failure
                             : overTime                  ? NavFailure::OverTime
                             : timedOut                  ? NavFailure::TimedOut
                             : result.noDays             ? NavFailure::NoDays
                                                         : NavFailure::Incomplete;
            result.detail = detail;
        }
        if (owner.Gone() || !done) return;
        const auto callback = done;
        callback(result);
    }
};

void FetchNextPage(const std::shared_ptr<Download>& d);

void OnOlderPage(const std::shared_ptr<Download>& d, int pageNo, const HttpResponse& response) {
    const std::optional<NavPage> answer = d->PageOf(response);
    if (!answer) return d->Finish(false);
    const NavPage& page = *answer;
    if (!page.closed) return d->Finish(false);
    if (!d->RowsAgree(page, pageNo)) {
        d->Fail(NavFailure::Incomplete, QString::number(pageNo));
        return d->Finish(false);
    }
    if (d->oldestChange.isNull()) {
        // The oldest page gives record 0.
        if (page.oldestChange.isNull()) return d->Finish(false);
        d->oldestChange = page.oldestChange;
    }
    d->Append(page);
    if (!page.complete) return d->Finish(false);
    d->NotePage();
    FetchNextPage(d);
}

void FetchNextPage(const std::shared_ptr<Download>& d) {
    if (d->pagesToFetch.isEmpty()) {
        d->Append(d->firstPage);
        return d->Finish(d->firstPage.complete);
    }
    const int page = d->pagesToFetch.takeFirst();
    if (!d->Request(page, [d, page](const HttpResponse& r) { OnOlderPage(d, page, r); })) {
        d->Finish(false);
    }
}

void OnFirstPage(const std::shared_ptr<Download>& d, const HttpResponse& response) {
    const std::optional<NavPage> answer = d->PageOf(response);
    if (!answer) return d->Finish(false);
    const NavPage& page = *answer;
    // An envelope that counts no record: the range has no day yet.
    if (page.totalRecords == 0 && page.records.isEmpty()) d->noDays = true;
    if (!page.closed) return d->Finish(false);
    d->firstPage = page;

    // The provider caps the page size: a long range comes in several pages,
    // newest first. Count them from the envelope, but never more than the
    // range's calendar days could fill.
    int pages = 1;
    if (page.rows > 0) {
        const qint64 byRecords = (qint64(page.totalRecords) + page.rows - 1) / page.rows;
        const qint64 byDays = (qint64(d->per) + page.rows - 1) / page.rows;
        pages = int(std::min(std::max<qint64>({1, page.pages, byRecords}), byDays));
    }
    d->pageRows = page.rows;
    d->pageCount = pages;
    if (pages <= 1) {
        if (!d->RowsAgree(page, 1)) {
            d->Fail(NavFailure::Incomplete, QStringLiteral("1"));
            return d->Finish(false);
        }
        d->oldestChange = page.oldestChange;
        d->records = page.records;
        if (page.complete) d->NotePage();
        return d->Finish(page.complete);
    }
    d->NotePage();
    for (int p = pages; p >= 2; --p) d->pagesToFetch << p;
    FetchNextPage(d);
}

}  // namespace

QString NavRecordField(const QString& providerText) {
    QString text = StripControlCharacters(providerText);
    text.replace(u',', u'\uFF0C').replace(u'|', u'\uFF5C');
    return text;
}

QUrl NavHistoryUrl(const QString& baseUrl, const QString& code, const QDate& start,
                   const QDate& end, int page, int per) {
    if (per == 0) per = static_cast<int>(start.daysTo(end) + 1);
    QString base = baseUrl;
    while (base.endsWith(QLatin1Char('/'))) base.chop(1);
    const QString dateFormat = QStringLiteral("yyyy/M/d");
    // Written out by hand: the slashes of the dates go out as they are.
    const QString url = base + QStringLiteral("/f10/F10DataApi.aspx?type=lsjz&code=") + code +
                        QStringLiteral("&page=") + QString::number(page) + QStringLiteral("&per=") +
                        QString::number(per) + QStringLiteral("&sdate=") +
                        start.toString(dateFormat) + QStringLiteral("&edate=") +
                        end.toString(dateFormat);
    return QUrl(url, QUrl::TolerantMode);
}

NavPage ParseNavPage(const QString& pageText) { return Parse(pageText); }

QString ParseNavHistory(const QString& pageText, bool* complete) {
    const NavPage page = ParseNavPage(pageText);
    if (complete) *complete = page.complete;
    return JoinHistory(page.oldestChange, page.records);
}

namespace {

void Start(const std::shared_ptr<Download>& d, HttpClient& client, const QDate& start,
           const QDate& end, NavDone done, QObject* context, int totalLimitMs,
           NavProgress progress) {
    d->client = &client;
    d->start = start;
    d->end = end;
    d->context = context;
    d->owner = OwnerGuard(context);
    d->done = std::move(done);
    d->progress = std::move(progress);
    d->limited = totalLimitMs > 0;
    if (d->limited) d->deadline = QDeadlineTimer(totalLimitMs);

    // Nothing to ask for (or no time to ask): answer later all the same, like
    // a request would.
    const auto failLater = [&] {
        QMetaObject::invokeMethod(
            context ? context : &client, [d] { d->Finish(false); }, Qt::QueuedConnection);
    };
    if (!start.isValid() || !end.isValid() || end < start) {
        d->Fail(NavFailure::NoDays);
        return failLater();
    }
    d->per = static_cast<int>(start.daysTo(end) + 1);
    if (!d->Request(1, [d](const HttpResponse& response) { OnFirstPage(d, response); })) {
        failLater();
    }
}

}  // namespace

void DownloadNavHistory(HttpClient& client, const QString& baseUrl, const QString& code,
                        const QDate& start, const QDate& end, NavDone done, QObject* context,
                        int totalLimitMs, NavProgress progress) {
    DownloadNavHistoryFrom(NavSource::Table, client, baseUrl, code, start, end, std::move(done),
                           context, totalLimitMs, std::move(progress));
}

void DownloadNavHistoryFrom(NavSource source, HttpClient& client, const QString& baseUrl,
                            const QString& code, const QDate& start, const QDate& end, NavDone done,
                            QObject* context, int totalLimitMs, NavProgress progress) {
    auto d = std::make_shared<Download>();
    switch (source) {
        case NavSource::Table: {
            const int per = start.isValid() && end.isValid() ? int(start.daysTo(end) + 1) : 1;
            d->url = [=](int page) { return NavHistoryUrl(baseUrl, code, start, end, page, per); };
            d->parse = Parse;
            break;
        }
        case NavSource::Api:
            d->url = [=](int page) { return NavHistoryApiUrl(baseUrl, code, start, end, page); };
            d->headers = {{QByteArrayLiteral("Referer"), NavHistoryApiReferer(code)}};
            d->parse = ParseNavApiPage;
            d->statusCounts = true;
            break;
        case NavSource::Trend:
            // Every day of the fund in one answer; the range is cut from it.
            d->url = [=](int) { return FundTrendScriptUrl(baseUrl, code); };
            d->parse = [=](const QString& text) { return ParseFundTrendScript(text, start, end); };
            d->statusCounts = true;
            d->withoutStatus = true;
            break;
    }
    Start(d, client, start, end, std::move(done), context, totalLimitMs, std::move(progress));
}

QString NavFailureMessage(const NavDownloadResult& result) {
    const QString& detail = result.detail;
    switch (result.failure) {
        case NavFailure::OverTime:
            return QString::fromUtf8(kMsgNavOverTime);
        case NavFailure::TimedOut:
            return QString::fromUtf8(kMsgNavTimedOut);
        case NavFailure::Network:
            return QString::fromUtf8(kMsgNavNetwork).arg(detail);
        case NavFailure::Tls:
            return QString::fromUtf8(kMsgNavTls).arg(detail);
        case NavFailure::HttpStatus:
            return QString::fromUtf8(kMsgNavHttpStatus).arg(detail);
        case NavFailure::Moved:
            return QString::fromUtf8(kMsgNavMoved).arg(detail);
        case NavFailure::NotData:
            return QString::fromUtf8(kMsgNavNotData);
        case NavFailure::Malformed:
            return QString::fromUtf8(kMsgNavMalformed);
        case NavFailure::BadRow:
            return QString::fromUtf8(kMsgNavBadRow).arg(detail);
        case NavFailure::Refused:
            return QString::fromUtf8(kMsgNavRefused).arg(detail);
        case NavFailure::MoneyFund:
            return QString::fromUtf8(kMsgNavMoneyFund);
        case NavFailure::Incomplete:
            return QString::fromUtf8(kMsgNavIncomplete);
        case NavFailure::NoDays:
        case NavFailure::None:
            break;
    }
    return QString::fromUtf8(kMsgNavFailed);
}

int NavFailureStatus(const NavDownloadResult& result) {
    switch (result.failure) {
        case NavFailure::MoneyFund:
            return 1;
        case NavFailure::NoDays:
            return 4;
        default:
            return 3;
    }
}

bool NavSourceUnreachable(const NavDownloadResult& result) {
    switch (result.failure) {
        case NavFailure::None:
        case NavFailure::NoDays:
        case NavFailure::MoneyFund:
        case NavFailure::OverTime:  // it answers, only slowly: the days so far are kept
            return false;
        default:
            return true;
    }
}

}  // namespace tovira
