#include "core/storage/edit_file.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <optional>

#include "core/common/gbk_codec.h"
#include "core/storage/file_io.h"
#include "core/storage/ini_document.h"
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
    IniDocument doc;
    doc.SetValue("S", "ascii", QString(12000, 'x'));
    doc.SetValue("S", "chinese", chinese);
    doc.SetValue("S", "mixed", "a" + chinese);
    doc.SetValue("S", "fits", QString(9999, 'y'));
    ASSERT_TRUE(doc.Save(path));

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

// The settings and lists are updated key by key, each update a load, a change
// and an atomic save of the whole file.
TEST(EditFileTest, KeyByKeyUpdatesKeepTheFileWhole) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("Cache.ini");
    const auto update = [](const QString& file, const QString& section, const QString& key,
                           const QString& value) {
        IniDocument doc;
        // A missing file starts empty.
        if (!doc.Load(file) && QFile::exists(file)) return false;
        doc.SetValue(section, key, value);
        return doc.Save(file);
    };
    EXPECT_TRUE(update(path, U("基金代码"), "000001", U("华夏成长")));
    EXPECT_TRUE(update(path, U("基金代码"), "000002", "B"));
    EXPECT_TRUE(update(path, "Other", "k", "v"));
    EXPECT_TRUE(update(path, U("基金代码"), "000001", "A"));
    EXPECT_EQ(ReadFileBytes(path), QByteArray("[\xBB\xF9\xBD\xF0\xB4\xFA\xC2\xEB]\r\n"
                                              "000001=A\r\n"
                                              "000002=B\r\n"
                                              "[Other]\r\n"
                                              "k=v\r\n"));
    EXPECT_FALSE(update(dir.filePath("missing/Cache.ini"), "S", "k", "v"));
    EXPECT_FALSE(update(path, "S", "k", U("😀")));
    EXPECT_EQ(ReadIniValue(path, "Other", "k"), QString("v"));

    // A file that exists but cannot be read does not load, so an update never
    // replaces it by one key alone.
    const QByteArray before = ReadFileBytes(path);
    ASSERT_TRUE(QFile::setPermissions(path, QFile::WriteOwner));
    if (!QFile(path).open(QIODevice::ReadOnly)) {
        IniDocument doc;
        EXPECT_FALSE(doc.Load(path));
        EXPECT_FALSE(update(path, "S", "k", "v"));
        ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
        EXPECT_EQ(ReadFileBytes(path), before);
    }
}

// A text file (the CSV export) is written as GBK through the atomic writer:
// replaced whole, and a text GBK cannot hold leaves the old file.
TEST(EditFileTest, TextFilesAreReplacedWhole) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("export.csv");
    const auto write = [](const QString& file, const QString& text) {
        const std::optional<QByteArray> bytes = EncodeGbk(text + "\r\n");
        return bytes && WriteFileAtomically(file, *bytes);
    };
    ASSERT_TRUE(write(path, U("日期,净值\r\n2020/1/2,1.0000")));
    EXPECT_EQ(ReadFileBytes(path),
              QByteArray("\xC8\xD5\xC6\xDA,\xBE\xBB\xD6\xB5\r\n2020/1/2,1.0000\r\n"));
    ASSERT_TRUE(write(path, "short"));
    EXPECT_EQ(ReadFileBytes(path), QByteArray("short\r\n"));
    EXPECT_FALSE(write(path, U("😀")));
    EXPECT_EQ(ReadFileBytes(path), QByteArray("short\r\n"));
    EXPECT_FALSE(write(dir.filePath("missing/export.csv"), "x"));
    EXPECT_FALSE(QDir(dir.filePath("missing")).exists());
}

}  // namespace
}  // namespace tovira
