#pragma once
// Asks the estimate sources for today's estimate of one fund: one source, or
// 自动 (天天基金 → 新浪基金 → 爱基金 → 持仓估算, the first that has an
// estimate for today). The window's polling and `tovira-cli estimate` both
// ask through it.

#include <QDate>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "core/marketdata/holdings_estimate.h"
#include "core/marketdata/http_client.h"
#include "core/marketdata/live_estimate.h"

namespace tovira {

class Config;

// The provider box's choice: a source, or none for 自动.
using EstimateChoice = std::optional<EstimateSource>;

// The entries of the provider box, in order: "自动", "天天基金", "新浪基金",
// "爱基金", "好买基金", "持仓估算".
QStringList EstimateChoiceCaptions();
QString EstimateChoiceCaption(EstimateChoice choice);
std::optional<EstimateChoice> EstimateChoiceByCaption(const QString& caption);
// The sources a choice asks, in the order it asks them.
std::vector<EstimateSource> SourcesOf(EstimateChoice choice);

// The fund's last official NAV, for the holdings estimate (the batch
// endpoint's NAV, or the ledger's last official row when the caller has one):
// OfficialNav of holdings_estimate.h.

struct EstimateRequest {
    QString code;
    EstimateChoice choice;                 // none: 自动
    QDate today;                           // Beijing date the estimate must carry
    std::optional<OfficialNav> ledgerNav;  // the ledger's last official row, if any
};

// What asking came to.
struct EstimateOutcome {
    // Today's estimate, from the first source that had one.
    std::optional<SourceEstimate> estimate;
    // The newest estimate a source gave that is not from today (after the
    // close, on a holiday): never written into the ledger, but the top bar
    // may keep it and say from when it is.
    std::optional<SourceEstimate> stale;
    // Every source asked, in order, with what it came to.
    std::vector<std::pair<EstimateSource, EstimateAttempt>> tried;

    // With no estimate: the failure that tells the user most (a network
    // failure over "no estimate for this fund", any answer over none).
    EstimateFailure failure = EstimateFailure::Unreadable;
    QString detail;
};

class EstimateFetcher : public QObject {
    Q_OBJECT
  public:
    // cacheFolder keeps the holdings and stock share fetched today (one
    // fetch per fund and day), in its data/holdings (the program folder,
    // see HoldingsCachePath); empty: no cache.
    EstimateFetcher(HttpClient& http, const Config& config, QString cacheFolder,
                    QObject* parent = nullptr);
    ~EstimateFetcher() override;

    // Asks; done is called once with the outcome, unless Cancel() comes
    // first or the fetcher goes. A fetch while one is running cancels that
    // one.
    void Fetch(const EstimateRequest& request, std::function<void(const EstimateOutcome&)> done);
    void Cancel();
    bool Busy() const;
    // The clock that dates the answers that carry no time of their own (好买
    // 基金's page, 爱基金's real-time answer, a script without its time): the
    // moment they come. Beijing time by default.
    void SetClock(std::function<QDateTime()> now) { now_ = std::move(now); }

  private:
    struct Run;
    using Then = std::function<void(EstimateAttempt)>;
    void Get(const std::shared_ptr<Run>& run, const QUrl& url,
             std::function<void(const HttpResponse&)> then, const HttpHeaders& headers = {});
    void AskNext(const std::shared_ptr<Run>& run);
    void Record(const std::shared_ptr<Run>& run, EstimateSource source, EstimateAttempt attempt);
    void Finish(const std::shared_ptr<Run>& run);
    void AskBatch(const std::shared_ptr<Run>& run, Then then);
    void AskTiantian(const std::shared_ptr<Run>& run, Then then);
    void AskSina(const std::shared_ptr<Run>& run, Then then);
    void AskJqka(const std::shared_ptr<Run>& run, Then then);
    void AskHowbuy(const std::shared_ptr<Run>& run, Then then);
    void AskHoldings(const std::shared_ptr<Run>& run, Then then);
    void AskStockShare(const std::shared_ptr<Run>& run, Then then);
    void AskOfficialNav(const std::shared_ptr<Run>& run, Then then);
    void AskQuotes(const std::shared_ptr<Run>& run, Then then);

    HttpClient& http_;
    const Config& config_;
    QString cacheFolder_;
    std::shared_ptr<Run> run_;
    std::function<QDateTime()> now_;
};

}  // namespace tovira
