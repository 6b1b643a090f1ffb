#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cerrno>
#include <cmath>

#include "core/common/version.h"
#include "core/storage/file_io.h"
#include "core/storage/ini_document.h"
#include "gui/charts/line_chart.h"
#include "gui/layout/twips.h"
#include "gui/ledger/cell_editor.h"
#include "gui/ledger/ledger_view.h"
#include "gui/ledger/side_panel.h"
#include "gui/shell/main_window.h"
#include "support/window_fixture.h"

using namespace tovira;

namespace {

using test::ExamplePlan;

class MainWindowTest : public test::WindowFixture {
  protected:
    void SetUp() override {
        WindowFixture::SetUp();
        AddExamplePlan();
    }
};

}  // namespace

TEST_F(MainWindowTest, StartsWithTheDefaultCodeAnEmptyLedgerAndTheHistory) {
    IniDocument history;
    history.SetValue(QStringLiteral("查询历史"), QStringLiteral("FundCode1"),
                     QStringLiteral("006675"));
    history.SetValue(QStringLiteral("查询历史"), QStringLiteral("FundCode2"),
                     QStringLiteral("000011"));
    history.SetValue(QStringLiteral("查询历史"), QStringLiteral("FundCode4"),
                     QStringLiteral("161725"));
    ASSERT_TRUE(history.Save(dir.filePath(QStringLiteral("History.ini"))));

    MainWindow& w = Window();
    EXPECT_EQ(w.windowTitle(), "Zororad" TOVIRA_VERSION " - 210009 ");
    EXPECT_EQ(CodeBox()->currentText(), "210009");
    ASSERT_EQ(CodeBox()->count(), 2);
    EXPECT_EQ(CodeBox()->itemText(1), "000011");
    EXPECT_EQ(w.Ledger().LastRow(), 0);
    EXPECT_EQ(w.Ledger().columnCount(), 18);
    EXPECT_TRUE(View()->isColumnHidden(Index(Column::RedeemShares)));
    EXPECT_TRUE(Find<QRadioButton>("theoryButton")->isChecked());
    EXPECT_TRUE(prompt.texts.isEmpty());
}

TEST_F(MainWindowTest, TypingACodeOpensItsPlanAndRecordsTheHistory) {
    IniDocument names;
    names.SetValue(QStringLiteral("基金代码"), QStringLiteral("006675"),
                   QStringLiteral("宝盈品牌消费股票A"));
    ASSERT_TRUE(names.Save(dir.filePath(QStringLiteral("FundCode.ini"))));
    MainWindow& w = Window();
    ClearBox();
    Type(QStringLiteral("00667"));
    EXPECT_EQ(w.Ledger().LastRow(), 0);
    Type(QStringLiteral("5"));
    EXPECT_EQ(w.windowTitle(), "Zororad" TOVIRA_VERSION " - 006675 宝盈品牌消费股票A");
    EXPECT_EQ(w.Ledger().LastRow(), 240);
    EXPECT_TRUE(w.Settings().Checked(Switch::SellOnRises));
    EXPECT_FALSE(View()->isColumnHidden(Index(Column::RedeemShares)));
    EXPECT_EQ(CodeBox()->itemText(0), "006675");
    EXPECT_EQ(CodeBox()->currentText(), "006675");
    IniDocument history;
    ASSERT_TRUE(history.Load(dir.filePath(QStringLiteral("History.ini"))));
    EXPECT_EQ(history.Value(QStringLiteral("查询历史"), QStringLiteral("FundCode1")), "006675");
    EXPECT_TRUE(prompt.texts.isEmpty());  // nothing was unsaved
}

TEST_F(MainWindowTest, PlansNamingEachOtherAreFollowedOnceWithoutLooping) {
    // The plan of the code shown at start names another fund, whose plan
    // names the first one back. (A typed code's plan is taken as it is.)
    for (const auto& [own, other] :
         {std::pair{"210009", "222222"}, std::pair{"222222", "210009"}}) {
        IniDocument plan;
        ASSERT_TRUE(plan.Load(ExamplePlan()));
        plan.SetValue(QStringLiteral("设置"), QStringLiteral("基金代码"),
                      QString::fromLatin1(other));
        ASSERT_TRUE(plan.Save(PlanPath(own)));
    }
    MainWindow& w = Window();
    EXPECT_EQ(CodeBox()->currentText(), "222222");
    EXPECT_EQ(w.Ledger().LastRow(), 240);
    EXPECT_TRUE(prompt.texts.isEmpty());
}

TEST_F(MainWindowTest, UnsavedInputIsNotLostWhenTheCodeChanges) {
    MainWindow& w = Window();
    ClearBox();
    Type(QStringLiteral("006675"));
    ASSERT_EQ(w.Ledger().LastRow(), 240);
    w.Ledger().SetCell(3, Column::NetValue, QStringLiteral("1.3000"));

    // A code on its way is no fund yet: nothing is asked, nothing cleared,
    // whatever is typed (the question used to come at the first key and take
    // the rest of the typing as its answer).
    ClearBox();
    Type(QStringLiteral("16172"));
    EXPECT_TRUE(prompt.texts.isEmpty());
    EXPECT_EQ(w.Ledger().LastRow(), 240);
    EXPECT_EQ(w.Ledger().Cell(3, Column::NetValue), "1.3000");

    // Cancel at the whole code: the box shows the plan's code again.
    prompt.replies = {PromptAnswer::Cancel};
    Type(QStringLiteral("5"));
    EXPECT_EQ(prompt.texts, QStringList{"是否保存数据？"});
    EXPECT_EQ(prompt.captions.value(0), "提示");
    EXPECT_EQ(CodeBox()->currentText(), "006675");
    EXPECT_EQ(w.Ledger().Cell(3, Column::NetValue), "1.3000");
    // The plan's own code typed again is no change.
    ClearBox();
    Type(QStringLiteral("006675"));
    EXPECT_EQ(prompt.texts.size(), 1);

    // Yes: saved to the plan of the fund the rows belong to, then the new
    // code's plan (none) is shown.
    prompt.replies = {PromptAnswer::Yes};
    ClearBox();
    Type(QStringLiteral("161725"));
    EXPECT_EQ(prompt.texts.count(QStringLiteral("是否保存数据？")), 2);
    EXPECT_EQ(w.Ledger().LastRow(), 0);
    EXPECT_TRUE(prompt.texts.contains(QStringLiteral("保存成功！")));
    IniDocument plan;
    ASSERT_TRUE(plan.Load(PlanPath("006675")));
    EXPECT_EQ(plan.Value(QStringLiteral("第3行"), QStringLiteral("NetValue")), "1.3000");
    EXPECT_EQ(QDir(dir.filePath("我的基金")).entryList(QDir::Files), QStringList{"006675.ini"});
}

TEST_F(MainWindowTest, ClosingAsksAndAFailedSaveKeepsTheWindowOpen) {
    {
        MainWindow empty(dir.path(), &prompt, &chooser);
        empty.show();
        EXPECT_TRUE(empty.close());  // empty ledger: no question
        EXPECT_TRUE(prompt.texts.isEmpty());
    }
    MainWindow& w = Window();
    ClearBox();
    Type(QStringLiteral("006675"));
    w.show();
    prompt.replies = {PromptAnswer::Cancel};
    EXPECT_FALSE(w.close());
    EXPECT_EQ(prompt.texts.last(), "是否保存数据？");

    // A code that cannot name a plan file: the save is refused, the window stays.
    CodeBox()->lineEdit()->setText(QStringLiteral("abc"));
    prompt.replies = {PromptAnswer::Yes};
    EXPECT_FALSE(w.close());
    EXPECT_EQ(prompt.texts.last(), "基金代码有误，请更正！");
    EXPECT_TRUE(w.isVisible());
}

TEST_F(MainWindowTest, CommandsOnAnEmptyLedgerSayWhatIsMissing) {
    MainWindow& w = Window();
    w.OnRefresh();
    EXPECT_EQ(prompt.texts.last(), "请导入净值！");
    w.OnExportData();
    EXPECT_EQ(prompt.texts.last(), "数据不足！");
    w.OnSave();
    EXPECT_EQ(prompt.texts.last(), "列表无数据，未保存！");
}

TEST_F(MainWindowTest, OpenDropExportAndModes) {
    MainWindow& w = Window();
    chooser.openPath = QStringLiteral(TOVIRA_TEST_DATA "/golden/161725-fact.ini");
    // A plan from elsewhere whose fund has no plan in the plan folder is
    // shown as it is, with the offer to keep a copy there.
    prompt.replies = {PromptAnswer::No};
    w.OnOpen();
    EXPECT_EQ(prompt.texts.last(),
              "“我的基金”中没有基金161725的计划，是否将此计划复制到“我的基金”？");
    EXPECT_EQ(CodeBox()->currentText(), "161725");
    EXPECT_GT(w.Ledger().LastRow(), 700);
    EXPECT_FALSE(QFile::exists(PlanPath("161725")));
    w.OnClearList();
    prompt.replies = {PromptAnswer::Yes};
    w.OnFilesDropped({chooser.openPath});
    EXPECT_EQ(test::ReadFileBytes(PlanPath("161725")), test::ReadFileBytes(chooser.openPath));
    w.OnClearList();
    // With a plan in the folder there is nothing to offer.
    const int asked = prompt.texts.size();
    w.OnOpen();
    EXPECT_EQ(prompt.texts.size(), asked);
    ASSERT_GT(w.Ledger().LastRow(), 700);

    // A filled ledger refuses both the open command and a drop.
    w.OnOpen();
    EXPECT_EQ(prompt.texts.last(), "请保存现有数据并清空列表");
    prompt.texts.clear();
    w.OnFilesDropped({ExamplePlan()});
    EXPECT_EQ(prompt.texts.value(0), "请保存现有数据并清空列表");

    chooser.savePath = dir.filePath(QStringLiteral("out.csv"));
    w.OnExportData();
    EXPECT_EQ(chooser.proposed, "161725_2015-5-27_2018-8-29.csv");
    EXPECT_EQ(
        test::ReadFileBytes(chooser.savePath),
        test::ReadFileBytes(QStringLiteral(TOVIRA_TEST_DATA "/golden/161725-fact.theory.csv")));

    Find<QRadioButton>("factButton")->click();
    EXPECT_TRUE(Find<QRadioButton>("factButton")->isChecked());
    chooser.savePath = dir.filePath(QStringLiteral("fact.csv"));
    w.OnExportData();
    EXPECT_EQ(test::ReadFileBytes(chooser.savePath),
              test::ReadFileBytes(QStringLiteral(TOVIRA_TEST_DATA "/golden/161725-fact.fact.csv")));
}

TEST_F(MainWindowTest, DeleteClearAndPresets) {
    MainWindow& w = Window();
    ClearBox();
    Type(QStringLiteral("006675"));
    View()->SelectRow(3);
    w.OnDeleteThisLine();
    EXPECT_EQ(w.Ledger().LastRow(), 239);
    EXPECT_EQ(w.Ledger().Cell(3, Column::ID), "4");
    w.OnClearList();
    EXPECT_EQ(w.Ledger().LastRow(), 0);

    Action("presetBrave")->trigger();
    EXPECT_EQ(Panel()->Box(Field::StartBuyPct)->text(), "-0.30");
    EXPECT_TRUE(Panel()->SwitchBox(Switch::BuyFirst)->isChecked());
}

TEST_F(MainWindowTest, CtrlDeleteForgetsTheShownCode) {
    MainWindow& w = Window();
    ClearBox();
    Type(QStringLiteral("000011"));
    ClearBox();
    Type(QStringLiteral("006675"));
    ASSERT_EQ(CodeBox()->count(), 2);

    // A history that cannot be rewritten stays whole: it is never removed
    // before the new list is in place.
    const QString historyPath = dir.filePath(QStringLiteral("History.ini"));
    const QByteArray before = test::ReadFileBytes(historyPath);
    ASSERT_TRUE(before.contains("006675"));
    const FileSystemCalls calls = FileSystem();
    FileSystem().rename = [](const char*, const char*) {
        errno = EIO;
        return -1;
    };
    QTest::keyClick(CodeBox()->lineEdit(), Qt::Key_Delete, Qt::ControlModifier);
    FileSystem() = calls;
    EXPECT_EQ(test::ReadFileBytes(historyPath), before);

    Type(QStringLiteral("006675"));
    ASSERT_EQ(CodeBox()->count(), 2);
    QTest::keyClick(CodeBox()->lineEdit(), Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(CodeBox()->currentText(), "");
    EXPECT_EQ(CodeBox()->count(), 1);
    EXPECT_EQ(w.Ledger().LastRow(), 0);
    IniDocument history;
    ASSERT_TRUE(history.Load(dir.filePath(QStringLiteral("History.ini"))));
    EXPECT_EQ(history.Value(QStringLiteral("查询历史"), QStringLiteral("FundCode1")), "000011");
    EXPECT_EQ(history.Value(QStringLiteral("查询历史"), QStringLiteral("FundCode2")), "");
}

TEST_F(MainWindowTest, ThePanelSlidesShutAndOpen) {
    MainWindow& w = Window();
    w.show();
    const int lvLeft = View()->x();
    QTimer* timer = Find<QTimer>("panelSlideTimer");
    emit Panel()->ToggleClicked();
    ASSERT_TRUE(timer->isActive());
    int ticks = 0;
    QObject::connect(timer, &QTimer::timeout, timer, [&ticks] { ++ticks; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !timer->isActive(); }, 5000));
    EXPECT_EQ(ticks, 19);
    EXPECT_EQ(Panel()->Toggle()->text(), "  》");
    EXPECT_EQ(View()->x(), TwipsToPixels(300));
    EXPECT_EQ(Panel()->x(), TwipsToPixels(-2280));
    emit Panel()->ToggleClicked();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !timer->isActive(); }, 5000));
    EXPECT_EQ(Panel()->Toggle()->text(), " 《");
    EXPECT_EQ(View()->x(), lvLeft);
}

TEST_F(MainWindowTest, ResizeRulesAndACancelledModeSwitch) {
    MainWindow& w = Window();
    w.show();
    // Outer width 2760 twips or less with the panel open: the ledger keeps 10935.
    w.resize(TwipsToPixels(2000), w.height());
    EXPECT_EQ(View()->width(), TwipsToPixels(10935));
    w.resize(TwipsToPixels(13455), TwipsToPixels(9255));
    EXPECT_NEAR(View()->width(), TwipsToPixels(13455 + 240 - 2760), 2);

    ClearBox();
    Type(QStringLiteral("006675"));
    w.Ledger().SetCell(1, Column::DividendAction, QStringLiteral("备注"));
    prompt.replies = {PromptAnswer::Cancel};
    Find<QRadioButton>("factButton")->click();
    EXPECT_TRUE(Find<QRadioButton>("theoryButton")->isChecked());
    EXPECT_EQ(w.Ledger().Cell(1, Column::DividendAction), "备注");
}

TEST_F(MainWindowTest, ALongLedgerRecalculatesAndRepaintsQuickly) {
    IniDocument doc;
    doc.SetValue(QStringLiteral("设置"), QStringLiteral("基金代码"), QStringLiteral("210009"));
    doc.SetValue(QStringLiteral("特殊数据"), QStringLiteral("行数"), QStringLiteral("32767"));
    for (int i = 1; i <= 32767; ++i) {
        const QString section = QStringLiteral("第%1行").arg(i);
        doc.SetValue(section, QStringLiteral("Date"), QStringLiteral("2000/1/%1").arg(1 + i % 28));
        doc.SetValue(section, QStringLiteral("NetValue"),
                     QString::number(1.0 + 0.2 * std::sin(i * 0.05), 'f', 4));
    }
    ASSERT_TRUE(doc.Save(PlanPath("210009")));
    MainWindow& w = Window();
    w.show();
    ASSERT_EQ(w.Ledger().LastRow(), 32767);
    QElapsedTimer timer;
    timer.start();
    w.Settings().SetText(Field::TotalCapital, QStringLiteral("80000"));
    w.OnRefresh();
    View()->viewport()->repaint();
    QCoreApplication::processEvents();
    RecordProperty("refresh_and_repaint_ms", static_cast<int>(timer.elapsed()));
    EXPECT_LT(timer.elapsed(), 1000);
}

TEST_F(MainWindowTest, EveryPresetFromTheMenu) {
    Window();
    const struct {
        const char* action;
        const char* startBuy;
        const char* multiple;
        bool buyFirst;
        bool redeem;
    } presets[] = {{"presetBrave", "-0.30", "1.3", true, false},
                   {"presetSteady", "-0.50", "1.2", true, true},
                   {"presetCareful", "-1.00", "1.1", false, true},
                   {"presetDefault", "-0.50", "1.2", false, false}};
    for (const auto& p : presets) {
        Action(p.action)->trigger();
        EXPECT_EQ(Panel()->Box(Field::StartBuyPct)->text(), p.startBuy) << p.action;
        EXPECT_EQ(Panel()->Box(Field::Multiple)->text(), p.multiple) << p.action;
        EXPECT_EQ(Panel()->SwitchBox(Switch::BuyFirst)->isChecked(), p.buyFirst) << p.action;
        EXPECT_EQ(View()->isColumnHidden(Index(Column::RedeemShares)), !p.redeem) << p.action;
    }
    EXPECT_EQ(Panel()->Box(Field::MinRedeemShares)->text(), "50");  // Default sets 50
}

// Alt and a letter reach every menu and every item in it, the ledger's menu
// included: no item without its letter, no letter twice in one menu.
TEST_F(MainWindowTest, EveryMenuItemHasItsOwnMnemonic) {
    MainWindow& w = Window();
    QList<QMenu*> menus{View()->ContextMenu()};
    QSet<QKeySequence> titles;
    for (QAction* title : w.menuBar()->actions()) {
        const QKeySequence key = QKeySequence::mnemonic(title->text());
        EXPECT_FALSE(key.isEmpty()) << title->text().toStdString();
        EXPECT_FALSE(titles.contains(key)) << title->text().toStdString();
        titles.insert(key);
        if (title->menu()) menus << title->menu();
    }
    ASSERT_EQ(menus.size(), 5);
    for (QMenu* menu : menus) {
        QSet<QKeySequence> keys;
        for (QAction* item : menu->actions()) {
            if (item->isSeparator()) continue;
            const std::string caption = item->text().toStdString();
            const QKeySequence key = QKeySequence::mnemonic(item->text());
            EXPECT_FALSE(key.isEmpty()) << caption;
            EXPECT_FALSE(keys.contains(key)) << caption << " in " << menu->title().toStdString();
            keys.insert(key);
        }
    }
    EXPECT_EQ(Action("backtestReport")->text(), "回测报告(&R)");
    EXPECT_EQ(Action("presetDefault")->text(), "默认值(参考)(&D)");
}

TEST_F(MainWindowTest, SaveAndOpenRoundTripAndTheAnswerNo) {
    MainWindow& w = Window();
    ClearBox();
    Type(QStringLiteral("006675"));
    w.Ledger().SetCell(2, Column::DividendAction, QStringLiteral("手工备注"));
    ASSERT_TRUE(w.OnSave());
    EXPECT_EQ(prompt.texts.last(), "保存成功！");
    w.OnClearList();
    chooser.openPath = PlanPath("006675");
    w.OnOpen();
    ASSERT_EQ(w.Ledger().LastRow(), 240);
    EXPECT_EQ(w.Ledger().Cell(2, Column::DividendAction), "手工备注");

    // No: the edit is dropped and the ledger follows the new code.
    w.Ledger().SetCell(2, Column::DividendAction, QStringLiteral("不要了"));
    prompt.replies = {PromptAnswer::No};
    QTest::keyClick(CodeBox()->lineEdit(), Qt::Key_Backspace);
    Type(QStringLiteral("9"));
    EXPECT_EQ(prompt.texts.last(), "是否保存数据？");
    EXPECT_EQ(w.Ledger().LastRow(), 0);
    IniDocument plan;
    ASSERT_TRUE(plan.Load(PlanPath("006675")));
    EXPECT_EQ(plan.Value(QStringLiteral("第2行"), QStringLiteral("RedConversion")), "手工备注");
}

TEST_F(MainWindowTest, TheChartTakesTheLedgersPlace) {
    MainWindow& w = Window();
    w.show();
    ClearBox();
    Type(QStringLiteral("006675"));
    Find<QCheckBox>("chartBox")->click();
    EXPECT_TRUE(View()->isHidden());
    EXPECT_TRUE(Find<LineChart>("lineChart")->isVisible());
    EXPECT_TRUE(Find<LineChart>("lineChart")->IsDrawn());
    EXPECT_EQ(Find<LineChart>("lineChart")->Layout().rows, 240);
    Find<QCheckBox>("chartBox")->click();
    EXPECT_FALSE(View()->isHidden());
    EXPECT_FALSE(Find<LineChart>("lineChart")->IsDrawn());
}

// Saving on every path keeps exactly what the user saw and typed.
class PlanSafetyTest : public MainWindowTest {
  protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        QFile::remove(PlanPath("006675"));
        ASSERT_TRUE(QFile::copy(QStringLiteral(TOVIRA_TEST_DATA "/golden/006675-fact.ini"),
                                PlanPath("006675")));
        QFile::setPermissions(PlanPath("006675"), QFile::ReadOwner | QFile::WriteOwner);
        ClearBox();
        Type(QStringLiteral("006675"));
        ASSERT_EQ(Window().Ledger().LastRow(), 240);
    }
    QString Stored(int row, const char* key) {
        IniDocument plan;
        EXPECT_TRUE(plan.Load(PlanPath("006675")));
        return plan.Value(QStringLiteral("第%1行").arg(row), QString::fromUtf8(key));
    }
    QString Setting(const char* key) {
        IniDocument plan;
        EXPECT_TRUE(plan.Load(PlanPath("006675")));
        return plan.Value(QStringLiteral("设置"), QString::fromUtf8(key));
    }
    QString Mark() { return Find<QLabel>("unsavedMark")->text(); }
    QModelIndex Cell(int row, Column c) { return Window().Ledger().index(row - 1, Index(c)); }
};

TEST_F(PlanSafetyTest, AModeSwitchAnsweredYesSavesWhatWasShownInItsMode) {
    MainWindow& w = Window();
    Find<QRadioButton>("factButton")->click();  // nothing changed: no question
    ASSERT_TRUE(prompt.texts.isEmpty());
    ASSERT_EQ(w.Ledger().Cell(1, Column::PurchaseAmount), "1000");

    // A typed amount, then back to theory: Yes stores the amount.
    w.Ledger().SetCell(2, Column::PurchaseAmount, QStringLiteral("777"));
    prompt.replies = {PromptAnswer::Yes};
    Find<QRadioButton>("theoryButton")->click();
    EXPECT_EQ(prompt.texts.last(), "保存成功！");
    EXPECT_EQ(Stored(2, "PurchaseAmount"), "777");
    Find<QRadioButton>("factButton")->click();
    EXPECT_EQ(w.Ledger().Cell(2, Column::PurchaseAmount), "777");

    // A change in theory, then fact: the theory figures are no typed amounts.
    Find<QRadioButton>("theoryButton")->click();
    w.Ledger().SetCell(3, Column::DividendAction, QStringLiteral("备注"));
    prompt.replies = {PromptAnswer::Yes};
    Find<QRadioButton>("factButton")->click();
    EXPECT_EQ(Stored(1, "PurchaseAmount"), "1000");
    EXPECT_EQ(Stored(2, "PurchaseAmount"), "777");
    EXPECT_EQ(Stored(3, "RedConversion"), "备注");
    EXPECT_EQ(w.Ledger().Cell(1, Column::PurchaseAmount), "1000");

    // Clicking the selected mode is no switch; a cancelled switch keeps the
    // mode and its figures.
    w.Ledger().SetCell(4, Column::PurchaseAmount, QStringLiteral("55"));
    const int asked = prompt.texts.size();
    Find<QRadioButton>("factButton")->click();
    EXPECT_EQ(prompt.texts.size(), asked);
    prompt.replies = {PromptAnswer::Cancel};
    Find<QRadioButton>("theoryButton")->click();
    EXPECT_TRUE(Find<QRadioButton>("factButton")->isChecked());
    EXPECT_EQ(w.CurrentMode(), Mode::Fact);
    EXPECT_EQ(w.Ledger().Cell(4, Column::PurchaseAmount), "55");
    ASSERT_TRUE(w.OnSave());
    EXPECT_EQ(Stored(4, "PurchaseAmount"), "55");
}

TEST_F(PlanSafetyTest, AnOpenCellEditIsKeptByCommandsAndByClosing) {
    MainWindow& w = Window();
    w.show();
    CellEditor* editor = View()->Editor();
    ASSERT_TRUE(editor->Open(Cell(2, Column::NetValue)));
    editor->Line()->setText(QStringLiteral("1.4444"));
    Action("savePlan")->trigger();
    EXPECT_FALSE(editor->Editing());
    EXPECT_EQ(Stored(2, "NetValue"), "1.4444");

    // Tab keeps the text and edits the next cell; F2 edits the current one.
    ASSERT_TRUE(editor->Open(Cell(2, Column::NetValue)));
    QTest::keyClicks(editor->Line(), QStringLiteral("1.5"));
    QTest::keyClick(editor->Line(), Qt::Key_Tab);
    EXPECT_EQ(w.Ledger().Cell(2, Column::NetValue), "1.5");
    EXPECT_TRUE(editor->Editing());
    EXPECT_GT(editor->EditedColumn(), Index(Column::NetValue));
    QTest::keyClick(editor->Line(), Qt::Key_Escape);
    View()->setCurrentIndex(Cell(5, Column::Date));
    QTest::keyClick(View(), Qt::Key_F2);
    ASSERT_TRUE(editor->Editing());
    EXPECT_EQ(editor->EditedRow(), 5);

    // Pasted line breaks never reach the cell (nor the plan file).
    editor->Line()->setText(QStringLiteral("开放申购\r\n[第3行]\r\nNetValue=99.9999"));
    QTest::keyClick(editor->Line(), Qt::Key_Return);
    EXPECT_EQ(w.Ledger().Cell(5, Column::Date), "开放申购[第3行]NetValue=99.9999");

    // Closing with an edit open: Yes saves the typed text.
    ASSERT_TRUE(editor->Open(Cell(3, Column::NetValue)));
    editor->Line()->setText(QStringLiteral("1.2345"));
    prompt.replies = {PromptAnswer::Yes};
    EXPECT_TRUE(w.close());
    EXPECT_EQ(Stored(3, "NetValue"), "1.2345");
    EXPECT_EQ(Stored(4, "NetValue"), w.Ledger().Cell(4, Column::NetValue));
}

TEST_F(PlanSafetyTest, TheKeyboardOpensTheLedgersMenu) {
    MainWindow& w = Window();
    w.show();
    View()->setCurrentIndex(Cell(7, Column::NetValue));
    for (auto [key, mods] :
         {std::pair{Qt::Key_Menu, Qt::NoModifier}, std::pair{Qt::Key_F10, Qt::ShiftModifier}}) {
        QTest::keyClick(View(), key, mods);
        EXPECT_TRUE(View()->ContextMenu()->isVisible());
        EXPECT_EQ(View()->SelectedRow(), 7);
        View()->ContextMenu()->close();
    }
}

TEST_F(PlanSafetyTest, ParameterAndSwitchEditsAreUnsavedWork) {
    Window();
    EXPECT_EQ(Mark(), "");
    QLineEdit* capital = Panel()->Box(Field::TotalCapital);
    capital->selectAll();
    QTest::keyClicks(capital, QStringLiteral("80000"));
    Panel()->SwitchBox(Switch::ReinvestDividends)->click();  // 红利再投 off
    EXPECT_EQ(Mark(), "未保存的修改");

    prompt.replies = {PromptAnswer::Yes};
    Find<QRadioButton>("factButton")->click();
    EXPECT_EQ(prompt.texts.value(0), "是否保存数据？");
    EXPECT_EQ(Setting("资金总量"), "80000");
    EXPECT_EQ(Setting("RedRecycle"), "0");
    EXPECT_EQ(Mark(), "");

    // A preset from the menu counts too; No drops it with the fund change.
    Action("presetBrave")->trigger();
    EXPECT_EQ(Mark(), "未保存的修改");
    prompt.texts.clear();
    prompt.replies = {PromptAnswer::No};
    QTest::keyClick(CodeBox()->lineEdit(), Qt::Key_Backspace);
    Type(QStringLiteral("9"));
    EXPECT_EQ(prompt.texts.value(0), "是否保存数据？");
    EXPECT_EQ(Setting("起投涨幅"), "-0.50");
}

TEST_F(PlanSafetyTest, OnlyARealPickFromTheCodeListCountsAsAPick) {
    MainWindow& w = Window();
    ClearBox();
    Type(QStringLiteral("000011"));
    ClearBox();
    Type(QStringLiteral("006675"));
    ASSERT_EQ(CodeBox()->itemText(1), "000011");
    Find<QLabel>("estimateValueLabel")->setText(QStringLiteral("1.2345"));
    w.Ledger().SetCell(1, Column::DividendAction, QStringLiteral("改动"));

    // The focus leaving a box whose text matches an entry: Qt announces it
    // as activated; nothing happens.
    emit CodeBox()->activated(0);
    EXPECT_TRUE(prompt.texts.isEmpty());
    EXPECT_EQ(Find<QLabel>("estimateValueLabel")->text(), "1.2345");
    EXPECT_EQ(w.Ledger().Cell(1, Column::DividendAction), "改动");

    // The arrow key is a pick: asked, then the other fund.
    {
        const QSignalBlocker quiet(CodeBox());
        CodeBox()->setCurrentIndex(0);
    }
    prompt.replies = {PromptAnswer::No};
    QTest::keyClick(CodeBox(), Qt::Key_Down);
    EXPECT_EQ(prompt.texts.value(0), "是否保存数据？");
    EXPECT_EQ(CodeBox()->currentText(), "000011");
    EXPECT_EQ(Find<QLabel>("estimateValueLabel")->text(), "");
}
