#include "core/storage/csv_export.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QStringEncoder>
#include <QTemporaryDir>

#include "core/storage/file_io.h"
#include "core/storage/ini_document.h"
#include "support/test_support.h"

using namespace tovira;
using test::ReadFileBytes;

namespace {

const char kHeader[] =
    "日期,净值,单日涨幅,累计涨幅,申购金额,确认份额,赎回份额,确认金额,持有份额,资产市值,总投入,"
    "净盈亏,净收益率,持仓成本,申购状态,赎回状态,分红配送";

QByteArray Gbk(const QString& text) {
    QStringEncoder encoder("GBK");
    QByteArray bytes = encoder.encode(text);
    EXPECT_FALSE(encoder.hasError());
    return bytes;
}

// One ledger row with every cell of columns 2..18 filled from `cells`.
void AddRow(LedgerModel& ledger, const QStringList& cells) {
    const int row = ledger.LastRow() + 1;
    ASSERT_TRUE(ledger.AddRow(QString::number(row)));
    ASSERT_EQ(cells.size(), kColumnCount - 1);
    for (int c = 1; c < kColumnCount; ++c) {
        ledger.SetCell(row, static_cast<Column>(c), cells[c - 1]);
    }
}

QStringList Lines(const QString& text) { return text.split(QStringLiteral("\r\n")); }

const QStringList kFullRow = {
    "2017/3/27", "1.0234",   "-1.23",           "4.5", "500",   "488.5", "0",
    "0",         "488.5",    "499.93",          "500", "-3.07", "0",     "1.023541",
    "开放申购",  "开放赎回", "每份派现金0.05元"};

class CsvExportTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QTemporaryDir dir;
    LedgerModel ledger;
};

}  // namespace

TEST_F(CsvExportTest, OneRowLedgerWritesHeaderLineAndEmptyLastLine) {
    AddRow(ledger, kFullRow);
    EXPECT_EQ(DefaultCsvName(QStringLiteral("000001"), ledger), "000001_2017-3-27_2017-3-27.csv");

    const QString path = dir.filePath(DefaultCsvName(QStringLiteral("000001"), ledger));
    ASSERT_TRUE(ExportCsv(path, ledger));
    const QString line =
        "2017/3/27,1.0234,-1.23%,4.5%,500,488.5,0,0,488.5,499.93,500,-3.07,0%,1.023541,"
        "开放申购,开放赎回,每份派现金0.05元";
    const QByteArray bytes = ReadFileBytes(path);
    EXPECT_EQ(bytes, Gbk(QString::fromUtf8(kHeader) + "\r\n" + line + "\r\n\r\n"));
    EXPECT_TRUE(bytes.startsWith("\xC8\xD5\xC6\xDA,\xBE\xBB\xD6\xB5,"));  // 日期,净值, in GBK
    EXPECT_TRUE(bytes.endsWith("\r\n\r\n"));
    EXPECT_FALSE(bytes.endsWith("\r\n\r\n\r\n"));

    // An existing file is replaced.
    ledger.SetCell(1, Column::NetValue, QStringLiteral("2"));
    ASSERT_TRUE(ExportCsv(path, ledger));
    EXPECT_TRUE(ReadFileBytes(path).contains(",2,-1.23%,"));
}

TEST_F(CsvExportTest, PercentFieldsAndEmptyCells) {
    AddRow(ledger, kFullRow);
    ledger.AddRow(QStringLiteral("2"));  // every cell empty
    ledger.SetCell(2, Column::Date, QStringLiteral("2017/3/28"));
    ledger.SetCell(2, Column::AverageCost, QStringLiteral("1.02"));

    const QStringList lines = Lines(CsvText(ledger));
    ASSERT_EQ(lines.size(), 4);  // header, two rows, and the empty text after the last CR LF
    EXPECT_EQ(lines[0], QString::fromUtf8(kHeader));
    EXPECT_EQ(lines[0].split(u',').size(), 17);
    EXPECT_TRUE(lines[3].isEmpty());

    const QStringList first = lines[1].split(u',');
    ASSERT_EQ(first.size(), 17);
    EXPECT_EQ(first[2], "-1.23%");
    EXPECT_EQ(first[3], "4.5%");
    EXPECT_EQ(first[12], "0%");
    EXPECT_EQ(first[0], "2017/3/27");  // the ID is not exported

    // Empty cells give empty fields, but the percent columns still carry "%"
    // and the three status texts leave three trailing empty fields.
    EXPECT_EQ(lines[2], "2017/3/28,,%,%,,,,,,,,,%,1.02,,,");
}

TEST_F(CsvExportTest, DefaultNameUsesTheFirstAndLastDates) {
    AddRow(ledger, kFullRow);
    ledger.SetCell(1, Column::Date, QStringLiteral("2016/1/4"));
    ledger.AddRow(QStringLiteral("2"));
    ledger.AddRow(QStringLiteral("3"));
    ledger.SetCell(3, Column::Date, QStringLiteral("2017/10/9"));
    EXPECT_EQ(DefaultCsvName(QStringLiteral("210009"), ledger), "210009_2016-1-4_2017-10-9.csv");
}

TEST_F(CsvExportTest, DefaultNameIsAPlainFileName) {
    // Whatever the date cells and the code box hold, the proposed name has no
    // control character (NUL among them) and no folder in it.
    struct Case {
        QString code;
        QString date;
        const char* name;
    };
    const Case cases[] = {
        {"000001", QString::fromUtf16(u"\x05\x00", 2), "000001__.csv"},
        {"000001", QString::fromUtf16(u"2017/3/27\x00", 10), "000001_2017-3-27_2017-3-27.csv"},
        {"000001", "\x1b[2J\t2017/3/27\r\n", "000001_[2J2017-3-27_[2J2017-3-27.csv"},
        {"000001", QString::fromUtf16(u"\u007f\u0085\u009b2017/3/27"),
         "000001_2017-3-27_2017-3-27.csv"},
        {"000001", "../a\\b:c", "000001_..-a_b_c_..-a_b_c.csv"},
        {QString::fromUtf16(u"00\x01\x00\x30\x30\x30\x31", 8), "2017/3/27",
         "000001_2017-3-27_2017-3-27.csv"},
        {"../000001", "2017/3/27", ".._000001_2017-3-27_2017-3-27.csv"},
        // Other forms of a date read as one; a bare number stays as it is.
        {"000001", " 2017-03-27", "000001_2017-3-27_2017-3-27.csv"},
        {"000001", "2017.3.27", "000001_2017-3-27_2017-3-27.csv"},
        {"000001", "20170327", "000001_20170327_20170327.csv"},
        {"000001", "2017/2/30", "000001_2017-2-30_2017-2-30.csv"},
    };
    AddRow(ledger, kFullRow);
    for (const Case& c : cases) {
        ledger.SetCell(1, Column::Date, c.date);
        const QString name = DefaultCsvName(c.code, ledger);
        EXPECT_EQ(name, QString::fromUtf8(c.name));
        EXPECT_EQ(QFileInfo(name).fileName(), name);
    }
}

TEST_F(CsvExportTest, FieldsWithSeparatorsAreQuoted) {
    QStringList cells = kFullRow;
    cells[2] = QStringLiteral("1,5");                        // Increase: stays one field with its %
    cells[14] = QStringLiteral("暂停申购\"大额\"");          // PurchaseEnabled
    cells[16] = QStringLiteral("每份派现金0.05元\r\n另注");  // RedConversion
    AddRow(ledger, cells);

    const QString text = CsvText(ledger);
    const QString expected = QString::fromUtf8(kHeader) +
                             "\r\n2017/3/27,1.0234,\"1,5%\",4.5%,500,488.5,0,0,488.5,499.93,500,-3."
                             "07,0%,1.023541,\"暂停申购\"\"大额\"\"\",开放赎回,"
                             "\"每份派现金0.05元\r\n另注\"\r\n";
    EXPECT_EQ(text, expected);

    // A lone line feed or a lone quote is enough to quote the field.
    ledger.SetCell(1, Column::DividendAction, QStringLiteral("a\nb"));
    ledger.SetCell(1, Column::PurchaseStatus, QStringLiteral("\""));
    ledger.SetCell(1, Column::ReturnPct, QStringLiteral("x,y"));
    EXPECT_TRUE(CsvText(ledger).endsWith(",\"x,y%\",1.023541,\"\"\"\",开放赎回,\"a\nb\"\r\n"));
}

TEST_F(CsvExportTest, FailuresWriteNothing) {
    AddRow(ledger, kFullRow);
    const QString missingFolder = dir.filePath(QStringLiteral("missing/out.csv"));
    EXPECT_FALSE(ExportCsv(missingFolder, ledger));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("missing"))));

    EXPECT_EQ(UnexportableCellMessage(ledger), "");
    ledger.SetCell(1, Column::DividendAction, QStringLiteral("分红 😀"));
    // The refusal names the character and where it stands, not a busy file.
    EXPECT_EQ(UnexportableCellMessage(ledger),
              "第1行「分红配送」含有无法导出的字符“😀”（U+1F600），未导出！");
    const QString path = dir.filePath(QStringLiteral("out.csv"));
    EXPECT_FALSE(ExportCsv(path, ledger));
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
}

// A long export is written piece by piece: a refusal or a failing write after
// the first pieces went out still leaves the old file whole and no temporary.
TEST_F(CsvExportTest, ALongExportFailingPartWayLeavesTheOldFile) {
    for (int i = 0; i < 2000; ++i) AddRow(ledger, kFullRow);
    const QString path = dir.filePath(QStringLiteral("out.csv"));
    ASSERT_TRUE(ExportCsv(path, ledger));
    const QByteArray whole = ReadFileBytes(path);
    ASSERT_GT(whole.size(), 3 * 64 * 1024);
    EXPECT_EQ(std::optional<QByteArray>(whole), CsvBytes(ledger));
    const auto onlyTheExport = [&] {
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                  QStringList{QStringLiteral("out.csv")});
    };

    ledger.SetCell(1900, Column::DividendAction, QStringLiteral("分红 😀"));
    EXPECT_FALSE(ExportCsv(path, ledger));
    EXPECT_EQ(ReadFileBytes(path), whole);
    onlyTheExport();
    ledger.SetCell(1900, Column::DividendAction, QStringLiteral("每份派现金0.05元"));

    // The disk fails on the third piece.
    FileSystemCalls& fs = FileSystem();
    const auto realWrite = fs.write;
    int writes = 0;
    fs.write = [&](int fd, const char* data, unsigned long size) -> long {
        if (++writes == 3) {
            errno = ENOSPC;
            return -1;
        }
        return realWrite(fd, data, size);
    };
    const bool exported = ExportCsv(path, ledger);
    fs.write = realWrite;
    EXPECT_FALSE(exported);
    EXPECT_EQ(writes, 3);
    EXPECT_EQ(ReadFileBytes(path), whole);
    onlyTheExport();
}
