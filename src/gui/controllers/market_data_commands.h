#pragma once
// The market-data commands of the window: 导入净值 (the date-range window and
// the download into an empty ledger), 追加至今 (the days since the last row,
// merged with today's estimate row) and 更新基金 (the fund directory), with
// their time limits and messages.

#include <QDate>
#include <QObject>
#include <QPointer>
#include <QString>

#include "core/common/prompt.h"
#include "core/marketdata/nav_history.h"
#include "core/session/plan_session.h"

class QAction;
class QWidget;

namespace tovira {

class Config;
class EstimateController;
class HttpClient;
class ImportRangeDialog;

class MarketDataCommands : public QObject {
    Q_OBJECT
  public:
    // window parents the import window and holds the actions named
    // "appendToToday" and "updateFundDirectory". The commands fetch the
    // session's fund code into its ledger; an append merges with today's
    // estimate row, which holds the previous official NAV estimate knows.
    MarketDataCommands(QWidget* window, PlanSession& session, const EstimateController& estimate,
                       Prompt& prompt, HttpClient& http, const Config& config);

    void OnImportValue();
    void OnAppendToToday();
    void OnUpdateDirectory();

  signals:
    // A directory update ended (whatever its result): fund names may have
    // changed.
    void DirectoryUpdated();

  private:
    void StartImport(const QDate& start, const QDate& end);
    // Downloads the range from one source into the empty ledger; a failing
    // NAV endpoint leads to the offer of the trend script.
    void DownloadForImport(NavSource source, const QString& code, const QDate& start,
                           const QDate& end);
    QAction* Action(const char* name) const;

    QWidget* window_;
    PlanSession& session_;
    const EstimateController& estimate_;
    Prompt& prompt_;
    HttpClient& http_;
    const Config& config_;
    QPointer<ImportRangeDialog> importDialog_;
};

}  // namespace tovira
