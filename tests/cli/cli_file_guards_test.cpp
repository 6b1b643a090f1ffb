// What tovira-cli may write over: a plan is written only into a plan file or a
// new one, an output never replaces the plan it is made from, and outputs are
// replaced whole or not at all.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cerrno>
#include <functional>

#include "cli/cli.h"
#include "core/common/gbk_codec.h"
#include "core/marketdata/config.h"
#include "core/marketdata/nav_pages.h"
#include "core/storage/file_io.h"
#include "core/storage/ini_document.h"
#include "support/local_http_server.h"
#include "support/test_support.h"

using namespace tovira;

namespace {

struct CliResult {
    int status;
    QString out;
    QString err;
};

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

void WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// Makes the atomic writer's system calls fail for the guard's lifetime.
class FileSystemGuard {
  public:
    FileSystemGuard() : saved_(FileSystem()) {}
    ~FileSystemGuard() { FileSystem() = saved_; }
    FileSystemGuard(const FileSystemGuard&) = delete;
    FileSystemGuard& operator=(const FileSystemGuard&) = delete;

  private:
    FileSystemCalls saved_;
};

// A program folder whose Config.ini sends the NAV history to the local server.
class CliFileGuardsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        IniDocument config;
        config.SetValue(U("服务器"), Config::KeyOf(Endpoint::NavHistory),
                        QStringLiteral("127.0.0.1:%1").arg(server.Port()));
        config.SetValue(U("服务器"), QStringLiteral("NavHistorySource"), QStringLiteral("table"));
        ASSERT_TRUE(config.Save(Path("Config.ini")));
        server.Answer(
            "/f10/",
            test::RenderPage(
                test::Between(test::ReadRows("nav/nav_161725_2015-05-27_to_2018-08-29.csv"),
                              "2017-03-01", "2017-03-31"),
                23, 1)
                .toUtf8());
    }

    QString Path(const char* name) const { return dir.filePath(U(name)); }

    CliResult Cli(const QStringList& args) {
        QString out, err;
        QTextStream o(&out), e(&err);
        const int status = RunCli(args, o, e, [this] { return dir.path(); });
        o.flush();
        e.flush();
        return {status, out, err};
    }

    CliResult Import(const QString& plan) {
        return Cli({QStringLiteral("import"), QStringLiteral("161725"), QStringLiteral("--from"),
                    QStringLiteral("2017-03-01"), QStringLiteral("--to"),
                    QStringLiteral("2017-03-31"), QStringLiteral("--plan"), plan});
    }

    // A plan of 798 rows in the folder.
    QString CopyPlan(const char* name) {
        const QString path = Path(name);
        EXPECT_TRUE(QFile::copy(test::DataPath("golden/000011-default.ini"), path));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        return path;
    }

    QStringList SweepArgs(const QString& plan, const QString& out) const {
        return {QStringLiteral("sweep"),  plan,
                QStringLiteral("--vary"), QStringLiteral("StartBuyPct=-1:-0.5:0.5"),
                QStringLiteral("--vary"), QStringLiteral("Multiple=1.5:2:0.5"),
                QStringLiteral("-o"),     out};
    }

    QStringList Entries() const {
        return QDir(dir.path())
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System | QDir::Hidden,
                       QDir::Name);
    }

    QTemporaryDir dir;
    test::LocalHttpServer server;
};

}  // namespace

// --- import without --replace: what the target already holds ---------------

TEST_F(CliFileGuardsTest, ImportWritesOnlyIntoAPlanOrANewFile) {
    // What a fresh import writes, to compare the empty file's import with.
    const CliResult fresh = Import(Path("fresh.ini"));
    ASSERT_EQ(fresh.status, 0) << fresh.err.toStdString();
    const QByteArray freshPlan = test::ReadFileBytes(Path("fresh.ini"));
    ASSERT_TRUE(DecodeGbk(freshPlan).contains(U("[特殊数据]\r\n行数=23\r\n")));

    static const char kRandom[] = "\x00\xff\x13\x9a[=]\n\x01garbage=\x80\x81\n";
    struct Case {
        const char* what;
        QByteArray bytes;
        bool isPlan;
    };
    const Case cases[] = {
        {"desktop file", "[Desktop Entry]\nType=Application\nName=Tovira\n", false},
        {"random bytes", QByteArray(kRandom, sizeof kRandom - 1), false},
        {"other settings", *EncodeGbk(U("[服务器]\r\nNavHistory=127.0.0.1:1\r\n")), false},
        {"a section like a row", *EncodeGbk(U("[第一行]\r\nDate=2017/3/1\r\n[第行]\r\n")), false},
        {"blank lines", "\r\n\r\n", false},
        {"settings only", *EncodeGbk(U("[设置]\r\n倍数=3\r\nNote=kept\r\n")), true},
        {"special data only", *EncodeGbk(U("[特殊数据]\r\n行数=0\r\nNote=kept\r\n")), true},
        {"a row section only", *EncodeGbk(U("[第12行]\r\nNote=kept\r\n")), true},
    };
    for (const Case& c : cases) {
        const QString plan = Path("target.ini");
        WriteBytes(plan, c.bytes);
        const int requests = server.Requests();
        const CliResult r = Import(plan);
        if (c.isPlan) {
            EXPECT_EQ(r.status, 0) << c.what << ": " << r.err.toStdString();
            const QString text = DecodeGbk(test::ReadFileBytes(plan));
            EXPECT_TRUE(text.contains(U("[特殊数据]\r\n行数=23\r\n"))) << c.what;
            EXPECT_TRUE(text.contains(U("Note=kept\r\n"))) << c.what;
        } else {
            EXPECT_EQ(r.status, 1) << c.what;
            EXPECT_EQ(r.err, U("不是方案文件：%1，未导入！\n").arg(plan)) << c.what;
            EXPECT_EQ(test::ReadFileBytes(plan), c.bytes) << c.what;
            // Refused before anything is downloaded.
            EXPECT_EQ(server.Requests(), requests) << c.what;
        }
    }

    // An empty file is taken as a new one: the default preset, as a new plan.
    const QString empty = Path("empty.ini");
    WriteBytes(empty, QByteArray());
    const CliResult r = Import(empty);
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(test::ReadFileBytes(empty), freshPlan);

    // Through a link, the file it names is what counts.
    const QString desktop = Path("app.desktop");
    WriteBytes(desktop, "[Desktop Entry]\nName=x\n");
    ASSERT_TRUE(QFile::link(desktop, Path("link.ini")));
    EXPECT_EQ(Import(Path("link.ini")).status, 1);
    EXPECT_EQ(test::ReadFileBytes(desktop), QByteArray("[Desktop Entry]\nName=x\n"));

    // A folder is not read as a file at all: refused as before, by name.
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder.ini")));
    const CliResult folder = Import(Path("folder.ini"));
    EXPECT_EQ(folder.status, 1);
    EXPECT_EQ(folder.err, U("找不到方案文件：%1\n").arg(Path("folder.ini")));
}

// --- outputs that are the plan read ----------------------------------------

TEST_F(CliFileGuardsTest, AnOutputIsNeverThePlanItIsMadeFrom) {
    const QString plan = CopyPlan("000011.ini");
    const QByteArray before = test::ReadFileBytes(plan);
    ASSERT_TRUE(QFile::link(plan, Path("link.ini")));
    ASSERT_EQ(::link(QFile::encodeName(plan).constData(),
                     QFile::encodeName(Path("hard.ini")).constData()),
              0);
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    const QString other = CopyPlan("000012.ini");
    const QByteArray otherBefore = test::ReadFileBytes(other);

    // The same file by its own name, another spelling, a symbolic link and a
    // hard link; and another plan, which no CSV may replace either.
    const QString outputs[] = {plan, dir.path() + QStringLiteral("/sub/../000011.ini"),
                               Path("link.ini"), Path("hard.ini"), other};
    for (const QString& out : outputs) {
        const CliResult exported = Cli({QStringLiteral("export"), plan, out});
        const CliResult swept = Cli(SweepArgs(plan, out));
        for (const CliResult& r : {exported, swept}) {
            EXPECT_EQ(r.status, 1) << out.toStdString();
            EXPECT_EQ(r.err, U("输出文件是方案文件：%1，未写入！\n").arg(out)) << out.toStdString();
            EXPECT_TRUE(r.out.isEmpty()) << out.toStdString();
        }
        EXPECT_EQ(test::ReadFileBytes(plan), before) << out.toStdString();
    }
    EXPECT_EQ(test::ReadFileBytes(other), otherBefore);

    // Any other file is replaced: a CSV of an earlier run, and one that is
    // not there yet.
    for (const char* name : {"old.csv", "new.csv"}) {
        if (QByteArrayView(name) == "old.csv") WriteBytes(Path(name), "old");
        const CliResult exported = Cli({QStringLiteral("export"), plan, Path(name)});
        EXPECT_EQ(exported.status, 0) << exported.err.toStdString();
        EXPECT_TRUE(test::ReadFileBytes(Path(name)).endsWith("\r\n\r\n")) << name;
        const CliResult swept = Cli(SweepArgs(plan, Path(name)));
        EXPECT_EQ(swept.status, 0) << swept.err.toStdString();
        EXPECT_TRUE(test::ReadFileBytes(Path(name)).startsWith("StartBuyPct,Multiple,")) << name;
    }
}

// --- outputs written whole or not at all -----------------------------------

TEST_F(CliFileGuardsTest, AFailedSweepOutputLeavesTheOldFile) {
    const QString plan = CopyPlan("000011.ini");
    const QString out = Path("结果.csv");
    WriteBytes(out, "old,result\n");
    const QStringList before = Entries();
    struct Case {
        const char* step;
        std::function<void(FileSystemCalls&)> fail;
    };
    const Case cases[] = {
        {"full disk",
         [](FileSystemCalls& fs) {
             fs.write = [real = fs.write](int fd, const char* data, unsigned long size) -> long {
                 if (size > 40) return real(fd, data, 40);  // cut mid-line, then full
                 errno = ENOSPC;
                 return -1;
             };
         }},
        {"rename",
         [](FileSystemCalls& fs) {
             fs.rename = [](const char*, const char*) {
                 errno = EIO;
                 return -1;
             };
         }},
    };
    for (const Case& c : cases) {
        CliResult r;
        {
            FileSystemGuard guard;
            c.fail(FileSystem());
            r = Cli(SweepArgs(plan, out));
        }
        EXPECT_EQ(r.status, 1) << c.step;
        EXPECT_EQ(r.err, U("无法写入文件：%1\n").arg(out)) << c.step;
        EXPECT_EQ(test::ReadFileBytes(out), QByteArray("old,result\n")) << c.step;
        EXPECT_EQ(Entries(), before) << c.step;
    }
}

TEST_F(CliFileGuardsTest, OutputsRemoveTheirOwnStaleTemporaries) {
    const QString plan = CopyPlan("000011.ini");
    // What interrupted runs leave beside the output, and look-alikes that are
    // someone else's.
    const QStringList stale = {U("导出 结果.csv.Ab12Cd"), U("导出 结果.csv.zzzzzz")};
    const QStringList kept = {U("导出 结果.csv.Ab12Cde"), U("导出 结果.csv.Ab-2Cd"),
                              U("导出 结果.csv.bak"), U("其他.csv.Ab12Cd"),
                              U("x导出 结果.csv.Ab12Cd")};
    const QString out = Path("导出 结果.csv");
    for (const QStringList& args :
         {QStringList{QStringLiteral("export"), plan, out}, SweepArgs(plan, out)}) {
        for (const QString& name : stale + kept) WriteBytes(dir.filePath(name), "partial");
        ASSERT_TRUE(QDir(dir.path()).mkpath(U("导出 结果.csv.Dir123")));
        QFile::link(dir.filePath(U("其他.csv.Ab12Cd")), dir.filePath(U("导出 结果.csv.Lnk123")));
        const CliResult r = Cli(args);
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        for (const QString& name : stale)
            EXPECT_FALSE(QFile::exists(dir.filePath(name))) << name.toStdString();
        for (const QString& name : kept + QStringList{U("导出 结果.csv.Dir123")}) {
            EXPECT_TRUE(QFile::exists(dir.filePath(name))) << name.toStdString();
        }
        EXPECT_TRUE(QFileInfo(dir.filePath(U("导出 结果.csv.Lnk123"))).isSymLink());
    }
}

// --- a plan saved that the disk did not confirm ------------------------------

TEST_F(CliFileGuardsTest, AnUnconfirmedSaveIsToldAsSaved) {
    const QString plan = Path("161725.ini");
    CliResult r;
    {
        FileSystemGuard guard;
        test::FailFolderSyncAfterWriting(plan);
        r = Import(plan);
    }
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, U("已保存，但磁盘没有确认写入完成，请检查磁盘后再保存一次！\n"));
    // The plan holds the new rows all the same.
    EXPECT_TRUE(DecodeGbk(test::ReadFileBytes(plan)).contains(U("[特殊数据]\r\n行数=23\r\n")));
}
