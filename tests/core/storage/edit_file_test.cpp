#include "core/storage/edit_file.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <set>

#include "support/test_support.h"

namespace tovira {
namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

using test::ReadFileBytes;

TEST(EditFileTest, ReadIniValueCutsAt9999Bytes) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("long.ini");
    const QString chinese = QString(5000, QChar(u'中'));  // 10000 bytes in GBK
    ASSERT_TRUE(WriteIniValue(path, "S", "ascii", QString(12000, 'x')));
    ASSERT_TRUE(WriteIniValue(path, "S", "chinese", chinese));
    ASSERT_TRUE(WriteIniValue(path, "S", "mixed", "a" + chinese));
    ASSERT_TRUE(WriteIniValue(path, "S", "fits", QString(9999, 'y')));

    EXPECT_EQ(ReadIniValue(path, "S", "ascii"), QString(9999, 'x'));
    // Never half a character: 9998 bytes, then 1 + 9998.
    EXPECT_EQ(ReadIniValue(path, "S", "chinese"), chinese.left(4999));
    EXPECT_EQ(ReadIniValue(path, "S", "mixed"), "a" + chinese.left(4999));
    EXPECT_EQ(ReadIniValue(path, "S", "fits"), QString(9999, 'y'));

    // Characters outside GBK take four bytes of GB18030 in the file.
    const QString wide = dir.filePath("wide.ini");
    QFile file(wide);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[S]\r\nwide=" + QByteArray("\x81\x30\x81\x30").repeated(3000));
    file.close();
    EXPECT_EQ(ReadIniValue(wide, "S", "wide"), QString(2499, QChar(0x80)));

    EXPECT_EQ(ReadIniValue(path, "S", "absent"), QString(""));
    EXPECT_EQ(ReadIniValue(path, "T", "ascii"), QString(""));
    EXPECT_EQ(ReadIniValue(dir.filePath("none.ini"), "S", "ascii"), QString(""));
}

TEST(EditFileTest, WriteIniValueCreatesAndUpdatesKeyByKey) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("Cache.ini");
    EXPECT_TRUE(WriteIniValue(path, U("基金代码"), "000001", U("华夏成长")));
    EXPECT_TRUE(WriteIniValue(path, U("基金代码"), "000002", "B"));
    EXPECT_TRUE(WriteIniValue(path, "Other", "k", "v"));
    EXPECT_TRUE(WriteIniValue(path, U("基金代码"), "000001", "A"));
    EXPECT_EQ(ReadFileBytes(path), QByteArray("[\xBB\xF9\xBD\xF0\xB4\xFA\xC2\xEB]\r\n"
                                              "000001=A\r\n"
                                              "000002=B\r\n"
                                              "[Other]\r\n"
                                              "k=v\r\n"));
    EXPECT_FALSE(WriteIniValue(dir.filePath("missing/Cache.ini"), "S", "k", "v"));
    EXPECT_FALSE(WriteIniValue(path, "S", "k", U("😀")));
    EXPECT_EQ(ReadIniValue(path, "Other", "k"), QString("v"));

    // A file that exists but cannot be read is not replaced by one key alone.
    const QByteArray before = ReadFileBytes(path);
    ASSERT_TRUE(QFile::setPermissions(path, QFile::WriteOwner));
    if (!QFile(path).open(QIODevice::ReadOnly)) {
        EXPECT_FALSE(WriteIniValue(path, "S", "k", "v"));
        ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
        EXPECT_EQ(ReadFileBytes(path), before);
    }
}

TEST(EditFileTest, WriteTextFileReplacesAndAppendTextToFileAdds) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("export.csv");
    ASSERT_TRUE(WriteTextFile(path, U("日期,净值\r\n2020/1/2,1.0000")));
    EXPECT_EQ(ReadFileBytes(path),
              QByteArray("\xC8\xD5\xC6\xDA,\xBE\xBB\xD6\xB5\r\n2020/1/2,1.0000\r\n"));
    ASSERT_TRUE(WriteTextFile(path, "short"));
    EXPECT_EQ(ReadFileBytes(path), QByteArray("short\r\n"));
    EXPECT_FALSE(WriteTextFile(path, U("😀")));
    EXPECT_EQ(ReadFileBytes(path), QByteArray("short\r\n"));
    EXPECT_FALSE(WriteTextFile(dir.filePath("missing/export.csv"), "x"));

    const QString log = dir.filePath("log.txt");
    ASSERT_TRUE(AppendTextToFile(log, U("缺少")));
    ASSERT_TRUE(AppendTextToFile(log, "MSCOMCTL.OCX"));
    EXPECT_FALSE(AppendTextToFile(log, U("😀")));
    EXPECT_EQ(ReadFileBytes(log), QByteArray("\xC8\xB1\xC9\xD9\r\nMSCOMCTL.OCX\r\n"));
}

TEST(EditFileTest, RandomIntegerAlwaysHasNineDigits) {
    std::set<double> seen;
    for (int i = 0; i < 5000; ++i) {
        const double n = RandomInteger(100000000, 999999999);
        ASSERT_EQ(n, std::floor(n));
        ASSERT_GT(n, 100000000.0);
        ASSERT_LE(n, 999999999.0);
        seen.insert(n);
    }
    // Reseeding from the clock must still give different numbers call by call.
    EXPECT_GT(seen.size(), 500u);
}

}  // namespace
}  // namespace tovira
