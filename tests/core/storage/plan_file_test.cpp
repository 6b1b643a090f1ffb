#include "core/storage/plan_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cerrno>
#include <functional>

#include "core/common/gbk_codec.h"
#include "core/storage/csv_export.h"
#include "core/storage/edit_file.h"
#include "core/storage/file_io.h"
#include "core/storage/ini_document.h"
#include "support/test_support.h"

using namespace tovira;
using test::AddDays;

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

class PlanFileTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    // Saves as the save command does: the plan path follows the outcome and
    // its message is what the user sees.
    SaveResult Save(const QString& code, Mode mode = Mode::Theory) {
        const SaveOutcome outcome = SavePlanFile(ledger, settings, mode, dir.path(), code);
        if (!outcome.path.isEmpty()) currentPath = outcome.path;
        prompt.Inform(MessageFor(outcome));
        return outcome.result;
    }
    OpenResult Open(const QString& path, Mode mode = Mode::Theory) {
        OpenPlanOptions options;
        options.mode = mode;
        options.setFundCode = [this](const QString& code) {
            storedCode = code;
            return false;
        };
        const OpenOutcome outcome = OpenPlanFile(path, ledger, settings, options);
        if (const QString message = MessageFor(outcome); !message.isEmpty()) prompt.Inform(message);
        return outcome.result;
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
    ledger.SetCell(1, Column::DailyChange, QStringLiteral("0.37"));
    settings.SetChecked(Switch::BuyFirst, true);
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
    ledger.SetCell(1, Column::DailyChange, QStringLiteral("-0.12"));
    settings.ApplyPreset(Preset::Steady);
    settings.SetText(Field::TotalCapital, QStringLiteral("80000"));
    ASSERT_EQ(Save(QStringLiteral("006675")), SaveResult::Saved);

    LedgerModel reopened;
    PlanSettings fresh;
    OpenPlanOptions options;
    ASSERT_EQ(OpenPlanFile(currentPath, reopened, fresh, options).result, OpenResult::Opened);
    ASSERT_EQ(reopened.LastRow(), 2);
    for (Column c : {Column::ID, Column::Date, Column::NetValue, Column::PurchaseStatus,
                     Column::RedeemStatus, Column::DividendAction}) {
        EXPECT_EQ(reopened.Cell(1, c), ledger.Cell(1, c));
    }
    EXPECT_EQ(reopened.Cell(2, Column::DividendAction), "");
    EXPECT_EQ(reopened.Cell(1, Column::DailyChange), "-0.12");
    for (const FieldInfo& f : Fields()) EXPECT_EQ(fresh.Text(f.field), settings.Text(f.field));
    for (const SwitchInfo& s : Switches()) EXPECT_EQ(fresh.Checked(s.sw), settings.Checked(s.sw));
    // The Redeem switch (the view shows the redemption columns from it).
    EXPECT_TRUE(fresh.Checked(Switch::SellOnRises));
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
    EXPECT_EQ(ledger.LastRow(), 3);
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
    // A refused save leaves no trace: not even the plan folder is made.
    const QString folder = dir.filePath(QStringLiteral("我的基金"));
    ASSERT_EQ(Save(QStringLiteral("000004")), SaveResult::NoRows);
    EXPECT_EQ(prompt.texts.value(0), "列表无数据，未保存！");
    EXPECT_EQ(currentPath, dir.filePath(QStringLiteral("我的基金/000004.ini")));
    EXPECT_FALSE(QFile::exists(currentPath));
    EXPECT_FALSE(QFileInfo::exists(folder));

    AddDays(ledger, {{"1.0"}});
    for (const QString& code : {QString(), QStringLiteral("abc"), QStringLiteral("../x")}) {
        EXPECT_EQ(Save(code), SaveResult::BadFundCode);
        EXPECT_EQ(prompt.texts.last(), "基金代码有误，请更正！");
    }
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("我的基金/.ini"))));
    ledger.SetCell(1, Column::DividendAction, QStringLiteral("😀"));
    EXPECT_EQ(Save(QStringLiteral("000004")), SaveResult::Unsavable);
    ledger.SetCell(1, Column::DividendAction, QString());
    EXPECT_FALSE(QFileInfo::exists(folder));
    // A write that fails takes away the folder it made.
    const FileSystemCalls calls = FileSystem();
    FileSystem().rename = [](const char*, const char*) {
        errno = EIO;
        return -1;
    };
    EXPECT_EQ(Save(QStringLiteral("000004")), SaveResult::Failed);
    FileSystem() = calls;
    EXPECT_FALSE(QFileInfo::exists(folder));

    // A text GBK cannot hold is refused, and the earlier file stays intact.
    ASSERT_EQ(Save(QStringLiteral("000004")), SaveResult::Saved);
    const QByteArray before = test::ReadFileBytes(currentPath);
    ledger.SetCell(1, Column::DividendAction, QStringLiteral("😀"));
    EXPECT_EQ(Save(QStringLiteral("000004")), SaveResult::Unsavable);
    EXPECT_EQ(prompt.texts.last(), "第1行「分红配送」含有无法保存的字符“😀”（U+1F600），未保存！");
    EXPECT_EQ(test::ReadFileBytes(currentPath), before);
}

TEST_F(PlanFileTest, OpenAppliesWhatItCanAndRunsTheChangeReactions) {
    settings.SetChecked(Switch::TakeProfitAlert, true);
    const QString path = WriteFile(
        "odd.ini",
        QStringLiteral(
            "[设置]\r\nSPRemind=abc\r\nRedeem=1\r\nKeepROP=2\r\n"
            "起投涨幅=12\r\n倍数=abc\r\n加倍=0.125\r\n风控仓位=45.5\r\n基金代码=000005\r\n"));
    ASSERT_EQ(Open(path), OpenResult::Opened);
    EXPECT_TRUE(settings.Checked(Switch::TakeProfitAlert));  // abc leaves it
    EXPECT_TRUE(settings.Checked(Switch::SellOnRises));
    EXPECT_FALSE(settings.Checked(Switch::GrowingTopUp));  // 2 leaves it
    EXPECT_EQ(settings.Text(Field::StartBuyPct), "9.00");
    EXPECT_EQ(settings.Text(Field::Multiple), "1.2");
    EXPECT_EQ(settings.Text(Field::MultipleStep), "0.13");
    EXPECT_EQ(settings.Text(Field::RiskPositionPct), "46");
    EXPECT_EQ(settings.Text(Field::PurchaseFeePct), "");  // missing key empties the field
    EXPECT_EQ(ledger.LastRow(), 0);                       // no 行数
    EXPECT_EQ(storedCode, "000005");
    EXPECT_TRUE(prompt.texts.isEmpty());
}

TEST_F(PlanFileTest, OpenRefusesWhatIsNotAPlanFile) {
    EXPECT_EQ(Open(dir.filePath(QStringLiteral("missing.ini"))), OpenResult::NoFile);
    EXPECT_TRUE(prompt.texts.isEmpty());
    const QString upper = WriteFile("PLAN.INI", QStringLiteral("[设置]\r\n"));
    EXPECT_EQ(Open(upper), OpenResult::WrongFormat);
    EXPECT_EQ(prompt.texts.value(0), "文件格式不对，请重新选择！");
    // 2.5 rounds half to even: 2 rows. A count the ledger cannot hold is
    // reported and changes nothing, rather than opening as no rows.
    struct CountCase {
        const char* count;
        OpenResult result;
        int rows;
        const char* message;
    };
    for (const CountCase& c : {
             CountCase{"-1", OpenResult::Opened, 0, ""},
             CountCase{"x", OpenResult::Opened, 0, ""},
             CountCase{"2.5", OpenResult::Opened, 2, ""},
             CountCase{"40000", OpenResult::TooManyRows, 0,
                       "计划有40000行，超过列表最多容纳的32767行，无法打开！"},
             CountCase{"32767.5", OpenResult::TooManyRows, 0,
                       "计划有32768行，超过列表最多容纳的32767行，无法打开！"},
         }) {
        ledger.ClearRows();
        prompt.texts.clear();
        settings.SetText(Field::Multiple, QStringLiteral("1.5"));
        const QString path = WriteFile(
            "count.ini", QStringLiteral("[设置]\r\n倍数=2\r\n[特殊数据]\r\n行数=%1\r\n"
                                        "[第1行]\r\nDate=2020/1/1\r\n[第2行]\r\nDate=2020/1/2\r\n")
                             .arg(QString::fromLatin1(c.count)));
        EXPECT_EQ(Open(path), c.result) << c.count;
        EXPECT_EQ(ledger.LastRow(), c.rows) << c.count;
        EXPECT_EQ(prompt.texts.join(u'|'), QString::fromUtf8(c.message)) << c.count;
        const bool applied = c.result == OpenResult::Opened;
        EXPECT_EQ(settings.Text(Field::Multiple), applied ? "2" : "1.5") << c.count;
    }
}

TEST_F(PlanFileTest, APlanThatNamesNoFundKeepsItsRows) {
    // No key, an empty key: the rows read stay, and no fund is followed.
    for (const char* head : {"[设置]\r\n", "[设置]\r\n基金代码=\r\n"}) {
        storedCode = QStringLiteral("unset");
        const QString path =
            WriteFile("nameless.ini",
                      QString::fromUtf8(head) + QStringLiteral("[特殊数据]\r\n行数=2\r\n"
                                                               "[第1行]\r\nNetValue=1\r\n"
                                                               "[第2行]\r\nNetValue=1.1\r\n"));
        EXPECT_EQ(Open(path), OpenResult::Opened) << head;
        EXPECT_EQ(storedCode, "unset") << head;
        EXPECT_EQ(ledger.LastRow(), 2) << head;
    }
}

TEST_F(PlanFileTest, FundSwitchDuringOpenCanReplaceTheLedger) {
    const QString path =
        WriteFile("other.ini", QStringLiteral("[设置]\r\n基金代码=000006\r\n[特殊数据]\r\n行数="
                                              "1\r\nIncrease=-1\r\n[第1行]\r\nNetValue=1\r\n"));
    OpenPlanOptions options;
    options.setFundCode = [this](const QString&) {
        ledger.ClearRows();
        return true;
    };
    ASSERT_EQ(OpenPlanFile(path, ledger, settings, options).result, OpenResult::Opened);
    EXPECT_EQ(ledger.LastRow(), 0);  // nothing left to write the first day's change into

    // The followed plan's rows keep their own first-day change.
    options.setFundCode = [this](const QString&) {
        ledger.ClearRows();
        AddDays(ledger, {{"2.0"}, {"2.2"}});
        ledger.SetCell(1, Column::DailyChange, QStringLiteral("0.5"));
        return true;
    };
    ASSERT_EQ(OpenPlanFile(path, ledger, settings, options).result, OpenResult::Opened);
    EXPECT_EQ(ledger.Cell(1, Column::DailyChange), "0.5");
    EXPECT_EQ(ledger.Cell(1, Column::NetValue), "2.0");
}

TEST_F(PlanFileTest, OnlyUserInputCountsAsUnsavedWork) {
    AddDays(ledger, {{"1.0"}, {"1.1"}});
    EXPECT_TRUE(ledger.InputsModified());  // new rows
    ASSERT_EQ(Save(QStringLiteral("000007")), SaveResult::Saved);
    EXPECT_FALSE(ledger.InputsModified());

    Recalculate(ledger, settings, Mode::Theory);  // computed columns are no change
    EXPECT_FALSE(ledger.InputsModified());
    ledger.SetCell(2, Column::HeldShares, QStringLiteral("5"));
    EXPECT_FALSE(ledger.InputsModified());
    ledger.SetCell(2, Column::DailyChange, QStringLiteral("5"));  // only row 1's change is stored
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

TEST_F(PlanFileTest, NastyCellTextsComeBackAsSavedAndDisturbNoOtherRow) {
    const char* const texts[] = {
        "开放申购\r\n[第3行]\r\nNetValue=99.9999",
        "[第1行]",
        "Date=2000/1/1",
        " 暂停申购",
        "暂停申购 ",
        "\"封闭期\"",
        "a=b",
        "\n",
    };
    for (const char* text : texts) {
        ledger.ClearRows();
        AddDays(ledger, {{"1.0000"}, {"1.0100"}, {"1.0200"}});
        ledger.SetCell(1, Column::PurchaseStatus, QString::fromUtf8(text));
        ledger.SetCell(2, Column::DividendAction, QString::fromUtf8(text));
        settings.SetText(Field::TotalCapital, QString::fromUtf8(text));
        ASSERT_EQ(Save(QStringLiteral("000012")), SaveResult::Saved) << text;

        QString expected = QString::fromUtf8(text);
        expected.replace(u'\r', u' ').replace(u'\n', u' ');
        LedgerModel reopened;
        PlanSettings fresh;
        OpenPlanOptions options;
        ASSERT_EQ(OpenPlanFile(currentPath, reopened, fresh, options).result, OpenResult::Opened);
        ASSERT_EQ(reopened.LastRow(), 3) << text;
        EXPECT_EQ(reopened.Cell(1, Column::PurchaseStatus), expected) << text;
        EXPECT_EQ(reopened.Cell(2, Column::DividendAction), expected) << text;
        EXPECT_EQ(fresh.Text(Field::TotalCapital), expected) << text;
        for (int row = 1; row <= 3; ++row) {
            EXPECT_EQ(reopened.Cell(row, Column::Date), ledger.Cell(row, Column::Date)) << text;
            EXPECT_EQ(reopened.Cell(row, Column::NetValue), ledger.Cell(row, Column::NetValue));
        }
    }
}

TEST_F(PlanFileTest, RefusedSaveNamesTheCharacterAndItsPlace) {
    AddDays(ledger, {{"1.0"}, {"1.1"}});
    ASSERT_EQ(Save(QStringLiteral("000013")), SaveResult::Saved);
    const QByteArray before = test::ReadFileBytes(currentPath);
    // Each place takes a text; the good text puts it back.
    struct Case {
        std::function<void(const QString&)> set;
        QString good;
        const char* bad;
        const char* message;
    };
    const Case cases[] = {
        {[&](const QString& t) { settings.SetText(Field::TotalCapital, t); },
         settings.Text(Field::TotalCapital), "5万€",
         "「资金总量」含有无法保存的字符“€”（U+20AC），未保存！"},
        {[&](const QString& t) { ledger.SetCell(2, Column::PurchaseStatus, t); }, "", "开放𠀀",
         "第2行「申购状态」含有无法保存的字符“𠀀”（U+20000），未保存！"},
        {[&](const QString& t) { ledger.SetCell(1, Column::DailyChange, t); }, "", "\uE849",
         "第1行「涨幅(%)」含有无法保存的字符“\uE849”（U+E849），未保存！"},
    };
    for (const Case& c : cases) {
        c.set(QString::fromUtf8(c.bad));
        EXPECT_EQ(Save(QStringLiteral("000013")), SaveResult::Unsavable);
        EXPECT_EQ(prompt.texts.last(), QString::fromUtf8(c.message));
        EXPECT_EQ(test::ReadFileBytes(currentPath), before);
        c.set(c.good);
    }

    // A save that cannot be made durable is a failed save.
    const FileSystemCalls calls = FileSystem();
    FileSystem().sync = [](int) {
        errno = EIO;
        return -1;
    };
    ledger.SetCell(1, Column::NetValue, QStringLiteral("2.0"));
    const SaveResult result = Save(QStringLiteral("000013"));
    FileSystem() = calls;
    EXPECT_EQ(result, SaveResult::Failed);
    EXPECT_EQ(prompt.texts.last(), "保存时出现错误，请检查后重新保存！");
    EXPECT_EQ(test::ReadFileBytes(currentPath), before);
}

TEST_F(PlanFileTest, ASaveTheDiskDidNotConfirmIsToldApart) {
    AddDays(ledger, {{"1.0"}, {"1.1"}});
    ASSERT_EQ(Save(QStringLiteral("000013"), Mode::Fact), SaveResult::Saved);
    ledger.SetCell(2, Column::NetValue, QStringLiteral("2.0"));
    ledger.SetCell(2, Column::PurchaseAmount, QStringLiteral("500"));

    // The folder's sync, after the rename, fails: the file holds the new plan
    // but a crash could still bring the old one back.
    const FileSystemCalls calls = FileSystem();
    test::FailFolderSyncAfterWriting(currentPath);
    const SaveResult result = Save(QStringLiteral("000013"), Mode::Fact);
    FileSystem() = calls;
    EXPECT_EQ(result, SaveResult::SavedUnconfirmed);
    EXPECT_EQ(prompt.texts.last(), "已保存，但磁盘没有确认写入完成，请检查磁盘后再保存一次！");
    IniDocument saved;
    ASSERT_TRUE(saved.Load(currentPath));
    EXPECT_EQ(saved.Value(QStringLiteral("第2行"), QStringLiteral("NetValue")), "2.0");
    // The rows keep what the file holds, but still count as unsaved: closing
    // asks once more.
    EXPECT_EQ(ledger.KeptTypedAmount(2, Column::PurchaseAmount), "500");
    EXPECT_TRUE(ledger.InputsModified());

    ASSERT_EQ(Save(QStringLiteral("000013"), Mode::Fact), SaveResult::Saved);
    EXPECT_FALSE(ledger.InputsModified());
}

TEST_F(PlanFileTest, SaveRemovesOnlyItsOwnStaleTemporaries) {
    const QDir folder(dir.filePath(QStringLiteral("我的基金")));
    ASSERT_TRUE(folder.mkpath(QStringLiteral(".")));
    const QStringList stale = {"000014.ini.Ab12Cd", "000014.ini.zzzzzz"};
    const QStringList kept = {"000014.ini.Ab12Cde", "000014.ini.Ab-2Cd",  "000015.ini.Ab12Cd",
                              "000014.ini.bak",     "x000014.ini.Ab12Cd", "notes.txt"};
    for (const QString& name : stale + kept) {
        QFile f(folder.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(folder.mkdir(QStringLiteral("000014.ini.Dir123")));
    ASSERT_TRUE(QFile::link(folder.filePath("notes.txt"), folder.filePath("000014.ini.Lnk123")));

    AddDays(ledger, {{"1.0"}});
    ASSERT_EQ(Save(QStringLiteral("000014")), SaveResult::Saved);
    QStringList expected =
        kept + QStringList{"000014.ini", "000014.ini.Dir123", "000014.ini.Lnk123"};
    expected.sort();
    EXPECT_EQ(folder.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDir::Name),
              expected);
}

TEST_F(PlanFileTest, OnlyRegularFilesAreRead) {
    // A pipe waits for a writer and /dev/zero never ends: both are turned away
    // at once. The alarm ends a run that hangs instead of letting it wait.
    alarm(30);
    const QString fifo = dir.filePath(QStringLiteral("fifo.ini"));
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString zero = dir.filePath(QStringLiteral("zero.ini"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), zero));
    for (const QString& path : {fifo, zero}) {
        EXPECT_EQ(Open(path), OpenResult::NoFile);
        IniDocument doc;
        EXPECT_FALSE(doc.Load(path));
        EXPECT_EQ(ReadIniValue(path, QStringLiteral("设置"), QStringLiteral("倍数")), "");
    }
    EXPECT_TRUE(prompt.texts.isEmpty());

    // A regular file that cannot be read (here: beyond the size any plan can
    // have, left sparse) is refused with a message, and the rows and the
    // settings shown stay as they were: they may be the user's unsaved work.
    const QString huge = dir.filePath(QStringLiteral("huge.ini"));
    {
        QFile f(huge);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize((qint64(1) << 30) + 1));
    }
    AddDays(ledger, {{"1.0"}, {"1.1"}});
    settings.SetText(Field::TotalCapital, QStringLiteral("12345"));
    EXPECT_EQ(Open(huge), OpenResult::Unreadable);
    EXPECT_EQ(prompt.texts,
              QStringList{QStringLiteral("无法读取方案文件：%1，未打开！").arg(huge)});
    EXPECT_EQ(ledger.LastRow(), 2);
    EXPECT_EQ(settings.Text(Field::TotalCapital), "12345");
    FigureTable table;
    EXPECT_EQ(ReadPlanFigures(huge, settings, Mode::Theory, table).result, OpenResult::Unreadable);
    EXPECT_EQ(settings.Text(Field::TotalCapital), "12345");
    QFile::remove(huge);
    ledger.ClearRows();

    // A link to a plan file is that plan file.
    const QString plan = WriteFile("plan.ini", QStringLiteral("[特殊数据]\r\n行数=1\r\n"));
    const QString link = dir.filePath(QStringLiteral("link.ini"));
    ASSERT_TRUE(QFile::link(plan, link));
    EXPECT_EQ(Open(link), OpenResult::Opened);
    EXPECT_EQ(ledger.LastRow(), 1);
    alarm(0);
}

// The read without a ledger (the command line's) must see every plan file as
// the open does: odd keys, missing rows, typed amounts, refusals.
TEST_F(PlanFileTest, TheReadWithoutALedgerSeesWhatTheOpenSees) {
    const QString odd = WriteFile(
        "odd.ini",
        QStringLiteral("NetValue=7\r\n[设置]\r\nredeem=1\r\nRedeem=0\r\n资金总量=\"20000\"\r\n"
                       "[第5行]\r\nDate=2020/1/8\r\nNetValue=0.9000\r\nPurchaseAmount=1e3\r\n"
                       "[特殊数据]\r\n行数=5\r\nIncrease=-1.25\r\n"
                       "[第1行]\r\nDate=2020/1/2\r\nNetValue=1.0000\r\nPurchaseAmount=300\r\n"
                       "[ 第2行 ] ; two\r\ndate=2020/1/3\r\nNetValue= 0.9800 \r\nnetvalue=3\r\n"
                       "RedeemShares=50\r\nPurchaseEnabled=暂停申购\r\n"
                       "RedConversion=每份派现金0.0100元\r\n[第2行]\r\nNetValue=5\r\n"
                       "[第02行]\r\nDate=1999/1/1\r\n[设置]\r\n资金总量=1\r\n"
                       "[第4行]\r\nDate=2020/1/7\r\nNetValue=1.0100\r\nRedeemEnabled=a,b\"c\r\n"
                       "[第6行]\r\nDate=2020/1/9\r\nNetValue=2\r\n"));
    for (const Mode mode : {Mode::Theory, Mode::Fact}) {
        ledger.ClearRows();
        OpenPlanOptions options;
        options.mode = mode;
        PlanSettings opened;
        ASSERT_EQ(OpenPlanFile(odd, ledger, opened, options).result, OpenResult::Opened);
        PlanSettings read;
        FigureTable table;
        ASSERT_EQ(ReadPlanFigures(odd, read, mode, table).result, OpenResult::Opened);
        table.Recalculate(read);
        for (const FieldInfo& f : Fields()) {
            EXPECT_EQ(read.Text(f.field), opened.Text(f.field)) << f.iniKey;
        }
        EXPECT_EQ(CsvBytes(table.View()), CsvBytes(ledger));
        EXPECT_EQ(UnexportableCellMessage(table.View()), UnexportableCellMessage(ledger));
        CellScratch scratch;
        EXPECT_EQ(table.View().Cell(5, Column::ID, scratch), QStringLiteral("5"));
    }

    // A character GBK lacks (written as GB18030) is named the same way.
    QFile file(dir.filePath(QStringLiteral("rare.ini")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(*EncodeGbk(QStringLiteral("[特殊数据]\r\n行数=1\r\n[第1行]\r\nNetValue=1\r\n"
                                         "RedConversion=")) +
               QByteArray("\x95\x32\x82\x36") + "\r\n");
    file.close();
    ledger.ClearRows();
    ASSERT_EQ(Open(file.fileName()), OpenResult::Opened);
    FigureTable table;
    PlanSettings read;
    ASSERT_EQ(ReadPlanFigures(file.fileName(), read, Mode::Theory, table).result,
              OpenResult::Opened);
    table.Recalculate(read);
    EXPECT_FALSE(CsvBytes(table.View()));
    EXPECT_FALSE(UnexportableCellMessage(ledger).isEmpty());
    EXPECT_EQ(UnexportableCellMessage(table.View()), UnexportableCellMessage(ledger));

    // Refusals are the open's.
    const QString many = WriteFile("many.ini", QStringLiteral("[特殊数据]\r\n行数=40000\r\n"));
    const QString text = WriteFile("plan.txt", QStringLiteral("[特殊数据]\r\n行数=1\r\n"));
    for (const QString& path : {many, text, dir.filePath(QStringLiteral("none.ini"))}) {
        const OpenOutcome got = ReadPlanFigures(path, read, Mode::Theory, table);
        EXPECT_EQ(got.result, OpenPlanFile(path, ledger, settings, {}).result);
        EXPECT_EQ(MessageFor(got), MessageFor(OpenPlanFile(path, ledger, settings, {})));
        EXPECT_EQ(table.LastRow(), 0);
    }
}

// A text that comes back row after row is read and exported once for all its
// rows: a text in between, the same text stored in other bytes (quoted, with
// blanks or a CR), and texts to be quoted in the export must each still come
// out as its own row holds it.
TEST_F(PlanFileTest, RepeatedTextsComeOutAsEachRowHoldsThem) {
    const char* const statuses[] = {
        "开放申购", "开放申购",     "\"开放申购\"", " 开放申购\t", "a,b",  "a,b",
        "开放申购", "暂停\"申购\"", "暂停\"申购\"", "開放申購",    "a\rb", "a\rb",
        "",         "开放申购",     "\"\"",         "x",           "x",    "開放申購",
    };
    QString text = QStringLiteral("[特殊数据]\r\n行数=18\r\n");
    int row = 0;
    for (const char* status : statuses) {
        ++row;
        text +=
            QStringLiteral("[第%1行]\r\nDate=2020/1/%1\r\nNetValue=1.%2\r\n").arg(row).arg(row % 3);
        text +=
            U("PurchaseEnabled=%1\r\nRedeemEnabled=%2\r\nRedConversion=%3\r\n")
                .arg(U(status), U(statuses[17 - (row - 1)]), U(row % 2 ? "" : "每份派现金0.1元"));
    }
    const QString path = WriteFile("repeated.ini", text);
    for (const Mode mode : {Mode::Theory, Mode::Fact}) {
        ASSERT_EQ(Open(path, mode), OpenResult::Opened);
        PlanSettings read;
        FigureTable table;
        ASSERT_EQ(ReadPlanFigures(path, read, mode, table).result, OpenResult::Opened);
        table.Recalculate(read);
        for (int r = 1; r <= 18; ++r) {
            for (const Column c : {Column::PurchaseStatus, Column::RedeemStatus,
                                   Column::DividendAction, Column::NetValue}) {
                EXPECT_EQ(table.View().Text(r, c), ledger.Cell(r, c)) << r;
            }
        }
        const std::optional<QByteArray> bytes = CsvBytes(table.View());
        ASSERT_TRUE(bytes);
        EXPECT_EQ(bytes, CsvBytes(ledger));
        const QString csv = DecodeGbk(*bytes);
        for (const char* field : {",\"暂停\"\"申购\"\"\",", ",\"a,b\",", ",a b,", ",開放申購,"}) {
            EXPECT_TRUE(csv.contains(U(field))) << field;
        }
    }
}

// The amounts typed in 实际操作 stay with their days when rows are removed,
// cleared or downloaded anew in 理论计算 (where the cells show computed
// figures), and a plan that never had typed amounts gets none written.
TEST_F(PlanFileTest, TypedAmountsStayWithTheirDaysThroughTheoryEdits) {
    AddDays(ledger, {{"1.0000"}, {"1.0100"}, {"1.0200"}});
    for (int row = 1; row <= 3; ++row)
        ledger.SetCell(row, Column::Date, QStringLiteral("2024/1/%1").arg(row));
    ASSERT_EQ(Save(QStringLiteral("000014")), SaveResult::Saved);
    EXPECT_FALSE(test::ReadFileBytes(currentPath).contains("PurchaseAmount"));
    EXPECT_FALSE(test::ReadFileBytes(currentPath).contains("RedeemShares"));

    ledger.SetCell(1, Column::PurchaseAmount, QStringLiteral("100"));
    ledger.SetCell(2, Column::PurchaseAmount, QStringLiteral("200"));
    ledger.SetCell(3, Column::PurchaseAmount, QStringLiteral("300"));
    ledger.SetCell(3, Column::RedeemShares, QStringLiteral("30"));
    ASSERT_EQ(Save(QStringLiteral("000014"), Mode::Fact), SaveResult::Saved);

    // 理论计算: row 2 removed, saved; 实际操作 finds each amount on its day.
    ledger.ClearRows();
    ASSERT_EQ(Open(currentPath, Mode::Theory), OpenResult::Opened);
    ledger.RemoveRow(2);
    ASSERT_EQ(Save(QStringLiteral("000014")), SaveResult::Saved);
    ledger.ClearRows();
    ASSERT_EQ(Open(currentPath, Mode::Fact), OpenResult::Opened);
    ASSERT_EQ(ledger.LastRow(), 2);
    EXPECT_EQ(ledger.Cell(2, Column::Date), "2024/1/3");
    EXPECT_EQ(ledger.Cell(1, Column::PurchaseAmount), "100");
    EXPECT_EQ(ledger.Cell(2, Column::PurchaseAmount), "300");
    EXPECT_EQ(ledger.Cell(2, Column::RedeemShares), "30");

    // 理论计算: the list cleared and other days put in, saved; they bring no
    // amounts, and the old ones do not come back on them.
    ledger.ClearRows();
    ASSERT_EQ(Open(currentPath, Mode::Theory), OpenResult::Opened);
    ledger.ClearRows();
    AddDays(ledger, {{"2.0000"}, {"2.0100"}, {"2.0200"}});
    ASSERT_EQ(Save(QStringLiteral("000014")), SaveResult::Saved);
    ledger.ClearRows();
    ASSERT_EQ(Open(currentPath, Mode::Fact), OpenResult::Opened);
    ASSERT_EQ(ledger.LastRow(), 3);
    for (int row = 1; row <= 3; ++row) {
        EXPECT_EQ(ReadNumber(ledger.Cell(row, Column::PurchaseAmount)), 0) << row;
        EXPECT_EQ(ReadNumber(ledger.Cell(row, Column::RedeemShares)), 0) << row;
    }
}

namespace {

QByteArray Gbk(const char* utf8) { return *EncodeGbk(QString::fromUtf8(utf8)); }

// Opens the file as the window does and reads it as the command line does
// (both in 实际操作, so that the typed amounts are read too) and expects one
// plan from both: the outcome, the settings, every stored cell and the first
// day's change. The ledger opened is left in `ledger`.
void ExpectOnePlan(const QString& path, LedgerModel& ledger, PlanSettings& opened,
                   const std::string& trace) {
    SCOPED_TRACE(trace);
    ledger.ClearRows();
    opened = PlanSettings();
    OpenPlanOptions options;
    options.mode = Mode::Fact;
    options.recalculate = false;  // the cells as read
    const OpenOutcome open = OpenPlanFile(path, ledger, opened, options);
    PlanSettings read;
    FigureTable table;
    const OpenOutcome figures = ReadPlanFigures(path, read, Mode::Fact, table);
    EXPECT_EQ(figures.result, open.result);
    for (const FieldInfo& f : Fields()) EXPECT_EQ(read.Text(f.field), opened.Text(f.field));
    for (const SwitchInfo& s : Switches()) EXPECT_EQ(read.Checked(s.sw), opened.Checked(s.sw));
    ASSERT_EQ(table.LastRow(), ledger.LastRow());
    for (int row = 1; row <= table.LastRow(); ++row) {
        for (int i = 0; i < StoredRow::kCells; ++i) {
            EXPECT_EQ(table.Text(table.rows[size_t(row - 1)].cells[size_t(i)]),
                      ledger.Cell(row, kStoredColumns[i]))
                << "row " << row << " cell " << i;
        }
    }
    if (table.LastRow() > 0) {
        EXPECT_EQ(table.firstIncrease, ledger.Cell(1, Column::DailyChange));
    }
}

}  // namespace

// Line ends and stray bytes a plan file may have picked up on its way (an
// editor, a conversion of line ends, a copy from another system). Whatever
// they are, the window and the command line read one plan; a CR that does
// not end a line reads as a blank, so it is trimmed like one.
TEST_F(PlanFileTest, BothReadersReadOnePlanWhateverTheBytes) {
    // Two rows; `head` ends the lines of 行数 and Redeem.
    const auto plan = [](const QByteArray& head, const QByteArray& end = "\r\n") {
        return Gbk("[设置]") + end + "Redeem=1" + head + Gbk("倍数=1.5") + end + Gbk("[特殊数据]") +
               end + Gbk("行数=2") + head + "Increase=0.37" + end + Gbk("[第1行]") + end +
               "Date=2024/1/4" + end + "NetValue=1.2855" + end + "PurchaseAmount=100" + end +
               Gbk("[第2行]") + end + "Date=2024/1/5" + end + "NetValue=1.2900" + end;
    };
    // The rows come before the head: the command line reads the head apart.
    const auto rowsFirst = [](const QByteArray& beforeHead) {
        return Gbk("[第1行]\r\nDate=2024/1/4\r\nNetValue=1.2855\r\n") + beforeHead +
               Gbk("[特殊数据]\r\n行数=1\r\n[设置]\r\nRedeem=1\r\n");
    };
    struct Case {
        const char* name;
        QByteArray bytes;
        int rows;
        bool redeem;
    };
    const Case cases[] = {
        {"CR LF", plan("\r\n"), 2, true},
        {"LF only", plan("\n", "\n"), 2, true},
        {"CR CR LF", plan("\r\r\n"), 2, true},
        {"CR CR LF everywhere", plan("\r\r\n", "\r\r\n"), 2, true},
        {"blanks and CRs", plan(" \r\t\r\r\n"), 2, true},
        {"CR before the value", plan("\r\n").replace("Redeem=1", "Redeem=\r1"), 2, true},
        {"CR inside the value", plan("\r\n").replace(Gbk("行数=2"), Gbk("行数=2\r2")), 0, true},
        {"lone CR ends no line", plan("\r"), 0, false},
        {"lone CRs only", plan("\r", "\r"), 0, false},
        {"NUL", plan(QByteArray("\0\r\n", 3)), 0, false},
        {"NUL before the value",
         plan("\r\n").replace("Redeem=1", QByteArray("Redeem=\0"
                                                     "1",
                                                     9)),
         2, false},
        {"byte order mark", "\xEF\xBB\xBF" + plan("\r\n"), 2, true},
        {"two byte order marks", "\xEF\xBB\xBF\xEF\xBB\xBF" + plan("\r\n"), 2, false},
        {"rows first", rowsFirst(""), 1, true},
        {"byte order mark after the rows", rowsFirst("\xEF\xBB\xBF"), 0, true},
        {"CR after the rows", rowsFirst("\r"), 1, true},
        {"no line end at the end", plan("\r\n").chopped(2) + "\r", 2, true},
    };
    for (const Case& c : cases) {
        const QString path = dir.filePath(QStringLiteral("bytes.ini"));
        {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(c.bytes);
        }
        ExpectOnePlan(path, ledger, settings, c.name);
        EXPECT_EQ(ledger.LastRow(), c.rows) << c.name;
        EXPECT_EQ(settings.Checked(Switch::SellOnRises), c.redeem) << c.name;
    }
}

// A CR inside a value reads as the blank a save would write for it: the plan
// pays its dividend from the first open on, and open, save, open gives the
// same ledger (and, the rows being untouched, the same rows in the file).
TEST_F(PlanFileTest, ACrInsideAValueReadsAsTheSaveWritesIt) {
    // Rows as the save writes them, row 2 with the action given.
    const auto write = [this](const char* name, const QByteArray& action) {
        QByteArray bytes = Gbk("[设置]\r\nRedRecycle=0\r\n[特殊数据]\r\n行数=3\r\nIncrease=0\r\n");
        for (int row = 1; row <= 3; ++row) {
            bytes += Gbk(QStringLiteral("[第%1行]\r\nDate=2024/1/%2\r\nNetValue=1.0%3\r\n"
                                        "PurchaseEnabled=\r\nRedeemEnabled=\r\nRedConversion=")
                             .arg(row)
                             .arg(row + 3)
                             .arg(row)
                             .toUtf8()
                             .constData());
            bytes += (row == 2 ? action : QByteArray()) + "\r\n";
        }
        const QString path = dir.filePath(QString::fromUtf8(name));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    };
    const auto figures = [this](const QString& path) {
        ledger.ClearRows();
        EXPECT_EQ(Open(path), OpenResult::Opened);  // recalculated in 理论计算
        return CsvBytes(ledger).value_or("unexportable");
    };
    const QString withCr = write("cr.ini", Gbk("每份派现金\r0.5元"));
    const QByteArray paid = figures(write("blank.ini", Gbk("每份派现金 0.5元")));
    ASSERT_NE(paid, figures(write("none.ini", "")));  // the dividend shows in the figures

    EXPECT_EQ(figures(withCr), paid);
    EXPECT_EQ(ledger.Cell(2, Column::DividendAction), "每份派现金 0.5元");
    const QByteArray before = test::ReadFileBytes(withCr);
    ASSERT_TRUE(SavePlanFileAt(ledger, settings, Mode::Theory, withCr, "000016").Saved());
    EXPECT_EQ(figures(withCr), paid);
    // The rows, untouched, are written as they were read: the CR included.
    const QByteArray rows = before.mid(before.indexOf(Gbk("[第1行]")));
    EXPECT_TRUE(test::ReadFileBytes(withCr).endsWith(rows));
    EXPECT_TRUE(rows.contains(Gbk("每份派现金\r0.5元")));
}

// An amount typed in 实际操作 that 理论计算 keeps hidden (here with bytes that
// are not GBK, read as U+FFFD) is not the theory save's to change: one that
// stays on its row stays as stored, byte for byte; one that has to move with
// its row and cannot be written names its place, as the 实际操作 save does.
TEST_F(PlanFileTest, TheTheorySaveKeepsHiddenAmountsAsStored) {
    const QString path = dir.filePath(QStringLiteral("000017.ini"));
    const auto day = [](int row, const QByteArray& amounts) {
        return Gbk(QStringLiteral("[第%1行]\r\nDate=2024/1/%2\r\nNetValue=1.0%1\r\n")
                       .arg(row)
                       .arg(row + 3)
                       .toUtf8()
                       .constData()) +
               amounts + "PurchaseEnabled=\r\nRedeemEnabled=\r\nRedConversion=\r\n";
    };
    const QByteArray head =
        Gbk("[设置]\r\n基金代码=000017\r\n[特殊数据]\r\n行数=3\r\nIncrease=0\r\n");
    const QByteArray rows = day(1, "PurchaseAmount=100\r\n") +
                            day(2,
                                "PurchaseAmount=2\x80"
                                "0\r\nRedeemShares=\xFF\r\n") +
                            day(3, "");
    const auto open = [&] {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(head + rows);
        f.close();
        ledger.ClearRows();
        ASSERT_EQ(Open(path, Mode::Theory), OpenResult::Opened);
    };
    const auto save = [&] {
        const SaveOutcome outcome = SavePlanFileAt(ledger, settings, Mode::Theory, path, "000017");
        prompt.Inform(MessageFor(outcome));
        return outcome.result;
    };

    // Saved as opened, and with another row edited: the rows as they were.
    open();
    ASSERT_EQ(save(), SaveResult::Saved) << prompt.texts.join(u'|').toStdString();
    EXPECT_TRUE(test::ReadFileBytes(path).endsWith(rows));
    open();
    ledger.SetCell(3, Column::NetValue, QStringLiteral("1.0300"));
    ASSERT_EQ(save(), SaveResult::Saved);
    EXPECT_TRUE(test::ReadFileBytes(path).contains(rows.left(rows.indexOf("NetValue=1.03"))));

    // Row 1 removed: row 2's amounts move to row 1 and cannot be written.
    open();
    ledger.RemoveRow(1);
    EXPECT_EQ(save(), SaveResult::Unsavable);
    EXPECT_EQ(prompt.texts.last(),
              "第1行「申购金额」含有无法保存的字符“\uFFFD”（U+FFFD），未保存！");
    EXPECT_EQ(test::ReadFileBytes(path), head + rows);
}
