#pragma once
// The main window: menus, the side panel, the mode buttons and the top bar,
// the ledger, the panel slide, the notification-area icon and closing. The
// plan logic lives in the core; this is the frame that calls it.

#include <QDate>
#include <QMainWindow>
#include <QString>
#include <functional>
#include <memory>

#include "core/common/prompt.h"
#include "core/engine/recalculate.h"
#include "core/ledger/ledger_model.h"
#include "core/ledger/plan_settings.h"
#include "core/marketdata/config.h"
#include "core/session/plan_session.h"
#include "gui/controllers/command_line_open.h"
#include "gui/controllers/plan_commands.h"

class QLabel;
class QRadioButton;
class QSystemTrayIcon;

namespace tovira {

class BacktestReportController;
class EstimateController;
class FundCodeController;
class HttpClient;
class MarketDataCommands;
class ParameterSearchController;
class LedgerView;
class LineChart;
class SidePanel;
class TopBar;
class WindowLayout;

class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    // prompt and chooser may be null: message boxes and file dialogs then.
    MainWindow(const QString& programFolder, Prompt* prompt = nullptr,
               FileChooser* chooser = nullptr, QWidget* parent = nullptr);
    ~MainWindow() override;

    PlanSession& Session() { return session_; }
    PlanCommands& Plans() { return *plans_; }
    BacktestReportController& Backtest() { return *backtest_; }
    ParameterSearchController& Search() { return *search_; }
    LedgerModel& Ledger() { return session_.Ledger(); }
    PlanSettings& Settings() { return session_.Settings(); }
    Mode CurrentMode() const;
    const QString& CurrentPlanPath() const { return session_.PlanPath(); }

    // Commands, as the menus run them.
    void OnOpen();
    bool OnSave();
    void OnRefresh();
    void OnExportData();
    void OnDeleteThisLine();
    void OnClearList();
    void OnPreset(Preset p);
    void OnModeClicked(Mode mode);
    void OnFilesDropped(const QStringList& paths);
    // `tovira PATH`: that plan file, opened in place of the plan shown at start.
    void OpenPlanFromCommandLine(const QString& path);
    // The start-up update check: asks when a new version is out and closes
    // the window when the user goes to download it.
    void StartUpdateCheck();

    // The date the commands take as today (the clock, unless set otherwise).
    void SetToday(std::function<QDate()> today) { session_.SetToday(std::move(today)); }

    // See PlanCommands::ConfirmDiscard.
    bool ConfirmDiscard();
    // Whether the plan has changes that are not saved: input cells, or a
    // parameter or switch the user changed.
    bool PlanModified() const;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void BuildWidgets();
    // The controllers over the session and the few connections between them.
    void MakeControllers();
    void BuildMenus();
    // The design size, centred on the screen.
    void PlaceOnScreen();
    // "折线图": the chart replaces the ledger while ticked.
    void OnDiagram(bool ticked);
    // After a mode switch the ticked chart shows the new figures.
    void RedrawChart();
    void OnTrayShow();
    void OnTrayQuit();
    void RestoreFromTray();
    void FinishEditing();

    std::unique_ptr<Prompt> ownPrompt_;
    Prompt* prompt_;
    std::unique_ptr<FileChooser> ownChooser_;
    FileChooser* chooser_;

    Config config_;
    HttpClient* http_ = nullptr;
    FundCodeController* fundCode_ = nullptr;
    EstimateController* estimate_ = nullptr;
    MarketDataCommands* market_ = nullptr;
    BacktestReportController* backtest_ = nullptr;
    ParameterSearchController* search_ = nullptr;

    // The plan: ledger, settings, the mode shown (the option buttons change
    // before the save question of a mode switch is answered), the plan path,
    // the fund code worked with and the fund the rows belong to.
    PlanSession session_;
    PlanCommands* plans_ = nullptr;
    QLabel* modifiedMark_ = nullptr;

    SidePanel* panel_ = nullptr;
    LedgerView* view_ = nullptr;
    QRadioButton* theory_ = nullptr;
    QRadioButton* fact_ = nullptr;
    TopBar* topBar_ = nullptr;
    LineChart* chart_ = nullptr;
    WindowLayout* layout_ = nullptr;
    QSystemTrayIcon* tray_ = nullptr;
    bool quitting_ = false;
};

}  // namespace tovira
