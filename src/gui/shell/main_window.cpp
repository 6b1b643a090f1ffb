#include "gui/shell/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QComboBox>
#include <QFileDialog>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QRadioButton>
#include <QScreen>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QAbstractItemView>
#include <QTimer>

#include "gui/dialogs/about_dialog.h"
#include "gui/dialogs/import_range_dialog.h"
#include "gui/shell/help_links.h"
#include "gui/shell/update_check.h"
#include "core/storage/fund_selection.h"
#include "gui/shell/qt_prompt.h"
#include "gui/layout/twips.h"
#include "core/engine/ledger_commands.h"
#include "gui/ledger/ledger_view.h"
#include "gui/ledger/cell_editor.h"
#include "gui/ledger/side_panel.h"
#include "core/marketdata/estimate.h"
#include "core/marketdata/estimate_row.h"
#include "core/marketdata/fund_directory.h"
#include "core/storage/edit_file.h"
#include "core/marketdata/http_client.h"
#include "core/marketdata/nav_history.h"
#include "core/marketdata/nav_import.h"
#include "core/storage/csv_export.h"
#include "gui/dialogs/cost_calculator_dialog.h"
#include "core/engine/calculators.h"
#include "gui/charts/line_chart.h"
#include "gui/charts/trend_chart_window.h"
#include "core/storage/plan_file.h"
#include "core/common/version.h"

namespace tovira {
namespace {

// Design sizes in twips.
constexpr double kClientWidth = 13455;
constexpr double kClientHeight = 9255;
constexpr double kPanelWidth = 2415;
constexpr double kPanelHeight = 9255;
constexpr double kSlideStep = 120;
constexpr double kSlideJump = 2220;
// The rules below count the window's outer size: the client area plus the
// standard frame (4 px borders each side, caption and menu bar).
constexpr double kFrameWidth = 240;
constexpr double kFrameHeight = 870;

const QString kPanelOpen = QStringLiteral(" 《");
const QString kPanelShut = QStringLiteral("  》");
const QString kSaveQuestion = QStringLiteral("是否保存数据？");
const QString kQuestionCaption = QStringLiteral("提示");

class DialogChooser : public FileChooser {
public:
    QString OpenPlan(QWidget* parent) override {
        return QFileDialog::getOpenFileName(parent, QStringLiteral("打开"), QString(),
                                            QStringLiteral("ini文件 (*.ini)"));
    }
    QString SaveCsv(QWidget* parent, const QString& proposedName) override {
        return QFileDialog::getSaveFileName(parent, QStringLiteral("导出数据"), proposedName,
                                            QStringLiteral("csv文件 (*.csv)"));
    }
};

// A small chart glyph for the window and the notification area.
QIcon AppIcon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(0x1F, 0x4E, 0x8C));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(1, 1, 30, 30, 6, 6);
    p.setPen(QPen(QColor(255, 80, 80), 3));
    const QPointF line[] = {{6, 22}, {12, 15}, {18, 19}, {26, 8}};
    p.drawPolyline(line, 4);
    return QIcon(pixmap);
}

}  // namespace

MainWindow::MainWindow(const QString& programFolder, Prompt* prompt, FileChooser* chooser,
                       QWidget* parent)
    : QMainWindow(parent), programFolder_(programFolder) {
    if (!prompt) {
        ownPrompt_ = std::make_unique<QtPrompt>(this);
        prompt = ownPrompt_.get();
    }
    prompt_ = prompt;
    if (!chooser) {
        ownChooser_ = std::make_unique<DialogChooser>();
        chooser = ownChooser_.get();
    }
    chooser_ = chooser;

    config_ = Config::Load(programFolder_);
    http_ = new HttpClient(this);
    http_->SetTimeout(config_.TimeoutMs());
    today_ = [] { return QDate::currentDate(); };

    setWindowTitle(QStringLiteral("Tovira"));
    setWindowIcon(AppIcon());
    setFont(WindowFont());
    settings_.onSwitchChanged = [this](Switch s, bool on) {
        if (s == Switch::Redeem) ApplyRedeemColumns(ledger_, on);
    };

    auto* central = new QWidget(this);
    setCentralWidget(central);
    view_ = new LedgerView(ledger_, central);
    chart_ = new LineChart(ledger_, central);
    chart_->hide();
    panel_ = new SidePanel(settings_, *prompt_, central);
    panel_->raise();
    chart_->stackUnder(panel_);
    theory_ = new QRadioButton(QStringLiteral("理论计算"), central);
    fact_ = new QRadioButton(QStringLiteral("实际操作"), central);
    theory_->setChecked(true);
    BuildTopBar(central);
    BuildMenus();

    slideTimer_ = new QTimer(this);
    slideTimer_->setInterval(10);
    connect(slideTimer_, &QTimer::timeout, this, &MainWindow::SlideStep);
    estimateTimer_ = new QTimer(this);
    connect(estimateTimer_, &QTimer::timeout, this, &MainWindow::onEstimateTick);
    connect(ssgz_, &QCheckBox::clicked, this, &MainWindow::onEstimateSwitch);
    connect(diagram_, &QCheckBox::clicked, this, &MainWindow::onDiagram);
    connect(fundComp_, qOverload<int>(&QComboBox::activated), this, &MainWindow::onProviderChanged);
    connect(panel_, &SidePanel::ToggleClicked, this, [this] {
        if (!slideTimer_->isActive()) slideTimer_->start();
    });
    connect(theory_, &QRadioButton::clicked, this, [this] { onModeClicked(Mode::Theory); });
    connect(fact_, &QRadioButton::clicked, this, [this] { onModeClicked(Mode::Fact); });
    connect(view_, &LedgerView::FilesDropped, this, &MainWindow::onFilesDropped);

    // The mark of unsaved changes; the title stays as it is.
    modifiedMark_ = new QLabel(this);
    modifiedMark_->setObjectName(QStringLiteral("unsavedMark"));
    statusBar()->addPermanentWidget(modifiedMark_);
    statusBar()->setSizeGripEnabled(false);
    connect(panel_, &SidePanel::EditedByUser, this, [this] {
        settingsModified_ = true;
        UpdateModifiedMark();
    });
    connect(&ledger_, &QAbstractItemModel::modelReset, this, &MainWindow::UpdateModifiedMark);
    connect(&ledger_, &QAbstractItemModel::dataChanged, this, &MainWindow::UpdateModifiedMark);
    connect(&ledger_, &QAbstractItemModel::rowsInserted, this, &MainWindow::UpdateModifiedMark);
    connect(&ledger_, &QAbstractItemModel::rowsRemoved, this, &MainWindow::UpdateModifiedMark);

    QComboBox* code = FundCodeBox();
    code->setInsertPolicy(QComboBox::NoInsert);
    code->setToolTip(QStringLiteral("6位纯数字基金代码，Ctrl+Delete删除当前"));
    connect(code->lineEdit(), &QLineEdit::textEdited, this, &MainWindow::onFundCodeChanged);
    connect(code, qOverload<int>(&QComboBox::activated), this, &MainWindow::onFundCodePicked);
    code->lineEdit()->installEventFilter(this);
    code->installEventFilter(this);
    // A pick from the pop-up list: its click or its Enter key.
    code->view()->installEventFilter(this);
    code->view()->viewport()->installEventFilter(this);

    resize(TwipsToPixels(kClientWidth), TwipsToPixels(kClientHeight) + menuBar()->sizeHint().height() +
                                            statusBar()->sizeHint().height());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    // Never smaller than the design size, so the whole side panel, the top
    // bar and the chart with its labels stay within reach.
    setMinimumSize(size());

    // Load: title, query history, the tray icon, then the shown fund's plan.
    code->blockSignals(true);
    code->addItems(LoadQueryHistory(programFolder_));
    code->setEditText(QStringLiteral("210009"));
    code->blockSignals(false);
    SetTitleFor(code->currentText());
    BuildTray();
    ApplySettingsToPanel();
    ledgerCode_ = code->currentText();
    currentPlanPath_ = PlanFilePath(programFolder_, ledgerCode_);
    OpenPlan(Mode::Theory);
    ApplyLayout();
}

MainWindow::~MainWindow() {
    if (tray_) tray_->hide();
    // Requests still out must not call back into a window being torn down.
    delete http_;
    http_ = nullptr;
}

QComboBox* MainWindow::FundCodeBox() const { return panel_->FundCodeBox(); }

Mode MainWindow::CurrentMode() const { return shownMode_; }

QAction* MainWindow::Action(const QString& name) const {
    return findChild<QAction*>(name);
}

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
    add(files, "Open", QStringLiteral("打开"), [this] { onOpen(); }, QKeySequence(Qt::CTRL | Qt::Key_O));
    add(files, "Save", QStringLiteral("保存"), [this] { onSave(); }, QKeySequence(Qt::CTRL | Qt::Key_S));

    QMenu* functions = menuBar()->addMenu(QStringLiteral("高级(&A)"));
    add(functions, "MoneyOut", QStringLiteral("做Ｔ拿回本金"),
        [this] { MoneyOut(ledger_, settings_, CurrentMode(), *prompt_); });
    add(functions, "Cheaper", QStringLiteral("降低持仓成本"),
        [this] { ShowCostCalculator(*this, ledger_, settings_, *prompt_); });
    add(functions, "ShowTrendChart", QStringLiteral("查看最新走势"), [this] {
        ShowTrendChart(*this, *http_, config_, programFolder_,
                       [this] { return FundCodeBox()->currentText(); }, *prompt_);
    });

    QMenu* variants = menuBar()->addMenu(QStringLiteral("参数(&P)"));
    const std::pair<const char*, Preset> presets[] = {{"Default", Preset::Default},
                                                      {"Brave", Preset::Brave},
                                                      {"Steady", Preset::Steady},
                                                      {"Careful", Preset::Careful}};
    for (const auto& [name, preset] : presets) {
        const Preset p = preset;
        add(variants, name, PresetCaption(p), [this, p] { onPreset(p); });
    }

    QMenu* help = menuBar()->addMenu(QStringLiteral("帮助(&H)"));
    add(help, "DLFCode", QStringLiteral("更新基金"), [this] { onDLFCode(); });
    add(help, "About", QStringLiteral("关于软件"),
        [this] { ShowAboutDialog(this, config_.BaseUrl(Endpoint::WebSite)); });
    add(help, "Instructions", QStringLiteral("使用说明"),
        [this] { OpenHelpLink(HelpLink::Instructions, config_, *prompt_); });
    help->addSeparator();
    add(help, "Xiaoshu", QStringLiteral("小数没\"0\""),
        [this] { OpenHelpLink(HelpLink::Xiaoshu, config_, *prompt_); });
    add(help, "Update", QStringLiteral("检查更新"),
        [this] { CheckForUpdate(*http_, config_, *prompt_, {}, this); });
    add(help, "ContactMe", QStringLiteral("联系作者"),
        [this] { OpenHelpLink(HelpLink::ContactMe, config_, *prompt_); });
    add(help, "JoinUs", QStringLiteral("加入我们"),
        [this] { OpenHelpLink(HelpLink::JoinUs, config_, *prompt_); });

    QMenu* pop = view_->ContextMenu();
    pop->setTitle(QStringLiteral("右键菜单"));
    add(pop, "Refresh", QStringLiteral("刷新"), [this] { onRefresh(); });
    pop->addSeparator();
    add(pop, "ImportValue", QStringLiteral("导入净值"), [this] { onImportValue(); });
    add(pop, "ExportData", QStringLiteral("导出数据"), [this] { onExportData(); });
    add(pop, "Add", QStringLiteral("追加至今"), [this] { onAdd(); });
    pop->addSeparator();
    add(pop, "DeleteThisLine", QStringLiteral("删除此行"), [this] { onDeleteThisLine(); });
    add(pop, "ClearList", QStringLiteral("清空列表"), [this] { onClearList(); });
}

void MainWindow::BuildTopBar(QWidget* central) {
    frame4_ = new QFrame(central);
    frame4_->setFrameShape(QFrame::NoFrame);
    auto place = [](QWidget* w, double l, double t, double wd, double h) {
        w->setGeometry(TwipsRect(l, t, wd, h));
    };
    ssgz_ = new QCheckBox(QStringLiteral("实时估值"), frame4_);
    ssgz_->setToolTip(QStringLiteral("按下则30秒更新一次数据"));
    place(ssgz_, 120, 90, 1215, 315);
    auto* label19 = new QLabel(QStringLiteral("基金公司："), frame4_);
    place(label19, 1440, 120, 975, 255);
    fundComp_ = new QComboBox(frame4_);
    fundComp_->addItems({QStringLiteral("天天基金"), QStringLiteral("好买基金"), QStringLiteral("爱基金")});
    fundComp_->setToolTip(QStringLiteral("不同基金公司估值略有不同"));
    place(fundComp_, 2400, 60, 1335, 375);
    auto* label12 = new QLabel(QStringLiteral("估值："), frame4_);
    place(label12, 3960, 120, 615, 255);
    estimateValue_ = new QLabel(frame4_);
    place(estimateValue_, 4560, 120, 900, 255);
    auto* label13 = new QLabel(QStringLiteral("涨幅："), frame4_);
    place(label13, 5520, 120, 615, 255);
    estimateChange_ = new QLabel(frame4_);
    place(estimateChange_, 6120, 120, 900, 255);
    diagram_ = new QCheckBox(QStringLiteral("折线图"), frame4_);
    place(diagram_, 7200, 90, 1095, 315);
}

void MainWindow::BuildTray() {
    // "WindowStyle": the icon is in place from the start where a
    // notification area exists; elsewhere minimising is an ordinary minimise.
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
    tray_ = new QSystemTrayIcon(windowIcon(), this);
    tray_->setToolTip(QStringLiteral("Zororad") + QStringLiteral(TOVIRA_VERSION));
    trayMenu_ = new QMenu(this);
    QAction* show = trayMenu_->addAction(QStringLiteral("显示窗口"));
    show->setObjectName(QStringLiteral("F01"));
    connect(show, &QAction::triggered, this, &MainWindow::onTrayShow);
    QAction* quit = trayMenu_->addAction(QStringLiteral("退出"));
    quit->setObjectName(QStringLiteral("F02"));
    connect(quit, &QAction::triggered, this, &MainWindow::onTrayQuit);
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
        if (r == QSystemTrayIcon::Trigger) {
            RestoreFromTray();
            activateWindow();
        } else if (r == QSystemTrayIcon::Context && isHidden()) {
            trayMenu_->popup(QCursor::pos());
        }
    });
    tray_->show();
}

void MainWindow::ApplySettingsToPanel() { panel_->SyncFromSettings(); }

void MainWindow::SetTitleFor(const QString& code) {
    setWindowTitle(WindowTitle(code, FundName(programFolder_, code)));
}

// Layout ------------------------------------------------------------------

void MainWindow::ApplyLayout() {
    panel_->setGeometry(TwipsRect(frame3Left_, 0, kPanelWidth, kPanelHeight));
    // Each option button at least as wide as its text needs, the second one
    // moved right when the first grows, so neither covers the other's text.
    QRect theory = TwipsRect(2520 + topShift_, 0, 975, 495);
    theory.setWidth(std::max(theory.width(), theory_->sizeHint().width()));
    QRect fact = TwipsRect(3480 + topShift_, 0, 975, 495);
    fact.moveLeft(std::max(fact.left(), theory.right() + 1));
    fact.setWidth(std::max(fact.width(), fact_->sizeHint().width()));
    theory_->setGeometry(theory);
    fact_->setGeometry(fact);
    frame4_->setGeometry(TwipsRect(4800 + topShift_, 0, 8655, 495));
    view_->setGeometry(TwipsRect(lvLeft_, 480, lvWidth_, lvHeight_));
    if (centralWidget()) chart_->setGeometry(centralWidget()->rect());
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (!centralWidget()) return;
    const double w = PixelsToTwips(centralWidget()->width()) + kFrameWidth;
    const double h = PixelsToTwips(centralWidget()->height()) + kFrameHeight;
    const QString toggle = panel_->Toggle()->text();
    if (w > 2760 && toggle == kPanelOpen) {
        lvWidth_ = w - 2760;
    } else if (w > 540 && toggle == kPanelShut) {
        lvWidth_ = w - 540;
    } else {
        lvWidth_ = 10935;
    }
    lvHeight_ = h > 1350 ? h - 1350 : 7095;
    savedTop_ = PixelsToTwips(y());
    savedLeft_ = PixelsToTwips(x());
    ApplyLayout();
}

void MainWindow::SlideStep() {
    const QString toggle = panel_->Toggle()->text();
    if (toggle == kPanelOpen) {
        frame3Left_ -= kSlideStep;
        if (frame3Left_ <= 240 - kPanelWidth) {
            slideTimer_->stop();
            panel_->Toggle()->setText(kPanelShut);
            lvLeft_ -= kSlideJump;
            lvWidth_ += kSlideJump;
            topShift_ -= kSlideJump;
        }
    } else if (toggle == kPanelShut) {
        frame3Left_ += kSlideStep;
        if (frame3Left_ >= 0) {
            slideTimer_->stop();
            panel_->Toggle()->setText(kPanelOpen);
            lvLeft_ += kSlideJump;
            lvWidth_ -= kSlideJump;
            topShift_ += kSlideJump;
        }
    }
    ApplyLayout();
}

// Notification area ---------------------------------------------------------

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
    if (!isMaximized()) move(TwipsToPixels(savedLeft_), TwipsToPixels(savedTop_));
}

void MainWindow::onTrayShow() { RestoreFromTray(); }

void MainWindow::onTrayQuit() {
    FinishEditing();
    if (ledger_.RowCount() > 0) {
        const PromptAnswer a =
            prompt_->Ask(kSaveQuestion, kQuestionCaption, PromptButtons::YesNo, PromptIcon::None);
        // A save that fails keeps the program running, so nothing is lost.
        if (a == PromptAnswer::Yes && !onSave()) return;
    }
    quitting_ = true;
    if (tray_) tray_->hide();
    close();
    qApp->quit();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    FinishEditing();
    if (!quitting_ && ledger_.RowCount() > 0) {
        const PromptAnswer a = prompt_->Ask(kSaveQuestion, kQuestionCaption, PromptButtons::YesNoCancel,
                                            PromptIcon::None);
        if (a == PromptAnswer::Cancel || (a == PromptAnswer::Yes && !onSave())) {
            event->ignore();
            return;
        }
    }
    if (tray_) tray_->hide();
    event->accept();
    if (!quitting_) {
        quitting_ = true;
        qApp->quit();
    }
}

// Plan commands ---------------------------------------------------------------

void MainWindow::OpenPlan(Mode mode) {
    OpenPlanOptions options;
    options.mode = mode;
    options.setFundCode = [this](const QString& stored) {
        // A plan that names another fund switches to that fund, as typing
        // the code would; only once, so two plans naming each other cannot
        // send the window round in circles.
        if (stored == FundCodeBox()->currentText() || handlingCode_) return;
        SetFundCodeText(stored);
    };
    const OpenResult result = OpenPlanFile(currentPlanPath_, ledger_, settings_, *prompt_, options);
    shownMode_ = mode;
    (mode == Mode::Fact ? fact_ : theory_)->setChecked(true);
    if (result == OpenResult::NoFile && ledger_.RowCount() > 0) {
        // Nothing to reload: still show the figures of the chosen mode.
        Recalculate(ledger_, settings_, mode);
    }
    // Loaded parameters are the file's; with no rows there is nothing a
    // save could keep them in.
    if (result == OpenResult::Opened || ledger_.RowCount() == 0) settingsModified_ = false;
    ApplySettingsToPanel();
    UpdateModifiedMark();
}

void MainWindow::FinishEditing() {
    view_->Editor()->End(true);
    panel_->FinishTyping();
}

bool MainWindow::PlanModified() const { return ledger_.InputsModified() || settingsModified_; }

void MainWindow::SetPlanSaved() {
    settingsModified_ = false;
    UpdateModifiedMark();
}

void MainWindow::UpdateModifiedMark() {
    if (!modifiedMark_) return;
    const QString text =
        ledger_.RowCount() > 0 && PlanModified() ? QStringLiteral("未保存的修改") : QString();
    if (modifiedMark_->text() != text) modifiedMark_->setText(text);
}

bool MainWindow::ConfirmDiscard() {
    FinishEditing();
    if (ledger_.RowCount() == 0 || !PlanModified()) return true;
    const PromptAnswer a =
        prompt_->Ask(kSaveQuestion, kQuestionCaption, PromptButtons::YesNoCancel, PromptIcon::None);
    if (a == PromptAnswer::Cancel) return false;
    if (a == PromptAnswer::Yes) {
        // The rows belong to the fund they were loaded for, not to a code
        // half typed into the box.
        QString path;
        if (SavePlanFile(ledger_, settings_, shownMode_, programFolder_, ledgerCode_, path,
                         *prompt_) != SaveResult::Saved) {
            return false;
        }
        SetPlanSaved();
    }
    return true;
}

void MainWindow::onOpen() {
    if (ledger_.RowCount() > 0) {
        prompt_->Inform(QString::fromUtf8(kMsgClearFirst));
        return;
    }
    const QString path = chooser_->OpenPlan(this);
    if (path.isEmpty()) return;
    OpenChosenPlan(path);
}

void MainWindow::OpenChosenPlan(const QString& chosen) {
    QString path = chosen;
    const QFileInfo info(path);
    const bool outside = info.absoluteDir() != QDir(PlanFolder(programFolder_));
    const QString stored =
        outside && info.isFile() && path.endsWith(QStringLiteral(".ini"))
            ? ReadIniValue(path, QStringLiteral("设置"), QStringLiteral("基金代码"))
            : QString();
    if (!IsFundCode(stored)) {
        // A plan of the plan folder, or one that names no fund: as it is.
        currentPlanPath_ = path;
        OpenPlan(CurrentMode());
        return;
    }
    // A plan from elsewhere: offer to keep a copy in the plan folder, where
    // typing its code finds it; never over a plan that is already there.
    const QString own = PlanFilePath(programFolder_, stored);
    if (!QFileInfo::exists(own)) {
        const PromptAnswer a = prompt_->Ask(
            QStringLiteral("“我的基金”中没有基金%1的计划，是否将此计划复制到“我的基金”？").arg(stored),
            kQuestionCaption, PromptButtons::YesNo, PromptIcon::Question);
        if (a == PromptAnswer::Yes) {
            if (QDir().mkpath(PlanFolder(programFolder_)) && QFile::copy(path, own)) {
                path = own;
            } else {
                prompt_->Inform(QStringLiteral("复制失败，计划仍从原位置打开！"));
            }
        }
    }
    // Show the plan's fund without loading the plan folder's file of it:
    // the user asked for this file.
    ShowFundCode(stored);
    currentPlanPath_ = path;
    OpenPlan(CurrentMode());
}

void MainWindow::ShowFundCode(const QString& text) {
    QComboBox* code = FundCodeBox();
    const QSignalBlocker blocker(code);
    const int at = code->findText(text, Qt::MatchFixedString | Qt::MatchCaseSensitive);
    if (at >= 0) code->removeItem(at);
    code->insertItem(0, text);
    code->setEditText(text);
    QStringList entries;
    for (int i = 0; i < code->count(); ++i) entries << code->itemText(i);
    SaveQueryHistory(programFolder_, entries);
    SetTitleFor(text);
    SetLedgerCode(text);
}

bool MainWindow::onSave() {
    FinishEditing();
    const QString code = FundCodeBox()->currentText();
    const bool saved = SavePlanFile(ledger_, settings_, CurrentMode(), programFolder_, code,
                                    currentPlanPath_, *prompt_) == SaveResult::Saved;
    if (saved) {
        SetLedgerCode(code);
        SetPlanSaved();
    }
    return saved;
}

void MainWindow::onRefresh() {
    if (ledger_.RowCount() == 0) {
        prompt_->Inform(QStringLiteral("请导入净值！"));
        return;
    }
    Recalculate(ledger_, settings_, CurrentMode());
}

void MainWindow::onExportData() {
    if (ledger_.RowCount() == 0) {
        prompt_->Inform(QString::fromUtf8(kMsgNoData));
        return;
    }
    const QString path =
        chooser_->SaveCsv(this, DefaultCsvName(FundCodeBox()->currentText(), ledger_));
    if (path.isEmpty()) return;
    if (!ExportCsv(path, ledger_)) {
        // A character GBK cannot hold is named with its place; anything else
        // is the file itself.
        const QString unexportable = UnexportableCellMessage(ledger_);
        prompt_->Inform(unexportable.isEmpty()
                            ? QStringLiteral("导出失败，请检查文件是否被其他程序占用！")
                            : unexportable);
    }
}

void MainWindow::onDeleteThisLine() {
    DeleteThisLine(ledger_, view_->SelectedRow(), settings_, CurrentMode());
}

void MainWindow::onClearList() { ClearList(ledger_); }

void MainWindow::onPreset(Preset p) {
    settings_.ApplyPreset(p);
    ApplySettingsToPanel();
    settingsModified_ = true;
    UpdateModifiedMark();
}

void MainWindow::onModeClicked(Mode mode) {
    // Clicking the option that is already selected switches nothing.
    if (mode == shownMode_) {
        (mode == Mode::Fact ? fact_ : theory_)->setChecked(true);
        return;
    }
    const QString path = PlanFilePath(programFolder_, FundCodeBox()->currentText());
    // Reloading the plan file replaces the input cells: ask first. A Yes
    // saves what is shown, in the mode it was shown in (shownMode_ until
    // the reload).
    if (QFileInfo::exists(path) && !ConfirmDiscard()) {
        (shownMode_ == Mode::Fact ? fact_ : theory_)->setChecked(true);
        return;
    }
    currentPlanPath_ = path;
    OpenPlan(mode);
    if (diagram_->isChecked()) {
        // The chart follows the figures of the new mode.
        chart_->Clear();
        chart_->Draw(ChartLeftEdge(panel_->Toggle()->text()));
    }
}

void MainWindow::onDiagram(bool ticked) {
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

void MainWindow::onFilesDropped(const QStringList& paths) {
    if (paths.isEmpty()) return;
    if (ledger_.RowCount() > 0) {
        prompt_->Inform(QString::fromUtf8(kMsgClearFirst));
        return;
    }
    OpenChosenPlan(paths.first());
}

void MainWindow::StartUpdateCheck() {
    CheckForUpdateAtStartup(
        *http_, config_, *prompt_, {},
        [this](StartupUpdate result) {
            if (result == StartupUpdate::Quit) close();
        },
        this);
}

// Real-time valuation -------------------------------------------------------------

void MainWindow::SetLedgerCode(const QString& code) {
    // The previous official NAV belongs to the fund it was fetched for.
    if (code != ledgerCode_) ledger_.SetTag(QString());
    ledgerCode_ = code;
}

void MainWindow::onEstimateSwitch(bool ticked) {
    if (ticked) {
        estimateTimer_->start(estimateIntervalMs_);
        if (!estimateValue_->text().isEmpty()) RunApplyEstimate();
    } else {
        estimateTimer_->stop();
    }
}

void MainWindow::onProviderChanged() {
    // Another provider's previous NAV must not be mixed into this one's rows.
    ledger_.SetTag(QString());
    if (ssgz_->isChecked()) {
        estimateTimer_->stop();
        estimateTimer_->start(estimateIntervalMs_);
    }
}

void MainWindow::onEstimateTick() {
    const std::optional<EstimateProvider> provider = ProviderByName(fundComp_->currentText());
    if (!provider) return;
    const int slot = static_cast<int>(*provider);
    if (estimatePending_[slot]) return;  // the previous request is still out
    const QString code = FundCodeBox()->currentText();
    QString url;
    switch (*provider) {
        case EstimateProvider::Tiantian:
            url = ScriptEstimateUrl(config_.BaseUrl(Endpoint::EstimateTiantian), code,
                                    static_cast<long long>(RandomInteger(100000000, 999999999)));
            break;
        case EstimateProvider::Howbuy:
            url = PageEstimateUrl(config_.BaseUrl(Endpoint::EstimateHowbuy), code);
            break;
        case EstimateProvider::Jqka:
            url = ApiEstimateUrl(config_.BaseUrl(Endpoint::Estimate10jqka), code);
            break;
    }
    estimatePending_[slot] = true;
    http_->Get(
        QUrl(url, QUrl::TolerantMode),
        [this, slot, provider, code](const HttpResponse& response) {
            estimatePending_[slot] = false;
            if (!response.ok) {
                ShowEstimateFailure(QString::fromUtf8(response.timedOut ? kMsgEstimateTimedOut
                                                                        : kMsgEstimateFailed));
                return;
            }
            // An error page is no estimate, whatever figures it holds.
            if (response.status < 200 || response.status > 299) {
                ShowEstimateFailure(QString::fromUtf8(kMsgEstimateFailed));
                return;
            }
            const std::optional<Estimate> estimate = ParseEstimate(*provider, response.text);
            if (!estimate) {
                ShowEstimateFailure(QString::fromUtf8(kMsgEstimateFailed));
                return;
            }
            // An answer for a fund or provider no longer shown is dropped.
            if (code != FundCodeBox()->currentText() ||
                ProviderByName(fundComp_->currentText()) != provider) {
                return;
            }
            if (estimate->previousNav) ledger_.SetTag(*estimate->previousNav);
            if (estimateValue_->text() != estimate->value) {
                estimateValue_->setText(estimate->value);
                RunApplyEstimate();
            }
            estimateChange_->setText(estimate->change);
        },
        this);
}

void MainWindow::ShowEstimateFailure(const QString& text) {
    // One failure box at a time; the polling goes on meanwhile.
    if (estimateFailureOpen_) return;
    estimateFailureOpen_ = true;
    prompt_->Ask(text, kQuestionCaption, PromptButtons::Ok, PromptIcon::None);
    estimateFailureOpen_ = false;
}

void MainWindow::RunApplyEstimate() {
    const std::optional<EstimateAlert> alert =
        ApplyEstimate(ledger_, settings_, CurrentMode(), estimateValue_->text(), ledger_.Tag(), today_());
    if (!alert || estimateAlertOpen_) return;
    estimateAlertOpen_ = true;
    prompt_->Inform(alert->text);
    estimateAlertOpen_ = false;
}

// Market data ---------------------------------------------------------------------

void MainWindow::onImportValue() {
    if (ledger_.RowCount() > 0) {
        prompt_->Inform(QString::fromUtf8(kMsgImportOnFilled));
        return;
    }
    if (importDialog_ && importDialog_->isVisible()) {
        importDialog_->raise();
        return;
    }
    importDialog_ = new ImportRangeDialog(today_(), this);
    importDialog_->setAttribute(Qt::WA_DeleteOnClose);
    importDialog_->setWindowModality(Qt::WindowModal);
    connect(importDialog_, &ImportRangeDialog::Accepted, this, &MainWindow::StartImport);
    importDialog_->show();
}

void MainWindow::StartImport(const QDate& start, const QDate& end) {
    const QString code = FundCodeBox()->currentText();
    if (!IsFundCode(code)) {
        prompt_->Inform(QString::fromUtf8(kMsgBadFundCode));
        return;
    }
    importDialog_->SetBusy(true);
    // 取消 deletes the owner: the download is aborted and never reports.
    const QPointer<QObject> owner = importDialog_->RequestOwner();
    DownloadNavHistory(
        *http_, config_.BaseUrl(Endpoint::NavHistory), code, start, end,
        [this, owner](const NavDownloadResult& result) {
            if (!result.complete) prompt_->Inform(QString::fromUtf8(NavFailureMessage(result)));
            if (!owner) return;  // cancelled while the message was open
            // The window is modal: the ledger is still the empty one the
            // import was asked for.
            if (ledger_.RowCount() == 0) {
                const ImportOutcome out = ImportNavHistory(ledger_, result.history);
                if (out.hitRowLimit) prompt_->Inform(QString::fromUtf8(kMsgRowLimit));
            }
            if (importDialog_) {
                importDialog_->SetBusy(false);
                importDialog_->accept();
            }
        },
        owner, config_.ImportLimitMs());
}

void MainWindow::onAdd() {
    QAction* add = Action(QStringLiteral("Add"));
    if (!add->isEnabled()) return;  // the previous append is still waiting
    const int n = ledger_.RowCount();
    const QDate today = today_();
    const QString code = FundCodeBox()->currentText();
    if (!IsFundCode(code)) {
        prompt_->Inform(QString::fromUtf8(kMsgBadFundCode));
        return;
    }
    const std::optional<QDate> last = LastRowDate(ledger_);
    if (n == 0 || !last) {
        prompt_->Inform(QString::fromUtf8(kMsgNoStartDate));
        return;
    }
    add->setEnabled(false);
    const QString ledgerCode = ledgerCode_;
    const QString lastNav = ledger_.Cell(n, Column::NetValue);
    DownloadNavHistory(*http_, config_.BaseUrl(Endpoint::NavHistory), code, last->addDays(1), today,
                       [this, add, n, last, ledgerCode, lastNav](const NavDownloadResult& result) {
                           add->setEnabled(true);
                           if (!result.complete) {
                               prompt_->Inform(QString::fromUtf8(NavFailureMessage(result)));
                           }
                           // The ledger was replaced while the request ran (another
                           // fund, cleared, another plan): these days belong to none
                           // of its rows.
                           if (ledgerCode != ledgerCode_ || ledger_.RowCount() < n ||
                               ReadLedgerDate(ledger_.Cell(n, Column::Date)) != last) {
                               if (result.history.contains(u'|')) {
                                   prompt_->Inform(QString::fromUtf8(kMsgAppendDiscarded));
                               }
                               return;
                           }
                           // Rows added meanwhile (today's estimate row) go below the
                           // new days. The estimate took row n for yesterday and gave
                           // it the previous NAV, which belongs to the last new day.
                           if (ledger_.RowCount() > n && result.history.contains(u'|') &&
                               ledger_.Cell(n, Column::NetValue) == ledger_.Tag()) {
                               ledger_.SetCell(n, Column::NetValue, lastNav);
                           }
                           const ImportOutcome out =
                               AppendNavHistoryAfter(ledger_, n, result.history);
                           if (out.hitRowLimit) prompt_->Inform(QString::fromUtf8(kMsgRowLimit));
                           Recalculate(ledger_, settings_, CurrentMode());
                       },
                       this, config_.ImportLimitMs());
}

void MainWindow::onDLFCode() {
    QAction* action = Action(QStringLiteral("DLFCode"));
    if (!action->isEnabled()) return;
    action->setEnabled(false);
    DownloadFundDirectory(*http_, config_.BaseUrl(Endpoint::FundDirectory), programFolder_,
                          [this, action](DirectoryResult result) {
                              action->setEnabled(true);
                              switch (result) {
                                  case DirectoryResult::Updated:
                                      prompt_->Inform(QString::fromUtf8(kMsgDirectoryUpdated));
                                      break;
                                  case DirectoryResult::Failed:
                                      prompt_->Inform(QString::fromUtf8(kMsgDirectoryFailed));
                                      break;
                                  case DirectoryResult::TimedOut:
                                      prompt_->Inform(QString::fromUtf8(kMsgDirectoryTimedOut));
                                      break;
                              }
                              SetTitleFor(FundCodeBox()->currentText());
                          },
                          this);
}

// Fund code box -----------------------------------------------------------------

void MainWindow::SetFundCodeText(const QString& text) {
    QComboBox* code = FundCodeBox();
    if (code->currentText() == text) return;
    code->blockSignals(true);
    code->setEditText(text);
    code->blockSignals(false);
    onFundCodeChanged(text);
}

void MainWindow::onFundCodeChanged(const QString& text) {
    QComboBox* code = FundCodeBox();
    if (!ConfirmDiscard()) {
        // Cancel: the box shows the code the ledger belongs to again.
        code->blockSignals(true);
        code->setEditText(ledgerCode_);
        code->blockSignals(false);
        return;
    }
    const bool outer = !handlingCode_;
    handlingCode_ = true;
    if (IsFundCode(text)) {
        SetTitleFor(text);
        settings_.ApplyPreset(Preset::Default);
        ApplySettingsToPanel();
        // Move the code to the top of the list, keeping what the box shows.
        const int cursor = code->lineEdit()->cursorPosition();
        code->blockSignals(true);
        const int at = code->findText(text, Qt::MatchFixedString | Qt::MatchCaseSensitive);
        if (at >= 0) code->removeItem(at);
        code->insertItem(0, text);
        code->setEditText(text);
        code->lineEdit()->setCursorPosition(cursor);
        code->blockSignals(false);
    }
    UpdateQueryHistory();
    if (outer) handlingCode_ = false;
}

void MainWindow::UpdateQueryHistory() {
    QComboBox* code = FundCodeBox();
    QStringList entries;
    for (int i = 0; i < code->count(); ++i) entries << code->itemText(i);
    SaveQueryHistory(programFolder_, entries);
    ledger_.ClearRows();
    const QString text = code->currentText();
    SetLedgerCode(text);
    currentPlanPath_ = PlanFilePath(programFolder_, text);
    OpenPlan(CurrentMode());
}

void MainWindow::onFundCodePicked(int index) {
    // The box also announces a "pick" when the focus leaves it while its
    // text matches an entry; that is no pick and changes nothing.
    if (!std::exchange(codePickedByUser_, false)) return;
    QComboBox* code = FundCodeBox();
    const QString text = code->itemText(index);
    if (!ConfirmDiscard()) {
        code->blockSignals(true);
        code->setEditText(ledgerCode_);
        code->blockSignals(false);
        return;
    }
    code->blockSignals(true);
    code->setEditText(text);
    code->blockSignals(false);
    if (IsFundCode(text)) {
        SetTitleFor(text);
        estimateValue_->clear();
        estimateChange_->clear();
    }
    ledger_.ClearRows();
    settings_.ApplyPreset(Preset::Default);
    SetLedgerCode(text);
    currentPlanPath_ = PlanFilePath(programFolder_, text);
    OpenPlan(CurrentMode());
}

void MainWindow::onFundCodeDelete() {
    QComboBox* code = FundCodeBox();
    const QString text = code->currentText();
    const int at = code->findText(text, Qt::MatchFixedString | Qt::MatchCaseSensitive);
    if (at < 0) return;
    if (!ConfirmDiscard()) return;
    QFile::remove(QDir(programFolder_).filePath(QStringLiteral("History.ini")));
    code->blockSignals(true);
    code->removeItem(at);
    code->setEditText(text);
    code->blockSignals(false);
    QStringList entries;
    for (int i = 0; i < code->count(); ++i) entries << code->itemText(i);
    SaveQueryHistory(programFolder_, entries, true);
    ledger_.ClearRows();
    // Emptying the box runs its change handling once more.
    SetFundCodeText(QString());
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    QComboBox* code = FundCodeBox();
    // Note the real picks of the list: a click or Enter in its pop-up, the
    // arrow keys on the box. The pick is announced while the event is
    // handled; the mark does not outlive it.
    bool pick = false;
    if (watched == code->view()->viewport() && event->type() == QEvent::MouseButtonRelease) {
        pick = true;
    } else if ((watched == code->view() || watched == code) && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        pick = key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Up ||
               key == Qt::Key_Down || key == Qt::Key_PageUp || key == Qt::Key_PageDown;
        if (watched == code && (key == Qt::Key_Return || key == Qt::Key_Enter)) pick = false;
    }
    if (pick) {
        codePickedByUser_ = true;
        QTimer::singleShot(0, this, [this] { codePickedByUser_ = false; });
    }
    if ((watched == code || watched == code->lineEdit()) && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Delete && key->modifiers() == Qt::ControlModifier) {
            onFundCodeDelete();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

}  // namespace tovira
