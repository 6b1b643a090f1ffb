// Two writers, one plan file, from the command line: a plan saved by another
// program while an append or import downloads is never overwritten (status
// 5, the file as the other program left it), and a retry then adds the days.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <utility>

#include "cli/cli.h"
#include "core/marketdata/nav_api_pages.h"
#include "core/marketdata/nav_pages.h"
#include "core/session/plan_session.h"
#include "core/storage/file_io.h"
#include "core/storage/ini_document.h"
#include "core/storage/plan_file.h"
#include "support/local_http_server.h"

namespace tovira {
namespace {

class PlanConflictCliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        IniDocument config;
        config.SetValue(QStringLiteral("服务器"), QStringLiteral("NavHistory"),
                        QStringLiteral("127.0.0.1:%1").arg(server.Port()));
        config.SetValue(QStringLiteral("服务器"), QStringLiteral("NavHistorySource"),
                        QStringLiteral("table"));
        ASSERT_TRUE(config.Save(dir.filePath(QStringLiteral("Config.ini"))));
        plan = dir.filePath(QStringLiteral("161725.ini"));
        ASSERT_TRUE(QFile::copy(test::DataPath("golden/161725-fact.ini"), plan));
        QFile::setPermissions(plan, QFile::ReadOwner | QFile::WriteOwner);
    }
    int Cli(const QStringList& args, QString* err = nullptr) {
        QString out, errors;
        QTextStream o(&out), e(&errors);
        const int status = RunCli(args, o, e, [this] { return dir.path(); });
        e.flush();
        if (err) *err = errors;
        return status;
    }
    // The days after the plan's last one (2018/8/29), served as the table;
    // `meanwhile` runs when the request comes, before the answer goes out.
    void ServeLaterDays(std::function<void()> meanwhile) {
        const QByteArray page =
            test::RenderPage(
                test::Between(test::ReadRows("nav/nav_161725_2015-05-27_to_2018-08-29.csv"),
                              "2018-08-27", "2018-08-29"),
                3, 1)
                .replace("2018-08-27", "2018-08-30")
                .replace("2018-08-28", "2018-08-31")
                .replace("2018-08-29", "2018-09-03")
                .toUtf8();
        server.Handle(QStringLiteral("/f10/"),
                      [page, meanwhile](const QString&, const QByteArray&) {
                          if (meanwhile) meanwhile();
                          test::LocalHttpServer::Reply reply;
                          reply.body = page;
                          reply.contentType = "text/html; charset=utf-8";
                          return reply;
                      });
    }
    // What the window's save does to the plan meanwhile.
    void WindowSaves(const char* amount) {
        IniDocument doc;
        ASSERT_TRUE(doc.Load(plan));
        doc.SetValue(QStringLiteral("第2行"), QStringLiteral("PurchaseAmount"),
                     QString::fromLatin1(amount));
        ASSERT_TRUE(doc.Save(plan));
    }
    QString Stored(const char* section, const char* key) {
        IniDocument doc;
        EXPECT_TRUE(doc.Load(plan));
        return doc.Value(QString::fromUtf8(section), QString::fromUtf8(key));
    }

    QTemporaryDir dir;
    test::LocalHttpServer server;
    QString plan;
};

TEST_F(PlanConflictCliTest, AnAppendOrImportNeverOverwritesWhatCameMeanwhile) {
    const QStringList commands[] = {
        {QStringLiteral("append"), QStringLiteral("PLAN")},
        {QStringLiteral("import"), QStringLiteral("161725"), QStringLiteral("--from"),
         QStringLiteral("2018-08-30"), QStringLiteral("--to"), QStringLiteral("2018-09-03"),
         QStringLiteral("--replace"), QStringLiteral("--discard-typed"), QStringLiteral("--plan"),
         QStringLiteral("PLAN")},
    };
    for (QStringList args : commands) {
        SCOPED_TRACE(args.first().toStdString());
        args.replaceInStrings(QStringLiteral("PLAN"), plan);
        QByteArray theirs;
        ServeLaterDays([&] {
            WindowSaves("777");
            theirs = test::ReadFileBytes(plan);
        });
        QString err;
        EXPECT_EQ(Cli(args, &err), 5);
        EXPECT_EQ(err, QString::fromUtf8(kMsgPlanChangedOnDisk) + u'\n');
        EXPECT_EQ(test::ReadFileBytes(plan), theirs);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                  QStringList({"161725.ini", "Config.ini"}));
    }
    // Nothing changes meanwhile now: the retry adds the days and keeps 777.
    ServeLaterDays({});
    EXPECT_EQ(Cli({QStringLiteral("append"), plan}), 0);
    EXPECT_EQ(Stored("特殊数据", "行数"), "801");
    EXPECT_EQ(Stored("第2行", "PurchaseAmount"), "777");
    EXPECT_EQ(Stored("第801行", "Date"), "2018/9/3");
    // Two appends one after the other: every day once.
    EXPECT_EQ(Cli({QStringLiteral("append"), plan}), 0);
    EXPECT_EQ(Stored("特殊数据", "行数"), "801");
}

// import --replace keeps every typed amount on its day; one whose day the
// new rows lack is not dropped without --discard-typed.
TEST_F(PlanConflictCliTest, ImportReplaceKeepsTypedAmountsOnTheirDays) {
    IniDocument config;
    ASSERT_TRUE(config.Load(dir.filePath(QStringLiteral("Config.ini"))));
    config.SetValue(QStringLiteral("服务器"), QStringLiteral("NavHistoryApi"),
                    QStringLiteral("127.0.0.1:%1").arg(server.Port()));
    config.SetValue(QStringLiteral("服务器"), QStringLiteral("NavHistorySource"),
                    QStringLiteral("api"));
    ASSERT_TRUE(config.Save(dir.filePath(QStringLiteral("Config.ini"))));
    test::ServeApi(server,
                   {{"006675", test::ReadApiRows("nav-2026/raw_lsjzjson_006675_2024.csv")}});
    plan = dir.filePath(QStringLiteral("006675.ini"));
    ASSERT_TRUE(QFile::copy(test::DataPath("golden/006675-fact.ini"), plan));
    QFile::setPermissions(plan, QFile::ReadOwner | QFile::WriteOwner);
    const QByteArray golden = test::ReadFileBytes(plan);
    const auto import = [&](const char* from, QStringList more, QString* err) {
        return Cli(QStringList{QStringLiteral("import"), QStringLiteral("006675"),
                               QStringLiteral("--from"), QString::fromLatin1(from),
                               QStringLiteral("--to"), QStringLiteral("2024-12-31"),
                               QStringLiteral("--replace"), QStringLiteral("--plan"), plan}
                       << more,
                   err);
    };

    // The same days again: the plan comes back byte for byte, every amount
    // typed in 实际操作 included (it used to lose all of them).
    QString err;
    EXPECT_EQ(import("2024-01-01", {}, &err), 0) << err.toStdString();
    EXPECT_EQ(test::ReadFileBytes(plan), golden);

    // From 2024/1/20: the amounts of 1/4 and 1/11 have no day to go to.
    EXPECT_EQ(import("2024-01-20", {}, &err), 1);
    EXPECT_EQ(err, QString::fromUtf8(kMsgTypedDaysLost).arg(2).arg("2024/1/4") + u'\n');
    EXPECT_EQ(test::ReadFileBytes(plan), golden);

    // Asked for: those two go, the others stay on their days.
    EXPECT_EQ(import("2024-01-20", {QStringLiteral("--discard-typed")}, &err), 0);
    EXPECT_EQ(Stored("特殊数据", "行数"), "228");
    EXPECT_EQ(Stored("第1行", "Date"), "2024/1/22");
    EXPECT_EQ(Stored("第1行", "PurchaseAmount"), "");
    EXPECT_EQ(Stored("第4行", "Date"), "2024/1/25");
    EXPECT_EQ(Stored("第4行", "RedeemShares"), "441.23");
    EXPECT_EQ(Stored("第6行", "PurchaseAmount"), "500");    // 2024/1/29
    EXPECT_EQ(Stored("第30行", "PurchaseAmount"), "3000");  // 2024/3/11
}

TEST(PlanFileStamp, ASaveChecksTheFileRightBeforeReplacingIt) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("006675.ini"));
    ASSERT_TRUE(QFile::copy(test::DataPath("golden/006675-default.ini"), path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    LedgerModel ledger;
    PlanSettings settings;
    ASSERT_EQ(OpenPlanFile(path, ledger, settings, {}).result, OpenResult::Opened);
    ledger.SetCell(3, Column::DividendAction, QStringLiteral("备注"));
    const auto save = [&](const FileStamp& read) {
        return SavePlanFileAt(ledger, settings, Mode::Theory, path, QStringLiteral("006675"), &read)
            .result;
    };
    const auto other = [&](const QByteArray& bytes) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    };

    // Changed while the new file was written (after the save read the old
    // one): refused, the other program's bytes stay, no temporary is left.
    const FileStamp read = StampOf(path);
    const FileSystemCalls calls = FileSystem();
    bool changed = false;
    FileSystem().sync = [&](int fd) {
        if (!std::exchange(changed, true)) other("[设置]\r\n");
        return calls.sync(fd);
    };
    EXPECT_EQ(save(read), SaveResult::ChangedOnDisk);
    FileSystem() = calls;
    EXPECT_EQ(test::ReadFileBytes(path), "[设置]\r\n");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"006675.ini"});

    // Removed, or created where none was: changed as well.
    const FileStamp present = StampOf(path);
    QFile::remove(path);
    EXPECT_EQ(save(present), SaveResult::ChangedOnDisk);
    EXPECT_FALSE(QFile::exists(path));
    const FileStamp absent = StampOf(path);
    other("x");
    EXPECT_EQ(save(absent), SaveResult::ChangedOnDisk);
    EXPECT_EQ(test::ReadFileBytes(path), "x");

    // Unchanged: saved; and a save without a stamp writes as before.
    QFile::remove(path);
    EXPECT_EQ(save(StampOf(path)), SaveResult::Saved);
    EXPECT_EQ(save(StampOf(path)), SaveResult::Saved);
    other("y");
    EXPECT_EQ(SavePlanFileAt(ledger, settings, Mode::Theory, path, QStringLiteral("006675")).result,
              SaveResult::Saved);
}

// The session's own writes are never taken for another program's: after a
// save, confirmed by the disk or not, the next save asks nothing; a write by
// someone else in between is caught.
TEST(PlanSessionStamp, OwnSavesConfirmedOrNotAreNoConflict) {
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath(QStringLiteral("我的基金")));
    const QString path = PlanFilePath(dir.path(), QStringLiteral("006675"));
    ASSERT_TRUE(QFile::copy(test::DataPath("golden/006675-default.ini"), path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    PlanSession session(dir.path());
    session.SetLedgerCode(QStringLiteral("006675"));
    session.PointAtFund(QStringLiteral("006675"));
    ASSERT_EQ(session.Open(Mode::Theory).result, OpenResult::Opened);
    const QString code = QStringLiteral("006675");

    const FileSystemCalls calls = FileSystem();
    int syncs = 0;
    FileSystem().sync = [&](int fd) {
        if (++syncs == 2) return -1;  // the folder's, after the rename
        return calls.sync(fd);
    };
    EXPECT_EQ(session.Save(code).result, SaveResult::SavedUnconfirmed);
    FileSystem() = calls;
    EXPECT_EQ(session.Save(code).result, SaveResult::Saved);
    EXPECT_EQ(session.SaveToLedgerCode().result, SaveResult::Saved);

    IniDocument other;
    ASSERT_TRUE(other.Load(path));
    other.SetValue(QStringLiteral("第1行"), QStringLiteral("RedConversion"), QStringLiteral("x"));
    ASSERT_TRUE(other.Save(path));
    EXPECT_EQ(session.SaveToLedgerCode().result, SaveResult::ChangedOnDisk);
    EXPECT_EQ(session.Save(code).result, SaveResult::ChangedOnDisk);
    EXPECT_EQ(session.Save(code, true).result, SaveResult::Saved);
}

}  // namespace
}  // namespace tovira
