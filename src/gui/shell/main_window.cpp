#include "gui/shell/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>
#include <QScreen>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTimer>

#include "core/marketdata/http_client.h"
#include "gui/charts/line_chart.h"
#include "gui/charts/trend_chart_window.h"
#include "gui/controllers/backtest_report_controller.h"
#include "gui/controllers/estimate_controller.h"
#include "gui/controllers/fund_code_controller.h"
#include "gui/controllers/market_data_commands.h"
#include "gui/controllers/parameter_search_controller.h"
#include "gui/dialogs/about_dialog.h"
#include "gui/dialogs/cost_calculator_dialog.h"
#include "gui/dialogs/estimate_accuracy_dialog.h"
#include "gui/layout/twips.h"
#include "gui/ledger/ledger_view.h"
#include "gui/ledger/side_panel.h"
#include "gui/shell/file_dialogs.h"
#include "gui/shell/help_links.h"
#include "gui/shell/qt_prompt.h"
#include "gui/shell/top_bar.h"
#include "gui/shell/tray_icon.h"
#include "gui/shell/update_check.h"
#include "gui/shell/window_layout.h"

namespace tovira {
namespace {

// Design size of the client area in twips.
constexpr double kClientWidth = 13455;
constexpr double kClientHeight = 9255;

}  // namespace

MainWindow::MainWindow(const QString& programFolder, Prompt* prompt, FileChooser* chooser,
                       QWidget* parent)
    : QMainWindow(parent), session_(programFolder) {
    if (!prompt) {
        ownPrompt_ = std::make_unique<QtPrompt>(this);
        prompt = ownPrompt_.get();
    }
    prompt_ = prompt;
    if (!chooser) {
        ownChooser_ = std::make_unique<DialogFileChooser>();
        chooser = ownChooser_.get();
    }
    chooser_ = chooser;
    config_ = Config::Load(programFolder);
    http_ = new HttpClient(this);
    http_->SetTimeout(config_.TimeoutMs());

    BuildWidgets();
    MakeControllers();
    BuildMenus();
    layout_ =
        new WindowLayout({centralWidget(), panel_, theory_, fact_, topBar_, view_, chart_}, this);
    connect(topBar_->ChartSwitch(), &QCheckBox::clicked, this, &MainWindow::OnDiagram);
    connect(theory_, &QRadioButton::clicked, this, [this] { OnModeClicked(Mode::Theory); });
    connect(fact_, &QRadioButton::clicked, this, [this] { OnModeClicked(Mode::Fact); });
    connect(view_, &LedgerView::FilesDropped, this, &MainWindow::OnFilesDropped);
    connect(&session_, &PlanSession::ModeChanged, this, &MainWindow::RedrawChart);
    PlaceOnScreen();

    // Load: title, query history, the tray icon, then the shown fund's plan.
    fundCode_->LoadHistory();
    tray_ = CreateTrayIcon(
        this, [this] { OnTrayShow(); }, [this] { OnTrayQuit(); });
    panel_->SyncFromSettings();
    session_.PointAtFund(session_.LedgerCode());
    plans_->OpenPlan(Mode::Theory);
    layout_->Apply();
}

void MainWindow::BuildWidgets() {
    setWindowTitle(QStringLiteral("Tovira"));
    setWindowIcon(AppIcon());
    setFont(WindowFont());

    auto* central = new QWidget(this);
    setCentralWidget(central);
    view_ = new LedgerView(session_.Ledger(), central);
    view_->setObjectName(QStringLiteral("ledgerView"));
    // The redemption columns show while the plan sells on rises.
    session_.Settings().onSwitchChanged = [this](Switch s, bool on) {
        if (s == Switch::SellOnRises) view_->ShowRedeemColumns(on);
    };
    chart_ = new LineChart(session_.Ledger(), central);
    chart_->setObjectName(QStringLiteral("lineChart"));
    chart_->hide();
    panel_ = new SidePanel(session_.Settings(), *prompt_, central);
    panel_->raise();
    chart_->stackUnder(panel_);
    theory_ = new QRadioButton(QStringLiteral("理论计算"), central);
    theory_->setObjectName(QStringLiteral("theoryButton"));
    fact_ = new QRadioButton(QStringLiteral("实际操作"), central);
    fact_->setObjectName(QStringLiteral("factButton"));
    theory_->setChecked(true);
    topBar_ = new TopBar(central);

    // The mark of unsaved changes; the title stays as it is.
    modifiedMark_ = new QLabel(this);
    modifiedMark_->setObjectName(QStringLiteral("unsavedMark"));
    statusBar()->addPermanentWidget(modifiedMark_);
    statusBar()->setSizeGripEnabled(false);
}

void MainWindow::MakeControllers() {
    plans_ =
        new PlanCommands(session_, *prompt_, *chooser_,
                         PlanWidgets{this, view_, panel_, theory_, fact_, modifiedMark_}, this);
    fundCode_ = new FundCodeController(this, panel_->FundCodeBox(), session_, *plans_);
    connect(plans_, &PlanCommands::PlanFundShown, fundCode_, &FundCodeController::ShowFundCode);
    estimate_ = new EstimateController(
        {topBar_->LiveEstimate(), topBar_->Providers(), topBar_->EstimateValue(),
         topBar_->EstimateSource(), topBar_->EstimateChange(), statusBar()},
        session_, *prompt_, *http_, config_, this);
    connect(fundCode_, &FundCodeController::FundPicked, estimate_, &EstimateController::ClearShown);
    market_ = new MarketDataCommands(this, session_, *estimate_, *prompt_, *http_, config_);
    connect(market_, &MarketDataCommands::DirectoryUpdated, fundCode_,
            &FundCodeController::ShowTitle);
    backtest_ = new BacktestReportController(this, statusBar(), session_, *prompt_, this);
    search_ = new ParameterSearchController(this, session_, panel_, *plans_, *prompt_, {}, this);
}

void MainWindow::PlaceOnScreen() {
    resize(TwipsToPixels(kClientWidth), TwipsToPixels(kClientHeight) +
                                            menuBar()->sizeHint().height() +
                                            statusBar()->sizeHint().height());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    // Never smaller than the design size, so the whole side panel, the top
    // bar and the chart with its labels stay within reach.
    setMinimumSize(size());
}

MainWindow::~MainWindow() {
    if (tray_) tray_->hide();
    // Requests still out must not call back into a window being torn down.
    delete http_;
    http_ = nullptr;
}

Mode MainWindow::CurrentMode() const { return session_.ShownMode(); }

void MainWindow::BuildMenus() {
    auto add = [this](QMenu* menu, const char* name, const QString& caption, auto handler,
                      const QKeySequence& keys = {}) {
        QAction* a = menu->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        if (!keys.isEmpty()) a->setShortcut(keys);
        // A command sees the cell being edited and the number being typed
        // as the user left them, whether it came from a menu or a shortcut.
        connect(a, &QAction::triggered, this, [this, handler] {
            FinishEditing();
            handler();
        });
        return a;
    };
    QMenu* files = menuBar()->addMenu(QStringLiteral("文件(&F)"));
    add(
        files, "openPlan", QStringLiteral("打开(&O)"), [this] { OnOpen(); },
        QKeySequence(Qt::CTRL | Qt::Key_O));
    add(
        files, "savePlan", QStringLiteral("保存(&S)"), [this] { OnSave(); },
        QKeySequence(Qt::CTRL | Qt::Key_S));

    QMenu* functions = menuBar()->addMenu(QStringLiteral("高级(&A)"));
    add(functions, "takeBackPrincipal", QStringLiteral("做Ｔ拿回本金(&T)"),
        [this] { plans_->TakeBackPrincipal(); });
    add(functions, "lowerHoldingCost", QStringLiteral("降低持仓成本(&C)"),
        [this] { ShowCostCalculator(*this, session_.Ledger(), session_.Settings(), *prompt_); });
    add(functions, "showTrendChart", QStringLiteral("查看最新走势(&L)"), [this] {
        ShowTrendChart(
            *this, *http_, config_, session_.ProgramFolder(),
            [this] { return session_.FundCode(); }, *prompt_);
    });
    add(functions, "backtestReport", QStringLiteral("回测报告(&R)"),
        [this] { backtest_->OpenReport(); });
    add(functions, "parameterSearch", QStringLiteral("参数寻优(&P)"), [this] { search_->Open(); });
    add(functions, "estimateAccuracy", QStringLiteral("估值准确度(&E)"),
        [this] { ShowEstimateAccuracy(this, session_); });

    QMenu* variants = menuBar()->addMenu(QStringLiteral("参数(&P)"));
    struct PresetItem {
        const char* name;
        Preset preset;
        const char* mnemonic;
    };
    const PresetItem presets[] = {{"presetDefault", Preset::Default, "(&D)"},
                                  {"presetBrave", Preset::Brave, "(&B)"},
                                  {"presetSteady", Preset::Steady, "(&S)"},
                                  {"presetCareful", Preset::Careful, "(&C)"}};
    for (const PresetItem& item : presets) {
        const Preset p = item.preset;
        add(variants, item.name, PresetCaption(p) + QLatin1String(item.mnemonic),
            [this, p] { OnPreset(p); });
    }

    QMenu* help = menuBar()->addMenu(QStringLiteral("帮助(&H)"));
    add(help, "updateFundDirectory", QStringLiteral("更新基金(&F)"),
        [this] { market_->OnUpdateDirectory(); });
    add(help, "about", QStringLiteral("关于软件(&A)"),
        [this] { ShowAboutDialog(this, config_.BaseUrl(Endpoint::WebSite)); });
    add(help, "instructions", QStringLiteral("使用说明(&I)"),
        [this] { OpenHelpLink(HelpLink::Instructions, config_, *prompt_); });
    help->addSeparator();
    add(help, "decimalsHelp", QStringLiteral("小数没\"0\"(&D)"),
        [this] { OpenHelpLink(HelpLink::DecimalsHelp, config_, *prompt_); });
    add(help, "checkForUpdate", QStringLiteral("检查更新(&U)"),
        [this] { CheckForUpdate(*http_, config_, *prompt_, {}, this); });
    add(help, "contactAuthor", QStringLiteral("联系作者(&C)"),
        [this] { OpenHelpLink(HelpLink::ContactMe, config_, *prompt_); });
    add(help, "joinUs", QStringLiteral("加入我们(&J)"),
        [this] { OpenHelpLink(HelpLink::JoinUs, config_, *prompt_); });

    QMenu* pop = view_->ContextMenu();
    pop->setTitle(QStringLiteral("右键菜单"));
    add(pop, "refresh", QStringLiteral("刷新(&R)"), [this] { OnRefresh(); });
    pop->addSeparator();
    add(pop, "importNav", QStringLiteral("导入净值(&I)"), [this] { market_->OnImportValue(); });
    add(pop, "exportData", QStringLiteral("导出数据(&E)"), [this] { OnExportData(); });
    add(pop, "appendToToday", QStringLiteral("追加至今(&A)"),
        [this] { market_->OnAppendToToday(); });
    pop->addSeparator();
    add(pop, "deleteThisLine", QStringLiteral("删除此行(&D)"), [this] { OnDeleteThisLine(); });
    add(pop, "clearList", QStringLiteral("清空列表(&C)"), [this] { OnClearList(); });
}

// Layout and the notification area ----------------------------------------------

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    layout_->Resized(pos());
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && tray_) {
        // Minimised to the notification area.
        QTimer::singleShot(0, this, [this] {
            if (isMinimized()) hide();
        });
    }
}

void MainWindow::RestoreFromTray() {
    showNormal();
    if (!isMaximized()) move(layout_->SavedPosition());
}

void MainWindow::OnTrayShow() { RestoreFromTray(); }

void MainWindow::OnTrayQuit() {
    FinishEditing();
    // A save that fails keeps the program running, so nothing is lost.
    if (session_.Ledger().LastRow() > 0 &&
        !plans_->AskToSave(PromptButtons::YesNo, PlanCommands::SaveTo::ShownFund)) {
        return;
    }
    quitting_ = true;
    if (tray_) tray_->hide();
    close();
    qApp->quit();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    FinishEditing();
    if (!quitting_ && session_.Ledger().LastRow() > 0 &&
        !plans_->AskToSave(PromptButtons::YesNoCancel, PlanCommands::SaveTo::ShownFund)) {
        event->ignore();
        return;
    }
    if (tray_) tray_->hide();
    event->accept();
    if (!quitting_) {
        quitting_ = true;
        qApp->quit();
    }
}

// Plan commands (the menus' forwarding to PlanCommands) ------------------------

void MainWindow::FinishEditing() { plans_->FinishEditing(); }
bool MainWindow::PlanModified() const { return session_.Modified(); }
bool MainWindow::ConfirmDiscard() { return plans_->ConfirmDiscard(); }
void MainWindow::OnOpen() { plans_->Open(); }
bool MainWindow::OnSave() { return plans_->Save(); }
void MainWindow::OnRefresh() { plans_->Refresh(); }
void MainWindow::OnExportData() { plans_->Export(); }
void MainWindow::OnDeleteThisLine() { plans_->DeleteRow(); }
void MainWindow::OnClearList() { plans_->ClearList(); }
void MainWindow::OnPreset(Preset p) { plans_->ApplyPreset(p); }
void MainWindow::OnModeClicked(Mode mode) { plans_->ModeClicked(mode); }
void MainWindow::OnFilesDropped(const QStringList& paths) { plans_->OpenDropped(paths); }
void MainWindow::OpenPlanFromCommandLine(const QString& path) {
    tovira::OpenPlanFromCommandLine(*plans_, session_, *prompt_, path);
}

void MainWindow::OnDiagram(bool ticked) {
    if (ticked) {
        chart_->Draw(ChartLeftEdge(panel_->Toggle()->text()));
        chart_->show();
        view_->hide();
    } else {
        chart_->Clear();
        chart_->hide();
        view_->show();
    }
}

void MainWindow::RedrawChart() {
    if (!topBar_->ChartSwitch()->isChecked()) return;
    // The chart follows the figures of the new mode.
    chart_->Clear();
    chart_->Draw(ChartLeftEdge(panel_->Toggle()->text()));
}

void MainWindow::StartUpdateCheck() {
    CheckForUpdateAtStartup(
        *http_, config_, *prompt_, {},
        [this](StartupUpdate result) {
            if (result == StartupUpdate::Quit) close();
        },
        this);
}

}  // namespace tovira
