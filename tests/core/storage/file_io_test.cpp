// The atomic, durable writer every file of the program goes through: a step
// that fails leaves the old file and no temporary behind, and a write that
// succeeds clears the temporaries earlier, interrupted writes left.

#include "core/storage/file_io.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cerrno>
#include <functional>

#include "core/ledger/plan_settings.h"
#include "core/marketdata/fund_directory.h"
#include "core/storage/csv_export.h"
#include "core/storage/fund_selection.h"
#include "core/storage/ini_document.h"
#include "core/storage/plan_file.h"
#include "support/test_support.h"

namespace tovira {
namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

using test::ReadFileBytes;

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// Makes one system call of the atomic write fail for the guard's lifetime.
class FailingCalls {
  public:
    FailingCalls() : saved_(FileSystem()) {}
    ~FailingCalls() { FileSystem() = saved_; }
    FailingCalls(const FailingCalls&) = delete;
    FailingCalls& operator=(const FailingCalls&) = delete;

  private:
    FileSystemCalls saved_;
};

int Fail(int error) {
    errno = error;
    return -1;
}

TEST(FileIoTest, AFailedStepLeavesTheOldFileAndNoTemporary) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("000001.ini");
    const QByteArray old("[A]\r\nk=old\r\n");
    struct Case {
        const char* step;
        std::function<void(FileSystemCalls&)> fail;
        // Unconfirmed: the folder sync comes after the rename, so the file
        // holds the new content.
        WriteResult result;
    };
    const Case cases[] = {
        {"create",
         [](FileSystemCalls& fs) {
             fs.open = [](const char*, int, unsigned) { return Fail(EACCES); };
         },
         WriteResult::Failed},
        {"write",
         [](FileSystemCalls& fs) {
             fs.write = [](int, const char*, unsigned long) { return long(Fail(ENOSPC)); };
         },
         WriteResult::Failed},
        {"short write",
         [](FileSystemCalls& fs) {
             fs.write = [real = fs.write](int fd, const char* data, unsigned long size) {
                 return size > 4 ? real(fd, data, 4) : long(Fail(ENOSPC));
             };
         },
         WriteResult::Failed},
        {"sync", [](FileSystemCalls& fs) { fs.sync = [](int) { return Fail(EIO); }; },
         WriteResult::Failed},
        {"close",
         [](FileSystemCalls& fs) {
             fs.close = [real = fs.close](int fd) {
                 real(fd);
                 return Fail(EIO);
             };
         },
         WriteResult::Failed},
        {"rename",
         [](FileSystemCalls& fs) {
             fs.rename = [](const char*, const char*) { return Fail(EXDEV); };
         },
         WriteResult::Failed},
        {"folder sync",
         [](FileSystemCalls& fs) {
             fs.sync = [real = fs.sync, calls = 0](int fd) mutable {
                 return ++calls == 2 ? Fail(EIO) : real(fd);
             };
         },
         WriteResult::Unconfirmed},
    };
    for (const Case& c : cases) {
        WriteFile(path, old);
        {
            FailingCalls guard;
            c.fail(FileSystem());
            EXPECT_EQ(WriteFileAtomicallyWithResult(path, "[A]\r\nk=new\r\n"), c.result) << c.step;
        }
        const bool replaced = c.result == WriteResult::Unconfirmed;
        EXPECT_EQ(ReadFileBytes(path), replaced ? QByteArray("[A]\r\nk=new\r\n") : old) << c.step;
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"000001.ini"})
            << c.step;
    }

    // Without a failure the file is replaced and keeps its permissions.
    ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
    const QFile::Permissions permissions = QFile::permissions(path);
    EXPECT_TRUE(WriteFileAtomically(path, "new"));
    EXPECT_EQ(ReadFileBytes(path), QByteArray("new"));
    EXPECT_EQ(QFile::permissions(path), permissions);
}

// An interrupted write leaves its temporary file behind; the next write of
// the same file that succeeds removes it, whoever the writer is. Only regular
// files named exactly like that file's temporaries go.
TEST(FileIoTest, EveryAtomicWriteRemovesItsOwnStaleTemporaries) {
    LedgerModel ledger;
    test::AddDays(ledger, {{"1.0"}});
    struct Case {
        const char* what;
        QStringList targets;
        std::function<bool(const QString& folder)> write;
    };
    const Case cases[] = {
        {"bytes",
         {"out.bin"},
         [](const QString& folder) { return WriteFileAtomically(folder + "/out.bin", "x"); }},
        {"document",
         {"doc.ini"},
         [](const QString& folder) {
             IniDocument doc;
             doc.SetValue("A", "k", "v");
             return doc.Save(folder + "/doc.ini");
         }},
        {"plan",
         {"000001.ini"},
         [&ledger](const QString& folder) {
             return SavePlanFileAt(ledger, PlanSettings(), Mode::Theory, folder + "/000001.ini",
                                   "000001")
                 .Saved();
         }},
        {"export",
         {U("导出 结果.csv")},
         [&ledger](const QString& folder) {
             return ExportCsv(folder + U("/导出 结果.csv"), ledger);
         }},
        {"fund directory",
         {"FundCode.ini", "Cache.ini"},
         [](const QString& folder) {
             return WriteFundDirectory(folder, {{"000001", U("华夏成长")}});
         }},
        {"query history",
         {"History.ini"},
         [](const QString& folder) { return SaveQueryHistory(folder, {"000001"}, true); }},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QDir folder(dir.path());
        QStringList stale, kept;
        for (const QString& target : c.targets) {
            stale << target + ".Ab12Cd" << target + ".zzzzzz";
            kept << target + ".Ab12Cde" << target + ".Ab-2Cd"
                 << "x" + target + ".Ab12Cd";
        }
        for (const QString& name : stale + kept) WriteFile(folder.filePath(name), "partial");
        // A folder and a link with a temporary's name are no temporaries.
        for (const QString& target : c.targets) {
            ASSERT_TRUE(folder.mkdir(target + ".Dir123"));
            ASSERT_TRUE(QFile::link(folder.filePath("x" + target + ".Ab12Cd"),
                                    folder.filePath(target + ".Lnk123")));
            kept << target + ".Dir123" << target + ".Lnk123";
        }

        // A failed write removes nothing.
        {
            FailingCalls guard;
            FileSystem().rename = [](const char*, const char*) { return Fail(EIO); };
            EXPECT_FALSE(c.write(dir.path())) << c.what;
        }
        for (const QString& name : stale)
            EXPECT_TRUE(QFile::exists(folder.filePath(name))) << name.toStdString();

        ASSERT_TRUE(c.write(dir.path())) << c.what;
        for (const QString& name : stale)
            EXPECT_FALSE(QFile::exists(folder.filePath(name))) << name.toStdString();
        for (const QString& name : kept)
            EXPECT_TRUE(QFileInfo::exists(folder.filePath(name))) << name.toStdString();
    }
}

}  // namespace
}  // namespace tovira
