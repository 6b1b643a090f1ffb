#pragma once
// The main window: menus, the side panel, the mode buttons and the top bar,
// the ledger, the panel slide, the notification-area icon and closing. The
// plan logic lives in the core; this is the frame that calls it.

#include <QDate>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

#include "core/engine/recalculate.h"
#include "core/ledger/ledger_model.h"
#include "core/ledger/plan_settings.h"
#include "core/common/prompt.h"
#include "gui/dialogs/import_range_dialog.h"
#include "core/marketdata/config.h"

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QMenu;
class QRadioButton;
class QSystemTrayIcon;
class QTimer;

namespace tovira {

class ImportRangeDialog;
class HttpClient;
class LedgerView;
class LineChart;
class SidePanel;

// Where the file dialogs of the window come from; tests answer them.
class FileChooser {
public:
    virtual ~FileChooser() = default;
    // Empty when cancelled.
    virtual QString OpenPlan(QWidget* parent) = 0;
    virtual QString SaveCsv(QWidget* parent, const QString& proposedName) = 0;
};

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // prompt and chooser may be null: message boxes and file dialogs then.
    MainWindow(const QString& programFolder, Prompt* prompt = nullptr,
               FileChooser* chooser = nullptr, QWidget* parent = nullptr);
    ~MainWindow() override;

    LedgerModel& Ledger() { return ledger_; }
    PlanSettings& Settings() { return settings_; }
    SidePanel* Panel() const { return panel_; }
    LedgerView* View() const { return view_; }
    QComboBox* FundCodeBox() const;
    QRadioButton* TheoryButton() const { return theory_; }
    QRadioButton* FactButton() const { return fact_; }
    QFrame* TopBar() const { return frame4_; }
    QTimer* SlideTimer() const { return slideTimer_; }
    Mode CurrentMode() const;
    const QString& CurrentPlanPath() const { return currentPlanPath_; }
    QAction* Action(const QString& name) const;

    // Commands, as the menus run them.
    void onOpen();
    bool onSave();
    void onRefresh();
    void onExportData();
    void onDeleteThisLine();
    void onClearList();
    void onPreset(Preset p);
    void onModeClicked(Mode mode);
    void onFilesDropped(const QStringList& paths);
    // Real-time valuation: the switch, the provider list, one poll.
    void onEstimateSwitch(bool ticked);
    void onProviderChanged();
    void onEstimateTick();
    QCheckBox* EstimateSwitch() const { return ssgz_; }
    QComboBox* ProviderBox() const { return fundComp_; }
    QLabel* EstimateValueLabel() const { return estimateValue_; }
    QLabel* EstimateChangeLabel() const { return estimateChange_; }
    QTimer* EstimateTimer() const { return estimateTimer_; }
    void SetEstimateInterval(int ms) { estimateIntervalMs_ = ms; }

    // "折线图": the chart replaces the ledger while ticked.
    void onDiagram(bool ticked);
    QCheckBox* DiagramSwitch() const { return diagram_; }
    LineChart* Chart() const { return chart_; }

    // The start-up update check: asks when a new version is out and closes
    // the window when the user goes to download it.
    void StartUpdateCheck();

    void onImportValue();
    void onAdd();
    void onDLFCode();
    void onTrayShow();
    void onTrayQuit();
    // One tick of the panel slide (Timer2).
    void SlideStep();

    // The fund code box's handlers.
    void onFundCodeChanged(const QString& text);
    void onFundCodePicked(int index);
    void onFundCodeDelete();

    // The date the commands take as today (the clock, unless a test sets it).
    void SetToday(std::function<QDate()> today) { today_ = std::move(today); }
    Config& Configuration() { return config_; }
    HttpClient& Http() { return *http_; }
    // The open import window, if any.
    ImportRangeDialog* ImportDialog() const { return importDialog_; }

    // Asks "是否保存数据？" before unsaved input cells or parameters would be
    // lost. Yes saves what is shown, in the mode it is shown in. Returns false
    // when the user cancels (or the save failed).
    bool ConfirmDiscard();
    // Whether the plan has changes that are not saved: input cells, or a
    // parameter or switch the user changed.
    bool PlanModified() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildMenus();
    void BuildTopBar(QWidget* central);
    void BuildTray();
    void OpenPlan(Mode mode);
    void SetFundCodeText(const QString& text);
    void UpdateQueryHistory();
    void SetTitleFor(const QString& code);
    void ApplyLayout();
    void RestoreFromTray();
    void ApplySettingsToPanel();
    void StartImport(const QDate& start, const QDate& end);
    void RunApplyEstimate();
    void SetLedgerCode(const QString& code);
    void ShowEstimateFailure(const QString& text);
    // Ends an open cell edit (keeping its text) and any number still being
    // typed into the side panel, so a command sees what the user typed.
    void FinishEditing();
    void SetPlanSaved();
    void UpdateModifiedMark();
    // Shows a code in the box, the title and the history without loading its
    // plan (the caller loads it).
    void ShowFundCode(const QString& code);
    // Opens a plan file chosen or dropped by the user.
    void OpenChosenPlan(const QString& path);

    QString programFolder_;
    std::unique_ptr<Prompt> ownPrompt_;
    Prompt* prompt_;
    std::unique_ptr<FileChooser> ownChooser_;
    FileChooser* chooser_;

    Config config_;
    HttpClient* http_ = nullptr;
    std::function<QDate()> today_;
    QPointer<ImportRangeDialog> importDialog_;

    LedgerModel ledger_;
    PlanSettings settings_;
    QString currentPlanPath_;
    // The fund code the ledger belongs to: the box text when the ledger was
    // last loaded or cleared.
    QString ledgerCode_;
    bool handlingCode_ = false;
    // The mode the ledger's figures and input cells are in. The option
    // buttons change before the save question of a mode switch is answered.
    Mode shownMode_ = Mode::Theory;
    // A parameter or switch changed by the user since the plan was loaded
    // or saved.
    bool settingsModified_ = false;
    // The fund code list was really picked from (its pop-up or the arrow
    // keys), not the focus leaving a box whose text matches an entry.
    bool codePickedByUser_ = false;
    QLabel* modifiedMark_ = nullptr;

    SidePanel* panel_ = nullptr;
    LedgerView* view_ = nullptr;
    QRadioButton* theory_ = nullptr;
    QRadioButton* fact_ = nullptr;
    QFrame* frame4_ = nullptr;
    QCheckBox* ssgz_ = nullptr;
    QComboBox* fundComp_ = nullptr;
    QLabel* estimateValue_ = nullptr;   // Label14
    QLabel* estimateChange_ = nullptr;  // Label15
    QCheckBox* diagram_ = nullptr;
    LineChart* chart_ = nullptr;
    QTimer* slideTimer_ = nullptr;
    QTimer* estimateTimer_ = nullptr;  // Timer1
    int estimateIntervalMs_ = 30000;
    bool estimatePending_[3] = {false, false, false};
    bool estimateFailureOpen_ = false;  // a failure message is on screen
    bool estimateAlertOpen_ = false;    // an alert is on screen
    QSystemTrayIcon* tray_ = nullptr;
    QMenu* trayMenu_ = nullptr;

    // Geometry in twips (the panel and the controls the slide moves).
    double frame3Left_ = 0;
    double lvLeft_ = 2520;
    double lvWidth_ = 10935;
    double lvHeight_ = 8775;
    double topShift_ = 0;  // Theory, Fact and Frame4 move with the ledger
    double savedTop_ = 0;
    double savedLeft_ = 0;
    bool quitting_ = false;
};

}  // namespace tovira
