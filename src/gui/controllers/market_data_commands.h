#pragma once
// The market-data commands of the window: 导入净值 (the date-range window and
// the download into an empty ledger), 追加至今 (the days since the last row,
// merged with today's estimate row) and 更新基金 (the fund directory), with
// their time limits and messages.

#include <QDate>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>

#include "core/common/prompt.h"
#include "core/engine/recalculate.h"
#include "core/ledger/ledger_model.h"
#include "core/ledger/plan_settings.h"
#include "core/marketdata/nav_history.h"

class QAction;
class QComboBox;
class QWidget;

namespace tovira {

class Config;
class HttpClient;
class ImportRangeDialog;

class MarketDataCommands : public QObject {
    Q_OBJECT
  public:
    struct Hooks {
        std::function<Mode()> mode;
        std::function<QDate()> today;
        // The fund the ledger's rows belong to.
        std::function<QString()> ledgerCode;
        // The previous official NAV today's estimate row was given.
        std::function<QString()> previousNav;
        // After a directory update: the fund names may have changed.
        std::function<void()> directoryUpdated;
    };

    // window parents the import window and holds the actions named
    // "appendToToday" and "updateFundDirectory".
    MarketDataCommands(QWidget* window, LedgerModel& ledger, const PlanSettings& settings,
                       Prompt& prompt, HttpClient& http, const Config& config,
                       const QString& programFolder, QComboBox* fundCodeBox, Hooks hooks);

    void OnImportValue();
    void OnAppendToToday();
    void OnUpdateDirectory();

  private:
    void StartImport(const QDate& start, const QDate& end);
    // Downloads the range from one source into the empty ledger; a failing
    // NAV endpoint leads to the offer of the trend script.
    void DownloadForImport(NavSource source, const QString& code, const QDate& start,
                           const QDate& end);
    QAction* Action(const char* name) const;

    QWidget* window_;
    LedgerModel& ledger_;
    const PlanSettings& settings_;
    Prompt& prompt_;
    HttpClient& http_;
    const Config& config_;
    QString programFolder_;
    QComboBox* fundCodeBox_;
    Hooks hooks_;
    QPointer<ImportRangeDialog> importDialog_;
};

}  // namespace tovira
