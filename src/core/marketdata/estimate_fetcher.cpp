#include "core/marketdata/estimate_fetcher.h"

#include <QRegularExpression>
#include <QStringList>
#include <cmath>

#include "core/common/beijing_time.h"
#include "core/common/numbers.h"
#include "core/common/random_number.h"
#include "core/marketdata/config.h"
#include "core/marketdata/estimate.h"
#include "core/marketdata/estimate_batch.h"
#include "core/marketdata/fund_holdings.h"
#include "core/marketdata/fund_trend_script.h"
#include "core/marketdata/http_client.h"
#include "core/marketdata/jqka_chart.h"
#include "core/marketdata/sina_estimate.h"
#include "core/marketdata/stock_quotes.h"

namespace tovira {

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

const char* const kChoiceAuto = "自动";
// The callback name Sina's JSONP answer is wrapped in.
const char* const kSinaCallback = "tovira";

using Attempt = EstimateAttempt;

// How much a failure tells the user, most first: a failure worth retrying
// over an answer that was unreadable, over an old estimate, over "nothing
// for this fund", over a source that has shut down (others may still answer).
int Telling(EstimateFailure f) {
    switch (f) {
        case EstimateFailure::TimedOut:
        case EstimateFailure::Network:
            return 6;
        case EstimateFailure::Unreadable:
            return 5;
        case EstimateFailure::Stale:
            return 4;
        case EstimateFailure::NoQuotesYet:
            return 3;
        case EstimateFailure::NoEstimate:
            return 2;
        case EstimateFailure::Gone:
            return 1;
    }
    return 0;
}

// An estimate of the old providers' readings (figures as the top bar shows
// them), as of `time`.
std::optional<SourceEstimate> FromOldEstimate(EstimateSource source, const Estimate& e,
                                              const QDateTime& time) {
    SourceEstimate out;
    out.source = source;
    out.time = time;
    out.nav = ReadNumber(e.value);
    QString change = e.change;
    change.chop(1);  // "%"
    out.changePct = ReadNumber(change);
    if (e.previousNav) out.previousNav = ReadNumber(*e.previousNav);
    if (!(out.nav > 0) || !std::isfinite(out.changePct)) return std::nullopt;
    return out;
}

// The old readings give nothing both for a whole answer without an estimate
// ("jsonpgz();") and for one cut off: a closed call is the former.
Attempt OldReading(EstimateSource source, EstimateProvider provider, const QString& body,
                   const QDateTime& time, bool isCall) {
    if (const std::optional<Estimate> e = ParseEstimate(provider, body)) {
        if (std::optional<SourceEstimate> s = FromOldEstimate(source, *e, time))
            return Attempt::Of(*s);
        return Attempt::Failed(EstimateFailure::Unreadable);
    }
    if (isCall && !IsClosedCall(body)) return Attempt::Failed(EstimateFailure::Unreadable);
    return Attempt::Failed(EstimateFailure::NoEstimate);
}

// The script estimate's own time and NAV date ("gztime":"2026-07-22 15:00",
// "jzrq":"2026-07-21"); the fetch's time when it gives none.
Attempt ReadScriptAnswer(const QString& body, const QDateTime& fetched) {
    static const QRegularExpression gztime(QStringLiteral("\"gztime\"\\s*:\\s*\"([^\"]*)\""));
    static const QRegularExpression jzrq(QStringLiteral("\"jzrq\"\\s*:\\s*\"([^\"]*)\""));
    const QRegularExpressionMatch t = gztime.match(body);
    QDateTime time = fetched;
    if (t.hasMatch()) {
        time = ReadBeijingDateTime(t.capturedView(1));
        if (!time.isValid())
            return Attempt::Failed(EstimateFailure::Unreadable, QStringLiteral("gztime"));
    }
    Attempt a = OldReading(EstimateSource::Tiantian, EstimateProvider::Tiantian, body, time, true);
    if (a.estimate) {
        const QRegularExpressionMatch d = jzrq.match(body);
        const QDate date = d.hasMatch() ? ReadDashedDate(d.capturedView(1)) : QDate();
        if (date.isValid()) a.estimate->previousNavDate = date;
    }
    return a;
}

bool IsNewer(const QDate& a, const std::optional<OfficialNav>& b) {
    return !b || (a.isValid() && a > b->date);
}

}  // namespace

QStringList EstimateChoiceCaptions() {
    QStringList captions{U(kChoiceAuto)};
    for (int i = 0; i < kEstimateSourceCount; ++i)
        captions << EstimateSourceCaption(static_cast<EstimateSource>(i));
    return captions;
}

QString EstimateChoiceCaption(EstimateChoice choice) {
    return choice ? EstimateSourceCaption(*choice) : U(kChoiceAuto);
}

std::optional<EstimateChoice> EstimateChoiceByCaption(const QString& caption) {
    const QStringList captions = EstimateChoiceCaptions();
    const qsizetype at = captions.indexOf(caption);
    if (at < 0) return std::nullopt;
    EstimateChoice choice;
    if (at > 0) choice = static_cast<EstimateSource>(at - 1);
    return choice;
}

std::vector<EstimateSource> SourcesOf(EstimateChoice choice) {
    if (choice) return {*choice};
    return {EstimateSource::Tiantian, EstimateSource::Sina, EstimateSource::Jqka,
            EstimateSource::Holdings};
}

// One fetch: the sources still to ask and what the asked ones came to. Owned
// by the fetcher alone; the requests' callbacks hold it weakly and its
// context, so dropping it aborts them without a call back.
struct EstimateFetcher::Run {
    EstimateRequest request;
    std::function<void(const EstimateOutcome&)> done;
    std::vector<EstimateSource> sources;
    std::size_t next = 0;
    EstimateOutcome outcome;
    // The batch endpoint's last official NAV, once asked.
    std::optional<OfficialNav> batchNav;
    bool batchAsked = false;
    // The holdings estimate's ground, as it comes in.
    std::optional<HoldingsSnapshot> snapshot;
    // The requests' context: deleting it aborts them without a call back.
    std::unique_ptr<QObject> context = std::make_unique<QObject>();
};

EstimateFetcher::EstimateFetcher(HttpClient& http, const Config& config, QString cacheFolder,
                                 QObject* parent)
    : QObject(parent), http_(http), config_(config), cacheFolder_(std::move(cacheFolder)), now_([] {
          return BeijingNow();
      }) {}

EstimateFetcher::~EstimateFetcher() { Cancel(); }

bool EstimateFetcher::Busy() const { return run_ != nullptr; }

void EstimateFetcher::Cancel() {
    // The callbacks of its requests hold the run: the context goes first,
    // which ends them.
    if (run_) run_->context.reset();
    run_.reset();
}

void EstimateFetcher::Fetch(const EstimateRequest& request,
                            std::function<void(const EstimateOutcome&)> done) {
    auto run = std::make_shared<Run>();
    run->request = request;
    run->done = std::move(done);
    run->sources = SourcesOf(request.choice);
    Cancel();  // the one before, if any, goes with its requests
    run_ = run;
    AskNext(run);
}

void EstimateFetcher::Get(const std::shared_ptr<Run>& run, const QUrl& url,
                          std::function<void(const HttpResponse&)> then,
                          const HttpHeaders& headers) {
    const std::weak_ptr<Run> weak = run;
    http_.Get(
        url,
        [this, weak, then = std::move(then)](const HttpResponse& response) {
            const std::shared_ptr<Run> alive = weak.lock();
            if (!alive || alive != run_) return;
            then(response);
        },
        run->context.get(), 0, {}, headers);
}

void EstimateFetcher::AskNext(const std::shared_ptr<Run>& run) {
    if (run->next >= run->sources.size()) {
        Finish(run);
        return;
    }
    const EstimateSource source = run->sources[run->next];
    auto then = [this, run, source](Attempt attempt) { Record(run, source, std::move(attempt)); };
    switch (source) {
        case EstimateSource::Tiantian:
            AskTiantian(run, then);
            return;
        case EstimateSource::Sina:
            AskSina(run, then);
            return;
        case EstimateSource::Jqka:
            AskJqka(run, then);
            return;
        case EstimateSource::Howbuy:
            AskHowbuy(run, then);
            return;
        case EstimateSource::Holdings:
            AskHoldings(run, then);
            return;
    }
}

void EstimateFetcher::Record(const std::shared_ptr<Run>& run, EstimateSource source,
                             Attempt attempt) {
    EstimateOutcome& out = run->outcome;
    if (attempt.estimate) attempt.estimate->source = source;
    out.tried.emplace_back(source, attempt);
    if (attempt.estimate) {
        if (IsDatedOn(*attempt.estimate, run->request.today)) {
            out.estimate = attempt.estimate;
            Finish(run);
            return;
        }
        if (!out.stale || out.stale->time < attempt.estimate->time) out.stale = attempt.estimate;
    }
    ++run->next;
    AskNext(run);
}

void EstimateFetcher::Finish(const std::shared_ptr<Run>& run) {
    EstimateOutcome& out = run->outcome;
    if (!out.estimate) {
        // The most telling failure; the first of equals.
        const std::pair<EstimateSource, Attempt>* best = nullptr;
        Attempt staleAttempt = Attempt::Failed(EstimateFailure::Stale);
        for (const auto& tried : out.tried) {
            const Attempt& a = tried.second.estimate ? staleAttempt : tried.second;
            if (!best || Telling(a.failure) > Telling(best->second.estimate ? EstimateFailure::Stale
                                                                            : best->second.failure))
                best = &tried;
        }
        if (best) {
            const QString caption = EstimateSourceCaption(best->first);
            if (best->second.estimate) {
                out.failure = EstimateFailure::Stale;
                out.detail =
                    caption + U("：") +
                    EstimateFailureText(Attempt::Failed(
                        EstimateFailure::Stale,
                        best->second.estimate->time.toString(QStringLiteral("yyyy-MM-dd HH:mm"))));
            } else {
                out.failure = best->second.failure;
                out.detail = caption + U("：") + EstimateFailureText(best->second);
            }
        }
    }
    const EstimateOutcome outcome = out;
    const auto done = run->done;
    // The run and its requests go first: done may start the next fetch.
    if (run_ == run) Cancel();
    if (done) done(outcome);
}

// ---- 天天基金: the batch endpoint, then the script ----

void EstimateFetcher::AskBatch(const std::shared_ptr<Run>& run, Then then) {
    const QString code = run->request.code;
    Get(run, QUrl(ValuationBatchUrl(config_.BaseUrl(Endpoint::EstimateBatch), {code})),
        [run, code, then](const HttpResponse& response) {
            run->batchAsked = true;
            if (std::optional<Attempt> failed = ClassifyAnswer(response)) {
                then(*failed);
                return;
            }
            const ValuationBatch batch = ReadValuationRows(response.body);
            if (batch.failure) {
                then(*batch.failure);
                return;
            }
            for (const ValuationRow& row : batch.rows) {
                if (row.code != code) continue;
                if (row.problem.isEmpty() && row.nav && row.navDate)
                    run->batchNav = OfficialNav{*row.nav, *row.navDate};
                then(EstimateFromValuationRow(row));
                return;
            }
            then(Attempt::Failed(EstimateFailure::NoEstimate));
        });
}

void EstimateFetcher::AskTiantian(const std::shared_ptr<Run>& run, Then then) {
    AskBatch(run, [this, run, then](Attempt batch) {
        // "No estimate for this fund" is the portal's answer: its script
        // would not know better.
        if (batch.estimate || batch.failure == EstimateFailure::NoEstimate) {
            then(std::move(batch));
            return;
        }
        const QString url =
            ScriptEstimateUrl(config_.BaseUrl(Endpoint::EstimateTiantian), run->request.code,
                              static_cast<long long>(RandomInteger(100000000, 999999999)));
        Get(run, QUrl(url, QUrl::TolerantMode), [this, batch, then](const HttpResponse& response) {
            Attempt script = Attempt::Failed(EstimateFailure::Unreadable);
            if (std::optional<Attempt> failed = ClassifyAnswer(response)) {
                script = *failed;
            } else {
                script = ReadScriptAnswer(response.text, ToBeijing(now_()));
            }
            if (script.estimate) {
                then(std::move(script));
                return;
            }
            then(Telling(batch.failure) >= Telling(script.failure) ? batch : script);
        });
    });
}

// ---- 新浪基金 ----

void EstimateFetcher::AskSina(const std::shared_ptr<Run>& run, Then then) {
    const QString code = run->request.code;
    const QString url = SinaEstimateUrl(config_.BaseUrl(Endpoint::EstimateSina), code,
                                        QString::fromLatin1(kSinaCallback));
    Get(run, QUrl(url, QUrl::TolerantMode), [code, then](const HttpResponse& response) {
        if (std::optional<Attempt> failed = ClassifyAnswer(response)) {
            then(*failed);
            return;
        }
        then(ReadSinaEstimate(response.body, code));
    });
}

// ---- 爱基金: the real-time answer, then the day's curve ----

void EstimateFetcher::AskJqka(const std::shared_ptr<Run>& run, Then then) {
    const QString code = run->request.code;
    const QString real = ApiEstimateUrl(config_.BaseUrl(Endpoint::Estimate10jqka), code);
    Get(run, QUrl(real, QUrl::TolerantMode), [this, run, code, then](const HttpResponse& response) {
        Attempt first = Attempt::Failed(EstimateFailure::Unreadable);
        if (std::optional<Attempt> failed = ClassifyAnswer(response)) {
            first = *failed;
        } else {
            first = OldReading(EstimateSource::Jqka, EstimateProvider::Jqka, response.text,
                               ToBeijing(now_()), true);
        }
        if (first.estimate) {
            then(std::move(first));
            return;
        }
        const QString chart = JqkaChartUrl(config_.BaseUrl(Endpoint::EstimateJqkaChart), code);
        Get(run, QUrl(chart, QUrl::TolerantMode), [first, then](const HttpResponse& answer) {
            Attempt second = Attempt::Failed(EstimateFailure::Unreadable);
            if (std::optional<Attempt> failed = ClassifyAnswer(answer)) {
                second = *failed;
            } else {
                second = ReadJqkaChart(answer.body).latest;
            }
            if (second.estimate) {
                then(std::move(second));
                return;
            }
            then(Telling(first.failure) > Telling(second.failure) ? first : second);
        });
    });
}

// ---- 好买基金 ----

void EstimateFetcher::AskHowbuy(const std::shared_ptr<Run>& run, Then then) {
    const QString url =
        PageEstimateUrl(config_.BaseUrl(Endpoint::EstimateHowbuy), run->request.code);
    Get(run, QUrl(url, QUrl::TolerantMode), [this, then](const HttpResponse& response) {
        if (std::optional<Attempt> failed = ClassifyAnswer(response)) {
            then(*failed);
            return;
        }
        // The page says nothing of when it estimated: as of the answer.
        then(OldReading(EstimateSource::Howbuy, EstimateProvider::Howbuy, response.text,
                        ToBeijing(now_()), false));
    });
}

// ---- 持仓估算: holdings, stock share, official NAV, quotes ----

void EstimateFetcher::AskHoldings(const std::shared_ptr<Run>& run, Then then) {
    const QString& code = run->request.code;
    if (!cacheFolder_.isEmpty()) {
        if (std::optional<HoldingsSnapshot> cached =
                ReadHoldingsCache(cacheFolder_, code, run->request.today)) {
            run->snapshot = std::move(cached);
            AskOfficialNav(run, then);
            return;
        }
    }
    const auto holdingsRead = [this, run, then](const HoldingsReading& reading) {
        if (!reading.holdings) {
            then(Attempt::Failed(reading.failure, reading.detail));
            return;
        }
        run->snapshot = HoldingsSnapshot{*reading.holdings, std::nullopt};
        AskStockShare(run, then);
    };
    Get(run, FundPositionUrl(config_.BaseUrl(Endpoint::Holdings), code),
        [this, run, code, holdingsRead](const HttpResponse& response) {
            HoldingsReading reading;
            if (std::optional<Attempt> failed = ClassifyAnswer(response)) {
                reading.failure = failed->failure;
                reading.detail = failed->detail;
            } else {
                reading = ParseFundPosition(response.text);
            }
            // A fund without stocks has none on the page either.
            if (reading.holdings || reading.failure == EstimateFailure::NoEstimate) {
                holdingsRead(reading);
                return;
            }
            Get(
                run, HoldingsPageUrl(config_.BaseUrl(Endpoint::HoldingsPage), code),
                [reading, holdingsRead](const HttpResponse& page) {
                    HoldingsReading second;
                    if (std::optional<Attempt> failed = ClassifyAnswer(page)) {
                        second.failure = failed->failure;
                        second.detail = failed->detail;
                    } else {
                        second = ParseHoldingsPage(page.text);
                    }
                    if (second.holdings || Telling(second.failure) >= Telling(reading.failure)) {
                        holdingsRead(second);
                    } else {
                        holdingsRead(reading);
                    }
                },
                HoldingsPageHeaders(code));
        });
}

void EstimateFetcher::AskStockShare(const std::shared_ptr<Run>& run, Then then) {
    const QString code = run->request.code;
    Get(run, FundTrendScriptUrl(config_.BaseUrl(Endpoint::FundDataScript), code),
        [this, run, code, then](const HttpResponse& response) {
            const bool answered = !ClassifyAnswer(response);
            if (answered) run->snapshot->stockShare = ParseStockShare(response.text);
            // Only a day whose script answered is kept: a failed request is
            // asked again on the next fetch.
            if (answered && !cacheFolder_.isEmpty())
                WriteHoldingsCache(cacheFolder_, code, run->request.today, *run->snapshot);
            AskOfficialNav(run, then);
        });
}

void EstimateFetcher::AskOfficialNav(const std::shared_ptr<Run>& run, Then then) {
    if (run->batchAsked) {
        AskQuotes(run, then);
        return;
    }
    AskBatch(run, [this, run, then](const Attempt&) { AskQuotes(run, then); });
}

void EstimateFetcher::AskQuotes(const std::shared_ptr<Run>& run, Then then) {
    std::optional<OfficialNav> official = run->request.ledgerNav;
    if (run->batchNav && IsNewer(run->batchNav->date, official)) official = run->batchNav;
    if (!official) {
        then(Attempt::Failed(EstimateFailure::NoEstimate, U("没有上一交易日的净值")));
        return;
    }
    const FundHoldings& holdings = run->snapshot->holdings;
    QStringList ids;
    QStringList symbols;
    for (const Holding& h : holdings.stocks) {
        const QString id = QuoteId(h);
        if (!id.isEmpty()) ids << id;
        const QString symbol = TextQuoteSymbol(h);
        if (!symbol.isEmpty()) symbols << symbol;
    }
    const OfficialNav nav = *official;
    const auto estimate = [run, nav, then](const QuoteBatch& quotes) {
        if (!quotes.ok) {
            then(Attempt::Failed(quotes.failure, quotes.detail));
            return;
        }
        then(EstimateFromHoldings(run->snapshot->holdings, run->snapshot->stockShare, quotes.quotes,
                                  nav, run->request.today));
    };
    Get(run, QuoteBatchUrl(config_.BaseUrl(Endpoint::Quotes), ids),
        [this, run, symbols, estimate](const HttpResponse& response) {
            QuoteBatch first;
            if (std::optional<Attempt> failed = ClassifyAnswer(response)) {
                first.failure = failed->failure;
                first.detail = failed->detail;
            } else {
                first = ParseQuoteBatch(response.text);
            }
            if (first.ok || symbols.isEmpty()) {
                estimate(first);
                return;
            }
            Get(run, TextQuoteUrl(config_.BaseUrl(Endpoint::QuotesTencent), symbols),
                [first, estimate](const HttpResponse& text) {
                    QuoteBatch second;
                    if (std::optional<Attempt> failed = ClassifyAnswer(text)) {
                        second.failure = failed->failure;
                        second.detail = failed->detail;
                    } else {
                        second = ParseTextQuotes(text.body);
                    }
                    estimate(second.ok || Telling(second.failure) >= Telling(first.failure)
                                 ? second
                                 : first);
                });
        });
}

}  // namespace tovira
