#include "app/main_window.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QElapsedTimer>
#include <cmath>
#include <gtest/gtest.h>

#include "app/twips.h"
#include "ledger/ledger_view.h"
#include "ledger/side_panel.h"
#include "tools/line_chart.h"
#include "storage/ini_document.h"
#include "test_support.h"

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
    EXPECT_EQ(w.windowTitle(), "Zororad1.7.3 - 210009 ");
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
    EXPECT_EQ(w.windowTitle(), "Zororad1.7.3 - 006675 宝盈品牌消费股票A");
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
    // A plan naming another fund switches to that fund's plan in the plan
    // folder; without one there the ledger ends empty.
    w.onOpen();
    EXPECT_EQ(w.FundCodeBox()->currentText(), "161725");
    EXPECT_EQ(w.Ledger().RowCount(), 0);
    QFile::copy(chooser.openPath, PlanPath("161725"));
    w.onOpen();
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
