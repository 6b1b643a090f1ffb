#include "gui/shell/main_window.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QElapsedTimer>
#include <cmath>
#include <gtest/gtest.h>

#include "gui/layout/twips.h"
#include "gui/ledger/cell_editor.h"
#include "gui/ledger/ledger_view.h"
#include "gui/ledger/side_panel.h"
#include "gui/charts/line_chart.h"
#include "core/common/version.h"
#include "core/storage/ini_document.h"
#include "support/test_support.h"

using namespace tovira;

namespace {

class FakeChooser : public FileChooser {
public:
    QString openPath;
    QString savePath;
    QString proposed;
    QString OpenPlan(QWidget*) override { return openPath; }
    QString SaveCsv(QWidget*, const QString& name) override {
        proposed = name;
        return savePath;
    }
};

QString ExamplePlan() { return QStringLiteral(TOVIRA_TEST_DATA "/../../examples/006675.ini"); }

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QDir().mkpath(dir.filePath(QStringLiteral("我的基金")));
        ASSERT_TRUE(QFile::copy(ExamplePlan(), PlanPath("006675")));
    }
    QString PlanPath(const char* code) const {
        return dir.filePath(QStringLiteral("我的基金/%1.ini").arg(QLatin1String(code)));
    }
    MainWindow& Window() {
        if (!window) window = std::make_unique<MainWindow>(dir.path(), &prompt, &chooser);
        return *window;
    }
    // Types into the fund code box as the user would.
    void Type(const QString& text) { QTest::keyClicks(Window().FundCodeBox()->lineEdit(), text); }
    void ClearBox() {
        QLineEdit* line = Window().FundCodeBox()->lineEdit();
        while (!line->text().isEmpty()) QTest::keyClick(line, Qt::Key_Backspace);
    }

    QTemporaryDir dir;
    test::RecordingPrompt prompt;
    FakeChooser chooser;
    std::unique_ptr<MainWindow> window;
};

}  // namespace

TEST_F(MainWindowTest, StartsWithTheDefaultCodeAnEmptyLedgerAndTheHistory) {
    IniDocument history;
    history.SetValue(QStringLiteral("查询历史"), QStringLiteral("FundCode1"), QStringLiteral("006675"));
    history.SetValue(QStringLiteral("查询历史"), QStringLiteral("FundCode2"), QStringLiteral("000011"));
    history.SetValue(QStringLiteral("查询历史"), QStringLiteral("FundCode4"), QStringLiteral("161725"));
    ASSERT_TRUE(history.Save(dir.filePath(QStringLiteral("History.ini"))));

    MainWindow& w = Window();
    EXPECT_EQ(w.windowTitle(), "Zororad" TOVIRA_VERSION " - 210009 ");
    EXPECT_EQ(w.FundCodeBox()->currentText(), "210009");
    ASSERT_EQ(w.FundCodeBox()->count(), 2);
    EXPECT_EQ(w.FundCodeBox()->itemText(1), "000011");
    EXPECT_EQ(w.Ledger().RowCount(), 0);
    EXPECT_EQ(w.Ledger().columnCount(), 18);
    EXPECT_TRUE(w.View()->isColumnHidden(Index(Column::RedeemShares)));
    EXPECT_TRUE(w.TheoryButton()->isChecked());
    EXPECT_TRUE(prompt.texts.isEmpty());
}

TEST_F(MainWindowTest, TypingACodeOpensItsPlanAndRecordsTheHistory) {
    IniDocument names;
    names.SetValue(QStringLiteral("基金代码"), QStringLiteral("006675"), QStringLiteral("宝盈品牌消费股票A"));
    ASSERT_TRUE(names.Save(dir.filePath(QStringLiteral("FundCode.ini"))));
    MainWindow& w = Window();
    ClearBox();
    Type(QStringLiteral("00667"));
    EXPECT_EQ(w.Ledger().RowCount(), 0);
    Type(QStringLiteral("5"));
    EXPECT_EQ(w.windowTitle(), "Zororad" TOVIRA_VERSION " - 006675 宝盈品牌消费股票A");
    EXPECT_EQ(w.Ledger().RowCount(), 240);
    EXPECT_TRUE(w.Settings().Checked(Switch::Redeem));
    EXPECT_FALSE(w.View()->isColumnHidden(Index(Column::RedeemShares)));
    EXPECT_EQ(w.FundCodeBox()->itemText(0), "006675");
    EXPECT_EQ(w.FundCodeBox()->currentText(), "006675");
    IniDocument history;
    ASSERT_TRUE(history.Load(dir.filePath(QStringLiteral("History.ini"))));
    EXPECT_EQ(history.Value(QStringLiteral("查询历史"), QStringLiteral("FundCode1")), "006675");
    EXPECT_TRUE(prompt.texts.isEmpty());  // nothing was unsaved
}

TEST_F(MainWindowTest, UnsavedInputIsNotLostWhenTheCodeChanges) {
    MainWindow& w = Window();
    ClearBox();
    Type(QStringLiteral("006675"));
    ASSERT_EQ(w.Ledger().RowCount(), 240);
    w.Ledger().SetCell(3, Column::NetValue, QStringLiteral("1.3000"));

    // Cancel: the box and the ledger stay as they were.
    prompt.replies = {PromptAnswer::Cancel};
    QTest::keyClick(w.FundCodeBox()->lineEdit(), Qt::Key_Backspace);
    EXPECT_EQ(prompt.texts.value(0), "是否保存数据？");
    EXPECT_EQ(prompt.captions.value(0), "提示");
    EXPECT_EQ(w.FundCodeBox()->currentText(), "006675");
    EXPECT_EQ(w.Ledger().Cell(3, Column::NetValue), "1.3000");

    // Yes: saved to the plan of the fund the rows belong to, then cleared.
    prompt.replies = {PromptAnswer::Yes};
    QTest::keyClick(w.FundCodeBox()->lineEdit(), Qt::Key_Backspace);
    EXPECT_EQ(w.Ledger().RowCount(), 0);
    EXPECT_TRUE(prompt.texts.contains(QStringLiteral("保存成功！")));
    IniDocument plan;
    ASSERT_TRUE(plan.Load(PlanPath("006675")));
    EXPECT_EQ(plan.Value(QStringLiteral("第3行"), QStringLiteral("NetValue")), "1.3000");
    EXPECT_FALSE(QFile::exists(PlanPath("00667")));
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
    w.FundCodeBox()->lineEdit()->setText(QStringLiteral("abc"));
    prompt.replies = {PromptAnswer::Yes};
    EXPECT_FALSE(w.close());
    EXPECT_EQ(prompt.texts.last(), "基金代码有误，请更正！");
    EXPECT_TRUE(w.isVisible());
}

TEST_F(MainWindowTest, CommandsOnAnEmptyLedgerSayWhatIsMissing) {
    MainWindow& w = Window();
    w.onRefresh();
    EXPECT_EQ(prompt.texts.last(), "请导入净值！");
    w.onExportData();
    EXPECT_EQ(prompt.texts.last(), "数据不足！");
    w.onSave();
    EXPECT_EQ(prompt.texts.last(), "列表无数据，未保存！");
}

TEST_F(MainWindowTest, OpenDropExportAndModes) {
    MainWindow& w = Window();
    chooser.openPath = QStringLiteral(TOVIRA_TEST_DATA "/golden/161725-fact.ini");
    // A plan from elsewhere whose fund has no plan in the plan folder is
    // shown as it is, with the offer to keep a copy there.
    prompt.replies = {PromptAnswer::No};
    w.onOpen();
    EXPECT_EQ(prompt.texts.last(),
              "“我的基金”中没有基金161725的计划，是否将此计划复制到“我的基金”？");
    EXPECT_EQ(w.FundCodeBox()->currentText(), "161725");
    EXPECT_GT(w.Ledger().RowCount(), 700);
    EXPECT_FALSE(QFile::exists(PlanPath("161725")));
    w.onClearList();
    prompt.replies = {PromptAnswer::Yes};
    w.onFilesDropped({chooser.openPath});
    EXPECT_EQ(test::ReadFileBytes(PlanPath("161725")), test::ReadFileBytes(chooser.openPath));
    w.onClearList();
    // With a plan in the folder there is nothing to offer.
    const int asked = prompt.texts.size();
    w.onOpen();
    EXPECT_EQ(prompt.texts.size(), asked);
    ASSERT_GT(w.Ledger().RowCount(), 700);

    // A filled ledger refuses both the open command and a drop.
    w.onOpen();
    EXPECT_EQ(prompt.texts.last(), "请保存现有数据并清空列表");
    prompt.texts.clear();
    w.onFilesDropped({ExamplePlan()});
    EXPECT_EQ(prompt.texts.value(0), "请保存现有数据并清空列表");

    chooser.savePath = dir.filePath(QStringLiteral("out.csv"));
    w.onExportData();
    EXPECT_EQ(chooser.proposed, "161725_2015-5-27_2018-8-29.csv");
    EXPECT_EQ(test::ReadFileBytes(chooser.savePath),
              test::ReadFileBytes(QStringLiteral(TOVIRA_TEST_DATA "/golden/161725-fact.theory.csv")));

    w.FactButton()->click();
    EXPECT_TRUE(w.FactButton()->isChecked());
    chooser.savePath = dir.filePath(QStringLiteral("fact.csv"));
    w.onExportData();
    EXPECT_EQ(test::ReadFileBytes(chooser.savePath),
              test::ReadFileBytes(QStringLiteral(TOVIRA_TEST_DATA "/golden/161725-fact.fact.csv")));
}

TEST_F(MainWindowTest, DeleteClearAndPresets) {
    MainWindow& w = Window();
    ClearBox();
    Type(QStringLiteral("006675"));
    w.View()->SelectRow(3);
    w.onDeleteThisLine();
    EXPECT_EQ(w.Ledger().RowCount(), 239);
    EXPECT_EQ(w.Ledger().Cell(3, Column::ID), "4");
    w.onClearList();
    EXPECT_EQ(w.Ledger().RowCount(), 0);

    w.Action(QStringLiteral("Brave"))->trigger();
    EXPECT_EQ(w.Panel()->Box(Field::StartBuyPct)->text(), "-0.30");
    EXPECT_TRUE(w.Panel()->SwitchBox(Switch::PCFirst)->isChecked());
}

TEST_F(MainWindowTest, CtrlDeleteForgetsTheShownCode) {
    MainWindow& w = Window();
    ClearBox();
    Type(QStringLiteral("000011"));
    ClearBox();
    Type(QStringLiteral("006675"));
    ASSERT_EQ(w.FundCodeBox()->count(), 2);
    QTest::keyClick(w.FundCodeBox()->lineEdit(), Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(w.FundCodeBox()->currentText(), "");
    EXPECT_EQ(w.FundCodeBox()->count(), 1);
    EXPECT_EQ(w.Ledger().RowCount(), 0);
    IniDocument history;
    ASSERT_TRUE(history.Load(dir.filePath(QStringLiteral("History.ini"))));
    EXPECT_EQ(history.Value(QStringLiteral("查询历史"), QStringLiteral("FundCode1")), "000011");
    EXPECT_EQ(history.Value(QStringLiteral("查询历史"), QStringLiteral("FundCode2")), "");
}

TEST_F(MainWindowTest, ThePanelSlidesShutAndOpen) {
    MainWindow& w = Window();
    w.show();
    const int lvLeft = w.View()->x();
    QTimer* timer = w.SlideTimer();
    emit w.Panel()->ToggleClicked();
    ASSERT_TRUE(timer->isActive());
    int ticks = 0;
    while (timer->isActive() && ticks < 100) {
        w.SlideStep();
        ++ticks;
    }
    EXPECT_EQ(ticks, 19);
    EXPECT_EQ(w.Panel()->Toggle()->text(), "  》");
    EXPECT_EQ(w.View()->x(), TwipsToPixels(300));
    EXPECT_EQ(w.Panel()->x(), TwipsToPixels(-2280));
    emit w.Panel()->ToggleClicked();
    while (timer->isActive()) w.SlideStep();
    EXPECT_EQ(w.Panel()->Toggle()->text(), " 《");
    EXPECT_EQ(w.View()->x(), lvLeft);
}

TEST_F(MainWindowTest, ResizeRulesAndACancelledModeSwitch) {
    MainWindow& w = Window();
    w.show();
    // Outer width 2760 twips or less with the panel open: the ledger keeps 10935.
    w.resize(TwipsToPixels(2000), w.height());
    EXPECT_EQ(w.View()->width(), TwipsToPixels(10935));
    w.resize(TwipsToPixels(13455), TwipsToPixels(9255));
    EXPECT_NEAR(w.View()->width(), TwipsToPixels(13455 + 240 - 2760), 2);

    ClearBox();
    Type(QStringLiteral("006675"));
    w.Ledger().SetCell(1, Column::RedConversion, QStringLiteral("备注"));
    prompt.replies = {PromptAnswer::Cancel};
    w.FactButton()->click();
    EXPECT_TRUE(w.TheoryButton()->isChecked());
    EXPECT_EQ(w.Ledger().Cell(1, Column::RedConversion), "备注");
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
    ASSERT_EQ(w.Ledger().RowCount(), 32767);
    QElapsedTimer timer;
    timer.start();
    w.Settings().SetText(Field::TotalCapital, QStringLiteral("80000"));
    w.onRefresh();
    w.View()->viewport()->repaint();
    QCoreApplication::processEvents();
    RecordProperty("refresh_and_repaint_ms", static_cast<int>(timer.elapsed()));
    EXPECT_LT(timer.elapsed(), 1000);
}

TEST_F(MainWindowTest, EveryPresetFromTheMenu) {
    MainWindow& w = Window();
    const struct {
        const char* action;
        const char* startBuy;
        const char* multiple;
        bool pcFirst;
        bool redeem;
    } presets[] = {{"Brave", "-0.30", "1.3", true, false},
                   {"Steady", "-0.50", "1.2", true, true},
                   {"Careful", "-1.00", "1.1", false, true},
                   {"Default", "-0.50", "1.2", false, false}};
    for (const auto& p : presets) {
        w.Action(QString::fromLatin1(p.action))->trigger();
        EXPECT_EQ(w.Panel()->Box(Field::StartBuyPct)->text(), p.startBuy) << p.action;
        EXPECT_EQ(w.Panel()->Box(Field::Multiple)->text(), p.multiple) << p.action;
        EXPECT_EQ(w.Panel()->SwitchBox(Switch::PCFirst)->isChecked(), p.pcFirst) << p.action;
        EXPECT_EQ(w.View()->isColumnHidden(Index(Column::RedeemShares)), !p.redeem) << p.action;
    }
    EXPECT_EQ(w.Panel()->Box(Field::MinRedeemShares)->text(), "50");  // Default sets 50
}

TEST_F(MainWindowTest, SaveAndOpenRoundTripAndTheAnswerNo) {
    MainWindow& w = Window();
    ClearBox();
    Type(QStringLiteral("006675"));
    w.Ledger().SetCell(2, Column::RedConversion, QStringLiteral("手工备注"));
    ASSERT_TRUE(w.onSave());
    EXPECT_EQ(prompt.texts.last(), "保存成功！");
    w.onClearList();
    chooser.openPath = PlanPath("006675");
    w.onOpen();
    ASSERT_EQ(w.Ledger().RowCount(), 240);
    EXPECT_EQ(w.Ledger().Cell(2, Column::RedConversion), "手工备注");

    // No: the edit is dropped and the ledger follows the new code.
    w.Ledger().SetCell(2, Column::RedConversion, QStringLiteral("不要了"));
    prompt.replies = {PromptAnswer::No};
    QTest::keyClick(w.FundCodeBox()->lineEdit(), Qt::Key_Backspace);
    EXPECT_EQ(prompt.texts.last(), "是否保存数据？");
    EXPECT_EQ(w.Ledger().RowCount(), 0);
    IniDocument plan;
    ASSERT_TRUE(plan.Load(PlanPath("006675")));
    EXPECT_EQ(plan.Value(QStringLiteral("第2行"), QStringLiteral("RedConversion")), "手工备注");
}

TEST_F(MainWindowTest, TheChartTakesTheLedgersPlace) {
    MainWindow& w = Window();
    w.show();
    ClearBox();
    Type(QStringLiteral("006675"));
    w.DiagramSwitch()->click();
    EXPECT_TRUE(w.View()->isHidden());
    EXPECT_TRUE(w.Chart()->isVisible());
    EXPECT_TRUE(w.Chart()->IsDrawn());
    EXPECT_EQ(w.Chart()->Layout().rows, 240);
    w.DiagramSwitch()->click();
    EXPECT_FALSE(w.View()->isHidden());
    EXPECT_FALSE(w.Chart()->IsDrawn());
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
        ASSERT_EQ(Window().Ledger().RowCount(), 240);
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
    QString Mark() { return Window().findChild<QLabel*>(QStringLiteral("unsavedMark"))->text(); }
    QModelIndex Cell(int row, Column c) { return Window().Ledger().index(row - 1, Index(c)); }
};

TEST_F(PlanSafetyTest, AModeSwitchAnsweredYesSavesWhatWasShownInItsMode) {
    MainWindow& w = Window();
    w.FactButton()->click();  // nothing changed: no question
    ASSERT_TRUE(prompt.texts.isEmpty());
    ASSERT_EQ(w.Ledger().Cell(1, Column::PurchaseAmount), "1000");

    // A typed amount, then back to theory: Yes stores the amount.
    w.Ledger().SetCell(2, Column::PurchaseAmount, QStringLiteral("777"));
    prompt.replies = {PromptAnswer::Yes};
    w.TheoryButton()->click();
    EXPECT_EQ(prompt.texts.last(), "保存成功！");
    EXPECT_EQ(Stored(2, "PurchaseAmount"), "777");
    w.FactButton()->click();
    EXPECT_EQ(w.Ledger().Cell(2, Column::PurchaseAmount), "777");

    // A change in theory, then fact: the theory figures are no typed amounts.
    w.TheoryButton()->click();
    w.Ledger().SetCell(3, Column::RedConversion, QStringLiteral("备注"));
    prompt.replies = {PromptAnswer::Yes};
    w.FactButton()->click();
    EXPECT_EQ(Stored(1, "PurchaseAmount"), "1000");
    EXPECT_EQ(Stored(2, "PurchaseAmount"), "777");
    EXPECT_EQ(Stored(3, "RedConversion"), "备注");
    EXPECT_EQ(w.Ledger().Cell(1, Column::PurchaseAmount), "1000");

    // Clicking the selected mode is no switch; a cancelled switch keeps the
    // mode and its figures.
    w.Ledger().SetCell(4, Column::PurchaseAmount, QStringLiteral("55"));
    const int asked = prompt.texts.size();
    w.FactButton()->click();
    EXPECT_EQ(prompt.texts.size(), asked);
    prompt.replies = {PromptAnswer::Cancel};
    w.TheoryButton()->click();
    EXPECT_TRUE(w.FactButton()->isChecked());
    EXPECT_EQ(w.CurrentMode(), Mode::Fact);
    EXPECT_EQ(w.Ledger().Cell(4, Column::PurchaseAmount), "55");
    ASSERT_TRUE(w.onSave());
    EXPECT_EQ(Stored(4, "PurchaseAmount"), "55");
}

TEST_F(PlanSafetyTest, AnOpenCellEditIsKeptByCommandsAndByClosing) {
    MainWindow& w = Window();
    w.show();
    CellEditor* editor = w.View()->Editor();
    ASSERT_TRUE(editor->Open(Cell(2, Column::NetValue)));
    editor->Line()->setText(QStringLiteral("1.4444"));
    w.Action(QStringLiteral("Save"))->trigger();
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
    w.View()->setCurrentIndex(Cell(5, Column::Date));
    QTest::keyClick(w.View(), Qt::Key_F2);
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
    w.View()->setCurrentIndex(Cell(7, Column::NetValue));
    for (auto [key, mods] : {std::pair{Qt::Key_Menu, Qt::NoModifier},
                             std::pair{Qt::Key_F10, Qt::ShiftModifier}}) {
        QTest::keyClick(w.View(), key, mods);
        EXPECT_TRUE(w.View()->ContextMenu()->isVisible());
        EXPECT_EQ(w.View()->SelectedRow(), 7);
        w.View()->ContextMenu()->close();
    }
}

TEST_F(PlanSafetyTest, ParameterAndSwitchEditsAreUnsavedWork) {
    MainWindow& w = Window();
    EXPECT_EQ(Mark(), "");
    QLineEdit* capital = w.Panel()->Box(Field::TotalCapital);
    capital->selectAll();
    QTest::keyClicks(capital, QStringLiteral("80000"));
    w.Panel()->SwitchBox(Switch::RedRecycle)->click();  // 红利再投 off
    EXPECT_EQ(Mark(), "未保存的修改");

    prompt.replies = {PromptAnswer::Yes};
    w.FactButton()->click();
    EXPECT_EQ(prompt.texts.value(0), "是否保存数据？");
    EXPECT_EQ(Setting("资金总量"), "80000");
    EXPECT_EQ(Setting("RedRecycle"), "0");
    EXPECT_EQ(Mark(), "");

    // A preset from the menu counts too; No drops it with the fund change.
    w.Action(QStringLiteral("Brave"))->trigger();
    EXPECT_EQ(Mark(), "未保存的修改");
    prompt.texts.clear();
    prompt.replies = {PromptAnswer::No};
    QTest::keyClick(w.FundCodeBox()->lineEdit(), Qt::Key_Backspace);
    EXPECT_EQ(prompt.texts.value(0), "是否保存数据？");
    EXPECT_EQ(Setting("起投涨幅"), "-0.50");
}

TEST_F(PlanSafetyTest, OnlyARealPickFromTheCodeListCountsAsAPick) {
    MainWindow& w = Window();
    ClearBox();
    Type(QStringLiteral("000011"));
    ClearBox();
    Type(QStringLiteral("006675"));
    ASSERT_EQ(w.FundCodeBox()->itemText(1), "000011");
    w.EstimateValueLabel()->setText(QStringLiteral("1.2345"));
    w.Ledger().SetCell(1, Column::RedConversion, QStringLiteral("改动"));

    // The focus leaving a box whose text matches an entry: Qt announces it
    // as activated; nothing happens.
    emit w.FundCodeBox()->activated(0);
    EXPECT_TRUE(prompt.texts.isEmpty());
    EXPECT_EQ(w.EstimateValueLabel()->text(), "1.2345");
    EXPECT_EQ(w.Ledger().Cell(1, Column::RedConversion), "改动");

    // The arrow key is a pick: asked, then the other fund.
    {
        const QSignalBlocker quiet(w.FundCodeBox());
        w.FundCodeBox()->setCurrentIndex(0);
    }
    prompt.replies = {PromptAnswer::No};
    QTest::keyClick(w.FundCodeBox(), Qt::Key_Down);
    EXPECT_EQ(prompt.texts.value(0), "是否保存数据？");
    EXPECT_EQ(w.FundCodeBox()->currentText(), "000011");
    EXPECT_EQ(w.EstimateValueLabel()->text(), "");
}
