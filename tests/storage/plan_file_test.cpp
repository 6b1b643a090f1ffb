#include "storage/plan_file.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "storage/ini_document.h"
#include "test_support.h"

using namespace tovira;
using test::AddDays;

namespace {

class PlanFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        settings.onSwitchChanged = [this](Switch s, bool on) {
            if (s == Switch::Redeem) ApplyRedeemColumns(ledger, on);
        };
    }

    SaveResult Save(const QString& code, Mode mode = Mode::Theory) {
        return SavePlanFile(ledger, settings, mode, dir.path(), code, currentPath, prompt);
    }
    OpenResult Open(const QString& path, Mode mode = Mode::Theory) {
        OpenPlanOptions options;
        options.mode = mode;
        options.setFundCode = [this](const QString& code) { storedCode = code; };
        return OpenPlanFile(path, ledger, settings, prompt, options);
    }
    QString WriteFile(const char* name, const QString& text) {
        const QString path = dir.filePath(QString::fromUtf8(name));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(*EncodeGbk(text));
        return path;
    }

    QTemporaryDir dir;
    LedgerModel ledger;
    PlanSettings settings;
    test::RecordingPrompt prompt;
    QString currentPath;
    QString storedCode;
};

}  // namespace

TEST_F(PlanFileTest, SaveWritesSectionsInOrderAsGbkWithCrLf) {
    AddDays(ledger, {{"1.0000", "暂停申购"}, {"1.0100"}});
    ledger.SetCell(1, Column::Increase, QStringLiteral("0.37"));
    settings.SetChecked(Switch::PCFirst, true);
    ASSERT_EQ(Save(QStringLiteral("000001")), SaveResult::Saved);
    EXPECT_EQ(prompt.texts, QStringList{QStringLiteral("保存成功！")});
    EXPECT_EQ(prompt.captions.value(0), "Tovira");
    const QString path = dir.filePath(QStringLiteral("我的基金/000001.ini"));
    EXPECT_EQ(currentPath, path);

    const QByteArray bytes = test::ReadFileBytes(path);
    const QString text = DecodeGbk(bytes);
    EXPECT_TRUE(bytes.startsWith(
        *EncodeGbk(QStringLiteral("[设置]\r\nSPRemind=0\r\nRedRecycle=0\r\nPCFirst=1\r\n"))));
    EXPECT_FALSE(bytes.contains("\n\n"));
    const qsizetype settingsAt = text.indexOf(QStringLiteral("[设置]"));
    const qsizetype specialAt =
        text.indexOf(QStringLiteral("[特殊数据]\r\n行数=2\r\nIncrease=0.37\r\n"));
    const qsizetype row1At =
        text.indexOf(QStringLiteral("[第1行]\r\nDate=2020/1/1\r\nNetValue=1.0000\r\n"
                                    "PurchaseEnabled=暂停申购\r\nRedeemEnabled=\r\n"
                                    "RedConversion=\r\n"));
    const qsizetype row2At = text.indexOf(QStringLiteral("[第2行]"));
    EXPECT_EQ(settingsAt, 0);
    EXPECT_LT(settingsAt, specialAt);
    EXPECT_LT(specialAt, row1At);
    EXPECT_LT(row1At, row2At);
    EXPECT_TRUE(
        text.contains(QStringLiteral("BrokenSP=0\r\n基金代码=000001\r\n申购费率=0.15\r\n")));
    EXPECT_TRUE(text.contains(
        QStringLiteral("破位幅度=1\r\n起投涨幅=-0.50\r\n风控仓位=40\r\n倍数=1.2\r\n加倍=0.1\r\n")));
    EXPECT_FALSE(text.contains(QStringLiteral("PurchaseAmount")));
}

TEST_F(PlanFileTest, RoundTripKeepsInputCellsAndSettings) {
    AddDays(ledger, {{"1.0000", "暂停申购", "暂停赎回", "每份派现金0.0675元"}, {"0.9900"}});
    ledger.SetCell(1, Column::Increase, QStringLiteral("-0.12"));
    settings.ApplyPreset(Preset::Steady);
    settings.SetText(Field::TotalCapital, QStringLiteral("80000"));
    ASSERT_EQ(Save(QStringLiteral("006675")), SaveResult::Saved);

    LedgerModel reopened;
    PlanSettings fresh;
    fresh.onSwitchChanged = [&](Switch s, bool on) {
        if (s == Switch::Redeem) ApplyRedeemColumns(reopened, on);
    };
    OpenPlanOptions options;
    ASSERT_EQ(OpenPlanFile(currentPath, reopened, fresh, prompt, options), OpenResult::Opened);
    ASSERT_EQ(reopened.RowCount(), 2);
    for (Column c : {Column::ID, Column::Date, Column::NetValue, Column::PurchaseEnabled,
                     Column::RedeemEnabled, Column::RedConversion}) {
        EXPECT_EQ(reopened.Cell(1, c), ledger.Cell(1, c));
    }
    EXPECT_EQ(reopened.Cell(2, Column::RedConversion), "");
    EXPECT_EQ(reopened.Cell(1, Column::Increase), "-0.12");
    for (const FieldInfo& f : Fields()) EXPECT_EQ(fresh.Text(f.field), settings.Text(f.field));
    for (const SwitchInfo& s : Switches()) EXPECT_EQ(fresh.Checked(s.sw), settings.Checked(s.sw));
    // The Redeem switch shows the redemption columns.
    EXPECT_EQ(reopened.ColumnWidth(Column::RedeemShares), 1000);
    // Opening ends with a recalculation.
    EXPECT_EQ(reopened.Cell(1, Column::PurchaseAmount), "800");
}

TEST_F(PlanFileTest, FactAmountsSurviveATheorySaveAndComeBackInFact) {
    AddDays(ledger, {{"1.0000"}, {"1.0000"}});
    ledger.SetCell(1, Column::PurchaseAmount, QStringLiteral("1000"));
    ledger.SetCell(2, Column::RedeemShares, QStringLiteral("20"));
    ASSERT_EQ(Save(QStringLiteral("000011"), Mode::Fact), SaveResult::Saved);
    Recalculate(ledger, settings, Mode::Theory);  // overwrites the typed amounts
    ASSERT_EQ(Save(QStringLiteral("000011"), Mode::Theory), SaveResult::Saved);

    IniDocument doc;
    ASSERT_TRUE(doc.Load(currentPath));
    EXPECT_EQ(doc.Value(QStringLiteral("第1行"), QStringLiteral("PurchaseAmount")), "1000");

    ledger.ClearRows();
    ASSERT_EQ(Open(currentPath, Mode::Fact), OpenResult::Opened);
    EXPECT_EQ(ledger.Cell(1, Column::PurchaseAmount), "1000");
    EXPECT_EQ(ledger.Cell(2, Column::RedeemShares), "20");
    EXPECT_EQ(storedCode, "000011");
}

TEST_F(PlanFileTest, SavingFewerRowsLeavesOldSectionsButOpensTheCount) {
    AddDays(ledger, {{"1.0"}, {"1.1"}, {"1.2"}, {"1.3"}, {"1.4"}});
    ASSERT_EQ(Save(QStringLiteral("000002")), SaveResult::Saved);
    ledger.RemoveRow(5);
    ledger.RemoveRow(4);
    ASSERT_EQ(Save(QStringLiteral("000002")), SaveResult::Saved);
    IniDocument doc;
    ASSERT_TRUE(doc.Load(currentPath));
    EXPECT_TRUE(doc.HasSection(QStringLiteral("第4行")));
    EXPECT_TRUE(doc.HasSection(QStringLiteral("第5行")));
    EXPECT_EQ(doc.Value(QStringLiteral("特殊数据"), QStringLiteral("行数")), "3");
    ledger.ClearRows();
    ASSERT_EQ(Open(currentPath), OpenResult::Opened);
    EXPECT_EQ(ledger.RowCount(), 3);
}

TEST_F(PlanFileTest, UntouchedKeysAndSectionsSurviveASave) {
    const QString folder = dir.filePath(QStringLiteral("我的基金"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString path = folder + QStringLiteral("/000003.ini");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(*EncodeGbk(QStringLiteral("[备注]\r\n说明=自己的笔记\r\n[设置]\r\n自定义=1\r\n")));
    }
    AddDays(ledger, {{"1.0"}});
    ASSERT_EQ(Save(QStringLiteral("000003")), SaveResult::Saved);
    IniDocument doc;
    ASSERT_TRUE(doc.Load(path));
    EXPECT_EQ(doc.Value(QStringLiteral("备注"), QStringLiteral("说明")), "自己的笔记");
    EXPECT_EQ(doc.Value(QStringLiteral("设置"), QStringLiteral("自定义")), "1");
    EXPECT_EQ(doc.Value(QStringLiteral("设置"), QStringLiteral("基金代码")), "000003");
}

TEST_F(PlanFileTest, SaveRefusals) {
    ASSERT_EQ(Save(QStringLiteral("000004")), SaveResult::NoRows);
    EXPECT_EQ(prompt.texts.value(0), "列表无数据，未保存！");
    EXPECT_EQ(currentPath, dir.filePath(QStringLiteral("我的基金/000004.ini")));
    EXPECT_FALSE(QFile::exists(currentPath));

    AddDays(ledger, {{"1.0"}});
    for (const QString& code : {QString(), QStringLiteral("abc"), QStringLiteral("../x")}) {
        EXPECT_EQ(Save(code), SaveResult::BadFundCode);
        EXPECT_EQ(prompt.texts.last(), "基金代码有误，请更正！");
    }
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("我的基金/.ini"))));

    // A text GBK cannot hold is refused, and the earlier file stays intact.
    ASSERT_EQ(Save(QStringLiteral("000004")), SaveResult::Saved);
    const QByteArray before = test::ReadFileBytes(currentPath);
    ledger.SetCell(1, Column::RedConversion, QStringLiteral("😀"));
    EXPECT_EQ(Save(QStringLiteral("000004")), SaveResult::Failed);
    EXPECT_EQ(prompt.texts.last(), "保存时出现错误，请检查后重新保存！");
    EXPECT_EQ(test::ReadFileBytes(currentPath), before);
}

TEST_F(PlanFileTest, OpenAppliesWhatItCanAndRunsTheChangeReactions) {
    settings.SetChecked(Switch::SPRemind, true);
    const QString path = WriteFile(
        "odd.ini",
        QStringLiteral(
            "[设置]\r\nSPRemind=abc\r\nRedeem=1\r\nKeepROP=2\r\n"
            "起投涨幅=12\r\n倍数=abc\r\n加倍=0.125\r\n风控仓位=45.5\r\n基金代码=000005\r\n"));
    ASSERT_EQ(Open(path), OpenResult::Opened);
    EXPECT_TRUE(settings.Checked(Switch::SPRemind));  // abc leaves it
    EXPECT_TRUE(settings.Checked(Switch::Redeem));
    EXPECT_FALSE(settings.Checked(Switch::KeepROP));  // 2 leaves it
    EXPECT_EQ(settings.Text(Field::StartBuyPct), "9.00");
    EXPECT_EQ(settings.Text(Field::Multiple), "1.2");
    EXPECT_EQ(settings.Text(Field::MultipleStep), "0.13");
    EXPECT_EQ(settings.Text(Field::RiskPositionPct), "46");
    EXPECT_EQ(settings.Text(Field::PurchaseFeePct), "");  // missing key empties the field
    EXPECT_EQ(ledger.RowCount(), 0);                      // no 行数
    EXPECT_EQ(storedCode, "000005");
    EXPECT_TRUE(prompt.texts.isEmpty());
}

TEST_F(PlanFileTest, OpenRefusesWhatIsNotAPlanFile) {
    EXPECT_EQ(Open(dir.filePath(QStringLiteral("missing.ini"))), OpenResult::NoFile);
    EXPECT_TRUE(prompt.texts.isEmpty());
    const QString upper = WriteFile("PLAN.INI", QStringLiteral("[设置]\r\n"));
    EXPECT_EQ(Open(upper), OpenResult::WrongFormat);
    EXPECT_EQ(prompt.texts.value(0), "文件格式不对，请重新选择！");
    for (const char* count : {"-1", "40000", "x", "2.5"}) {
        ledger.ClearRows();
        const QString path = WriteFile(
            "count.ini", QStringLiteral("[特殊数据]\r\n行数=%1\r\n[第1行]\r\nDate=2020/1/1\r\n"
                                        "[第2行]\r\nDate=2020/1/2\r\n")
                             .arg(QString::fromLatin1(count)));
        ASSERT_EQ(Open(path), OpenResult::Opened);
        // 2.5 rounds half to even: 2 rows; the others are no rows.
        EXPECT_EQ(ledger.RowCount(), QByteArray(count) == "2.5" ? 2 : 0) << count;
    }
}

TEST_F(PlanFileTest, FundSwitchDuringOpenCanReplaceTheLedger) {
    const QString path =
        WriteFile("other.ini", QStringLiteral("[设置]\r\n基金代码=000006\r\n[特殊数据]\r\n行数="
                                              "1\r\nIncrease=-1\r\n[第1行]\r\nNetValue=1\r\n"));
    OpenPlanOptions options;
    options.setFundCode = [this](const QString&) { ledger.ClearRows(); };
    ASSERT_EQ(OpenPlanFile(path, ledger, settings, prompt, options), OpenResult::Opened);
    EXPECT_EQ(ledger.RowCount(), 0);  // nothing left to write the first day's change into
}

TEST_F(PlanFileTest, OnlyUserInputCountsAsUnsavedWork) {
    AddDays(ledger, {{"1.0"}, {"1.1"}});
    EXPECT_TRUE(ledger.InputsModified());  // new rows
    ASSERT_EQ(Save(QStringLiteral("000007")), SaveResult::Saved);
    EXPECT_FALSE(ledger.InputsModified());

    Recalculate(ledger, settings, Mode::Theory);  // computed columns are no change
    EXPECT_FALSE(ledger.InputsModified());
    ledger.SetCell(2, Column::HoldShares, QStringLiteral("5"));
    EXPECT_FALSE(ledger.InputsModified());
    ledger.SetCell(2, Column::Increase, QStringLiteral("5"));  // only row 1's change is stored
    EXPECT_FALSE(ledger.InputsModified());

    ledger.SetCell(2, Column::NetValue, QStringLiteral("1.2"));
    EXPECT_TRUE(ledger.InputsModified());
    ledger.ClearRows();
    EXPECT_FALSE(ledger.InputsModified());

    ASSERT_EQ(Open(currentPath), OpenResult::Opened);
    EXPECT_FALSE(ledger.InputsModified());
    ledger.RemoveRow(1);
    EXPECT_TRUE(ledger.InputsModified());
}
