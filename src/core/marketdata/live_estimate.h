#pragma once
// Today's estimate of a fund's NAV from one of the sources that answer: what
// every source's reading gives back, and the named ways it can fail. The
// sources' own requests and readings live beside it (estimate_batch,
// sina_estimate, jqka_chart, holdings_estimate); the window and the command
// line pick among them.

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QUrl>
#include <optional>
#include <utility>

namespace tovira {

// The sources in the order the provider box lists them after 自动.
enum class EstimateSource { Tiantian, Sina, Jqka, Howbuy, Holdings };
inline constexpr int kEstimateSourceCount = 5;

// "天天基金", "新浪基金", "爱基金", "好买基金", "持仓估算".
QString EstimateSourceCaption(EstimateSource s);
// The short name the top bar puts after the value: "天天", "新浪", "爱基金",
// "好买", "持仓".
QString EstimateSourceShortName(EstimateSource s);
// The command line's names: "tiantian", "sina", "10jqka", "howbuy", "holdings".
QString EstimateSourceCliName(EstimateSource s);
std::optional<EstimateSource> EstimateSourceByCliName(const QString& name);

// Why a source gave no estimate.
enum class EstimateFailure {
    Gone,         // the source no longer answers: a redirect to, or a page of, "not found"
    NoEstimate,   // it answered, but has no estimate for this fund (or kind of fund)
    NoQuotesYet,  // holdings: too little of the holdings has a quote from today
    Stale,        // the estimate it gives is not from today
    Network,      // the connection failed
    TimedOut,     // no whole answer in time
    Unreadable,   // an answer cut off, or not in the shape the source sends
};

// One estimate, as a source gave it. Times are Beijing time.
struct SourceEstimate {
    EstimateSource source = EstimateSource::Tiantian;
    QDateTime time;                     // when the estimate was made (UTC+8)
    double nav = 0;                     // the estimated NAV
    double changePct = 0;               // against the previous official NAV, in percent
    std::optional<double> previousNav;  // the official NAV the change is against
    std::optional<QDate> previousNavDate;
    // The holdings estimate only.
    std::optional<QDate> holdingsDate;      // report date of the holdings used
    std::optional<double> stockSharePct;    // stock share of NAV used; none when assumed 100
    std::optional<double> quotedWeightPct;  // share of the disclosed weight quoted today
    // The fund's stock share was unknown: the change is what the quoted
    // stocks alone moved the NAV (see holdings_estimate.h).
    bool stockShareMissing = false;
};

// What asking one source came to: an estimate, or a named failure with the
// words that explain it (the transport's error, the field that was missing).
struct EstimateAttempt {
    std::optional<SourceEstimate> estimate;
    EstimateFailure failure = EstimateFailure::Unreadable;
    QString detail;

    static EstimateAttempt Of(SourceEstimate e) { return {std::move(e), {}, {}}; }
    static EstimateAttempt Failed(EstimateFailure f, QString why = {}) {
        return {std::nullopt, f, std::move(why)};
    }
};

// Whether the estimate was made on the given Beijing date: only then is it
// today's estimate (after the close, on holidays and for frozen values the
// sources keep answering with an older one).
inline bool IsDatedOn(const SourceEstimate& e, const QDate& beijingDate) {
    return e.time.isValid() && e.time.date() == beijingDate;
}

// The words the window and the command line give for a failure, one short
// sentence each ("数据源已停止服务", "该数据源没有这只基金的估值", ...).
QString EstimateFailureMessage(EstimateFailure f);
// The failure's words, followed by the attempt's detail when it has one.
QString EstimateFailureText(const EstimateAttempt& attempt);

// Whether a body is a "not found" web page: an HTML title that says 未找到,
// 404 or "not found". A source that shut down serves one in place of its
// answer (with status 200 from a cache in front of it).
bool IsNotFoundPage(const QByteArray& body);

// What an answer's envelope already tells, before its body is read: Gone for
// a redirect to a not-found address (a path naming notfound or 404) or a
// not-found page whatever the status; Network for any other status outside
// 200..299, a redirect that was not followed included. Nothing when the body
// is for the source's reader. finalUrl is where the last redirect pointed.
std::optional<EstimateAttempt> ClassifyAnswer(int status, bool redirected, const QUrl& finalUrl,
                                              const QByteArray& body);

struct HttpResponse;
// The same for a whole response, a transport failure (TimedOut, Network)
// first.
std::optional<EstimateAttempt> ClassifyAnswer(const HttpResponse& response);

}  // namespace tovira
