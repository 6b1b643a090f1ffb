#include <gtest/gtest.h>

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>

#include "cli/cli.h"
#include "core/common/beijing_time.h"
#include "core/common/gbk_codec.h"
#include "core/marketdata/config.h"
#include "core/marketdata/nav_api_pages.h"
#include "core/marketdata/nav_pages.h"
#include "core/storage/file_io.h"
#include "core/storage/ini_document.h"
#include "core/storage/plan_file.h"
#include "support/estimate_routes.h"
#include "support/local_http_server.h"
#include "support/test_support.h"

using namespace tovira;
using test::NavRow;

namespace {

struct CliResult {
    int status;
    QString out;
    QString err;
};

QStringList Args(std::initializer_list<const char*> words) {
    QStringList list;
    for (const char* w : words) list << QString::fromUtf8(w);
    return list;
}

QString Text(const char* message) { return QString::fromUtf8(message); }
QString Line(const char* message) { return Text(message) + u'\n'; }

// Days after the last row (2018/8/29) of the golden 161725 plans.
const QList<NavRow> kLaterDays = {
    {"2018-08-30", "1.0701", "1.0701", "0.05%", "开放申购", "开放赎回", ""},
    {"2018-08-31", "1.0650", "1.0650", "-0.48%", "开放申购", "开放赎回", ""},
    {"2018-09-03", "1.0500", "1.0500", "-1.41%", "暂停申购", "开放赎回", ""},
};

QString March2017Page() {
    return test::RenderPage(
        test::Between(test::ReadRows("nav/nav_161725_2015-05-27_to_2018-08-29.csv"), "2017-03-01",
                      "2017-03-31"),
        23, 1);
}

// A program folder whose Config.ini sends every request to the local server.
class MarketDataCliTest : public ::testing::Test {
  protected:
    void SetUp() override { WriteConfig(1, 300); }

    void WriteConfig(int timeoutSeconds, int importSeconds) {
        IniDocument doc;
        for (Endpoint e :
             {Endpoint::NavHistory, Endpoint::FundDirectory, Endpoint::EstimateTiantian,
              Endpoint::EstimateHowbuy, Endpoint::Estimate10jqka, Endpoint::EstimateBatch,
              Endpoint::EstimateSina, Endpoint::EstimateJqkaChart, Endpoint::Holdings,
              Endpoint::HoldingsPage, Endpoint::Quotes, Endpoint::QuotesTencent,
              Endpoint::FundDataScript}) {
            doc.SetValue(QStringLiteral("服务器"), Config::KeyOf(e),
                         QStringLiteral("127.0.0.1:%1").arg(server.Port()));
        }
        // The NAV history from the table the pages below are rendered in.
        doc.SetValue(QStringLiteral("服务器"), QStringLiteral("NavHistorySource"),
                     QStringLiteral("table"));
        doc.SetValue(QStringLiteral("网络"), QStringLiteral("TimeoutSeconds"),
                     QString::number(timeoutSeconds));
        doc.SetValue(QStringLiteral("网络"), QStringLiteral("ImportTimeoutSeconds"),
                     QString::number(importSeconds));
        ASSERT_TRUE(doc.Save(dir.filePath(QStringLiteral("Config.ini"))));
    }

    CliResult Cli(const QStringList& args) {
        QString out, err;
        QTextStream o(&out), e(&err);
        const int status = RunCli(args, o, e, [this] {
            ++folderAsked;
            return dir.path();
        });
        o.flush();
        e.flush();
        return {status, out, err};
    }

    QString CopyPlan(const char* relative) {
        const QString path = dir.filePath(QStringLiteral("plan.ini"));
        QFile::remove(path);
        EXPECT_TRUE(QFile::copy(test::DataPath(relative), path));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        return path;
    }

    QStringList Files() const { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden); }

    QTemporaryDir dir;
    test::LocalHttpServer server;
    int folderAsked = 0;
};

TEST_F(MarketDataCliTest, ImportReplacesRowsOnlyWhenAskedAndKeepsTheSettings) {
    const QString plan = CopyPlan("golden/161725-fact.ini");
    const QByteArray before = test::ReadFileBytes(plan);
    server.Answer("/f10/", March2017Page().toUtf8());
    const QStringList args =
        Args({"import", "161725", "--from", "2017-03-01", "--to", "2017-03-31", "--plan"}) << plan;

    const CliResult refused = Cli(args);
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, Line(kMsgPlanHasRows));
    EXPECT_EQ(test::ReadFileBytes(plan), before);
    EXPECT_EQ(server.Requests(), 0);

    // The plan's typed amounts lie on days March 2017 does not hold: kept
    // unless they may go.
    const CliResult kept = Cli(QStringList(args) << QStringLiteral("--replace"));
    EXPECT_EQ(kept.status, 1);
    EXPECT_TRUE(kept.err.startsWith(QStringLiteral("计划中有"))) << kept.err.toStdString();
    EXPECT_EQ(test::ReadFileBytes(plan), before);

    const CliResult replaced =
        Cli(QStringList(args) << QStringLiteral("--replace") << QStringLiteral("--discard-typed"));
    ASSERT_EQ(replaced.status, 0) << replaced.err.toStdString();
    EXPECT_EQ(replaced.out,
              QStringLiteral("已导入 23 行（2017/3/1 至 2017/3/31）：%1\n").arg(plan));
    // The settings lines stay byte for byte; the old first day's typed
    // purchase (2000) does not stay with the new first day.
    const QString oldText = DecodeGbk(before), newText = DecodeGbk(test::ReadFileBytes(plan));
    const QString settings = oldText.left(oldText.indexOf(QStringLiteral("[特殊数据]")));
    EXPECT_TRUE(newText.startsWith(settings + QStringLiteral("[特殊数据]\r\n行数=23\r\n")));
    EXPECT_TRUE(
        newText.contains(QStringLiteral("[第1行]\r\nDate=2017/3/1\r\nNetValue=1.0940\r\n"
                                        "PurchaseAmount=\r\nRedeemShares=\r\n")));
}

// A day of the plan file as the save writes it; typed amounts in 实际操作.
QString RowText(int row, const NavRow& day, bool fact) {
    return QStringLiteral(
               "[第%1行]\r\nDate=%2\r\nNetValue=%3\r\n%4PurchaseEnabled=%5\r\n"
               "RedeemEnabled=%6\r\nRedConversion=\r\n")
        .arg(QString::number(row),
             QDate::fromString(day.date, Qt::ISODate).toString(QStringLiteral("yyyy/M/d")), day.nav,
             fact ? QStringLiteral("PurchaseAmount=\r\nRedeemShares=\r\n") : QString(),
             day.purchase, day.redeem);
}

TEST_F(MarketDataCliTest, AppendKeepsEveryByteOfThePlan) {
    // The provider also lists the last day already held: it is not added twice.
    QList<NavRow> served{{"2018-08-29", "1.0696", "1.0696", "0.10%", "开放申购", "开放赎回", ""}};
    served << kLaterDays;
    server.Answer("/f10/", test::RenderPage(served, 4, 1).toUtf8());
    // Typed amounts (实际操作) in every row, and a plan saved in 理论计算.
    for (const auto& [relative, fact] : {std::pair{"golden/161725-fact.ini", true},
                                         std::pair{"golden/161725-default.ini", false}}) {
        const QString plan = CopyPlan(relative);
        QString expected = DecodeGbk(test::ReadFileBytes(plan));
        const CliResult r = Cli({QStringLiteral("append"), plan});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_EQ(r.out, QStringLiteral("已追加 3 行（2018/8/30 至 2018/9/3）\n"));
        EXPECT_TRUE(server.RequestedTargets().last().contains("&sdate=2018/8/30&edate="));
        expected.replace(QStringLiteral("行数=798\r\n"), QStringLiteral("行数=801\r\n"));
        for (int k = 0; k < 3; ++k) expected += RowText(799 + k, kLaterDays[k], fact);
        EXPECT_EQ(DecodeGbk(test::ReadFileBytes(plan)), expected) << relative;
    }

    // No new day yet: nothing written, status 0.
    server.Answer("/f10/",
                  "var apidata={ content:\"<table><thead><tr><th>净值日期</th></tr></thead><tbody>"
                  "<tr><td colspan='7'>暂无数据!</td></tr></tbody></table>\",records:0,pages:0};");
    const QString plan = dir.filePath(QStringLiteral("plan.ini"));
    const QByteArray full = test::ReadFileBytes(plan);
    const CliResult none = Cli({QStringLiteral("append"), plan});
    EXPECT_EQ(none.status, 0) << none.err.toStdString();
    EXPECT_EQ(none.out, QStringLiteral("已追加 0 行\n"));
    EXPECT_EQ(test::ReadFileBytes(plan), full);
}

TEST_F(MarketDataCliTest, FailuresLeaveThePlanAsItWas) {
    const QString plan = CopyPlan("golden/161725-fact.ini");
    const QByteArray before = test::ReadFileBytes(plan);
    const QByteArray page = test::RenderPage(kLaterDays, 3, 1).toUtf8();
    const FileSystemCalls calls = FileSystem();
    // The message, and the status: 3 a failure worth retrying, 1 the save.
    const struct {
        std::function<void()> serve;
        QString message;
        int status;
    } cases[] = {
        {[&] { server.Answer("/f10/", "<html>Bad Gateway</html>", "text/html", 502); },
         Text(kMsgNavHttpStatus).arg(502), 3},
        {[&] { server.Cut("/f10/", page, int(page.size()) - 150); }, Text(kMsgNavMalformed), 3},
        {[&] { server.Hang("/f10/"); }, Text(kMsgNavTimedOut), 3},
        {[&] {
             server.Answer("/f10/", page);
             FileSystem().rename = [](const char*, const char*) { return -1; };
         },
         Text(kMsgSaveError), 1},
        {[&] {
             WriteConfig(5, 1);
             server.Hang("/f10/");
         },
         Text(kMsgNavOverTime), 3},
    };
    for (const auto& [serve, message, status] : cases) {
        serve();
        const CliResult append = Cli({QStringLiteral("append"), plan});
        const CliResult replace = Cli(Args({"import", "161725", "--from", "2018-08-30", "--to",
                                            "2018-09-03", "--replace", "--discard-typed", "--plan"})
                                      << plan);
        FileSystem() = calls;
        for (const CliResult& r : {append, replace}) {
            EXPECT_EQ(r.status, status) << message.toStdString();
            EXPECT_EQ(r.err, message + QLatin1Char('\n'));
        }
        EXPECT_EQ(test::ReadFileBytes(plan), before) << message.toStdString();
        EXPECT_EQ(Files(), QStringList({"Config.ini", "plan.ini"})) << message.toStdString();
    }

    // Without a start date (the code from the file's name).
    QFile empty(dir.filePath(QStringLiteral("161725.ini")));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.write(*EncodeGbk(QStringLiteral("[特殊数据]\r\n行数=0\r\n")));
    empty.close();
    EXPECT_EQ(Cli({QStringLiteral("append"), empty.fileName()}).err, Line(kMsgNoStartDate));
}

// A provider that cannot be reached is told apart from one that has no day
// in the range: its own message and status 3 (worth retrying), never the
// empty range's message and status 4.
TEST_F(MarketDataCliTest, ANetworkFailureIsNotAnEmptyRange) {
    const QString plan = CopyPlan("golden/161725-fact.ini");
    const QByteArray before = test::ReadFileBytes(plan);
    const QString fresh = dir.filePath(QStringLiteral("161725.ini"));
    const QByteArray noDays =
        "var apidata={ content:\"<table><thead><tr><th>净值日期</th></tr></thead><tbody>"
        "<tr><td colspan='7'>暂无数据!</td></tr></tbody></table>\",records:0,pages:0};";
    const quint16 closedPort = [] {
        QTcpServer s;
        s.listen(QHostAddress::LocalHost);
        return s.serverPort();
    }();
    const auto pointAt = [&](quint16 port) {
        IniDocument doc;
        ASSERT_TRUE(doc.Load(dir.filePath(QStringLiteral("Config.ini"))));
        doc.SetValue(QStringLiteral("服务器"), Config::KeyOf(Endpoint::NavHistory),
                     QStringLiteral("127.0.0.1:%1").arg(port));
        ASSERT_TRUE(doc.Save(dir.filePath(QStringLiteral("Config.ini"))));
    };
    const QStringList import =
        Args({"import", "161725", "--from", "2018-08-30", "--to", "2018-09-03", "--plan"}) << fresh;
    const QStringList append{QStringLiteral("append"), plan};

    pointAt(closedPort);
    for (const QStringList& args : {import, append}) {
        const CliResult r = Cli(args);
        EXPECT_EQ(r.status, 3) << args[0].toStdString();
        EXPECT_TRUE(r.err.startsWith(Text(kMsgNavNetwork).section(u'（', 0, 0)))
            << r.err.toStdString();
        EXPECT_NE(r.err, Line(kMsgNavFailed));
    }
    EXPECT_EQ(test::ReadFileBytes(plan), before);
    EXPECT_FALSE(QFile::exists(fresh));

    pointAt(server.Port());
    server.Answer("/f10/", noDays);
    const CliResult empty = Cli(import);
    EXPECT_EQ(std::make_pair(empty.status, empty.err), std::make_pair(4, Line(kMsgNavFailed)));
    EXPECT_FALSE(QFile::exists(fresh));
}

TEST_F(MarketDataCliTest, Directory) {
    const QString path = QStringLiteral("/js/fundcode_search.js");
    server.Answer(path, R"(var r = [["000001","HXCZHH","华夏成长混合","混合型","HUAXIA"]];)");
    const CliResult ok = Cli(Args({"directory"}));
    EXPECT_EQ(std::make_pair(ok.status, ok.out), std::make_pair(0, Line(kMsgDirectoryUpdated)));
    const QByteArray directory = test::ReadFileBytes(dir.filePath(QStringLiteral("FundCode.ini")));
    EXPECT_TRUE(DecodeGbk(directory).contains(QStringLiteral("000001=华夏成长混合")));

    server.Answer(path, "var r = [];");
    const CliResult failed = Cli(Args({"directory"}));
    EXPECT_EQ(std::make_pair(failed.status, failed.err),
              std::make_pair(3, Line(kMsgDirectoryFailed)));
    server.Hang(path);
    const CliResult late = Cli(Args({"directory"}));
    EXPECT_EQ(std::make_pair(late.status, late.err),
              std::make_pair(3, Line(kMsgDirectoryTimedOut)));
    EXPECT_EQ(test::ReadFileBytes(dir.filePath(QStringLiteral("FundCode.ini"))), directory);
}

// Today's estimate from a source or 自动's chain: the common text, the JSON
// keys, and the status of each way it can end.
TEST_F(MarketDataCliTest, EstimatesAndTheirStatuses) {
    const QDate today = BeijingToday();
    const QString day = today.toString(Qt::ISODate);
    const QString code = QStringLiteral("161725");
    struct Case {
        const char* provider;  // nullptr: the default, auto
        std::function<void(test::LocalHttpServer&)> change;
        int status;
        QString shown;  // the output's start, or the start of err
    };
    const Case cases[] = {
        {nullptr, [](test::LocalHttpServer&) {}, 0,
         QStringLiteral("天天基金 161725\n估值：0.548\n涨幅：-0.36%\n上一净值：0.5500\n时间：") +
             day + QStringLiteral(" 10:09\n")},
        {"auto",
         [&](test::LocalHttpServer& s) {
             s.Answer(test::kBatchRoute, test::BatchNullBody(code, today));
         },
         0, QStringLiteral("新浪基金 161725\n估值：1.446\n涨幅：0.07%\n上一净值：1.4450\n")},
        {"howbuy", [](test::LocalHttpServer&) {}, 0,
         QStringLiteral("好买基金 161725\n估值：1.0234\n涨幅：-0.52%\n时间：")},
        {"holdings", [](test::LocalHttpServer&) {}, 0,
         QStringLiteral("持仓估算 161725\n估值：0.55321\n涨幅：0.58%\n上一净值：0.5500\n")},
        {"sina",
         [&](test::LocalHttpServer& s) {
             s.Answer(test::kSinaRoute, test::SinaBody(code, today.addDays(-1)));
         },
         4, QStringLiteral("新浪基金：")},
        {"tiantian",
         [&](test::LocalHttpServer& s) {
             s.Answer(test::kBatchRoute, test::BatchNullBody(code, today));
         },
         4, QStringLiteral("天天基金：")},
        {"sina", [](test::LocalHttpServer& s) { s.Drop(test::kSinaRoute); }, 3,
         QStringLiteral("新浪基金：")},
        {"10jqka",
         [](test::LocalHttpServer& s) { s.Answer(test::kJqkaChartRoute, "vm_fd_161725='2026"); }, 3,
         QStringLiteral("爱基金：")},
    };
    for (const Case& c : cases) {
        test::ServeEstimates(server, code, today);
        c.change(server);
        QStringList args = Args({"estimate", "161725"});
        if (c.provider) args << QStringLiteral("--provider") << QString::fromUtf8(c.provider);
        const CliResult r = Cli(args);
        EXPECT_EQ(r.status, c.status) << args.join(u' ').toStdString();
        EXPECT_TRUE((c.status == 0 ? r.out : r.err).startsWith(c.shown))
            << r.out.toStdString() << r.err.toStdString();
    }

    test::ServeEstimates(server, code, today);
    const CliResult json = Cli(Args({"estimate", "161725", "--provider", "holdings", "--json"}));
    ASSERT_EQ(json.status, 0);
    const QJsonObject o = QJsonDocument::fromJson(json.out.toUtf8()).object();
    EXPECT_EQ(o.keys(),
              QStringList({"change_pct", "code", "estimate", "holdings_date", "previous_nav",
                           "quoted_weight_pct", "source", "stock_share_pct", "time"}));
    EXPECT_EQ(o.value(QStringLiteral("source")).toString(), QStringLiteral("holdings"));
    EXPECT_EQ(o.value(QStringLiteral("holdings_date")).toString(), QStringLiteral("2026-03-31"));
    EXPECT_NEAR(o.value(QStringLiteral("change_pct")).toDouble(), test::HoldingsChangePct(), 1e-6);
    const CliResult sina = Cli(Args({"estimate", "161725", "--provider", "sina", "--json"}));
    const QJsonObject s = QJsonDocument::fromJson(sina.out.toUtf8()).object();
    EXPECT_EQ(s.keys(),
              QStringList({"change_pct", "code", "estimate", "previous_nav", "source", "time"}));
    EXPECT_EQ(s.value(QStringLiteral("code")).toString(), code);
}

TEST_F(MarketDataCliTest, UsageErrorsExitTwoWithoutTouchingTheFolder) {
    for (const QStringList& words : {
             Args({"import"}),
             Args({"import", "161725", "--from", "2017-03-01"}),
             Args({"import", "16172", "--from", "2017-03-01", "--to", "2017-03-31"}),
             Args({"import", "161725", "--from", "2017/03/01", "--to", "2017-03-31"}),
             Args({"import", "161725", "--from", "2017-04-01", "--to", "2017-03-31"}),
             Args({"import", "161725", "--from", "2017-03-01", "--to", "2017-03-31", "--to", "x"}),
             Args({"append", "a.ini", "--replace"}),
             Args({"import", "161725", "--from", "2017-03-01", "--to", "2017-03-31", "--source",
                   "html"}),
             Args({"append", "a.ini", "--source", "trend"}),
             Args({"directory", "x"}),
             Args({"estimate", "161725", "--provider", "xueqiu"}),
             Args({"estimate", "161725", "--provider"}),
         }) {
        const CliResult r = Cli(words);
        EXPECT_EQ(r.status, 2) << words.join(' ').toStdString();
        EXPECT_FALSE(r.err.isEmpty());
    }
    EXPECT_EQ(folderAsked, 0);
    EXPECT_EQ(server.Requests(), 0);
    EXPECT_TRUE(Cli(Args({"--help"})).out.contains(QStringLiteral("tovira-cli append PLAN.ini")));
}

// The program itself, installed, imports into a new plan in the user's data
// folder, as the window would save it there.
TEST_F(MarketDataCliTest, TheProgramImportsIntoTheWindowsFolder) {
    QTemporaryDir root;
    const QDir r(root.path());
    ASSERT_TRUE(r.mkpath(QStringLiteral("app/bin")) &&
                r.mkpath(QStringLiteral("app/share/applications")));
    QFile(r.filePath(QStringLiteral("app/share/applications/tovira.desktop")))
        .open(QIODevice::WriteOnly);
    const QString exe = r.filePath(QStringLiteral("app/bin/tovira-cli"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(TOVIRA_CLI_PATH), exe));
    const QString folder = r.filePath(QStringLiteral("home/.local/share/Tovira"));
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(QFile::copy(dir.filePath(QStringLiteral("Config.ini")), folder + "/Config.ini"));
    server.Answer("/f10/", March2017Page().toUtf8());

    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), r.filePath(QStringLiteral("home")));
    env.remove(QStringLiteral("XDG_DATA_HOME"));
    process.setProcessEnvironment(env);
    QSignalSpy finished(&process, &QProcess::finished);
    process.start(exe, Args({"import", "161725", "--from", "2017-03-01", "--to", "2017-03-31"}));
    ASSERT_TRUE(finished.wait(30000));  // the server answers meanwhile
    const QString plan = PlanFilePath(folder, QStringLiteral("161725"));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    EXPECT_EQ(QString::fromUtf8(process.readAllStandardOutput()),
              QStringLiteral("已导入 23 行（2017/3/1 至 2017/3/31）：%1\n").arg(plan));

    // The default preset, rows 1..23, and no typed amounts (理论计算).
    LedgerModel ledger;
    PlanSettings settings, preset;
    preset.ApplyPreset(Preset::Default);
    ASSERT_EQ(OpenPlanFile(plan, ledger, settings, {}).result, OpenResult::Opened);
    ASSERT_EQ(ledger.LastRow(), 23);
    EXPECT_EQ(ledger.Cell(23, Column::Date), "2017/3/31");
    for (const FieldInfo& f : Fields()) EXPECT_EQ(settings.Text(f.field), preset.Text(f.field));
    EXPECT_FALSE(test::ReadFileBytes(plan).contains("PurchaseAmount"));
}

// --- NAV histories from the JSON endpoint and the trend script -------------

class ApiCliTest : public MarketDataCliTest {
  protected:
    void SetUp() override {
        MarketDataCliTest::SetUp();
        IniDocument doc;
        ASSERT_TRUE(doc.Load(dir.filePath(QStringLiteral("Config.ini"))));
        for (const char* key : {"NavHistoryApi", "FundDataScript"}) {
            doc.SetValue(QStringLiteral("服务器"), QString::fromLatin1(key),
                         QStringLiteral("127.0.0.1:%1").arg(server.Port()));
        }
        doc.SetValue(QStringLiteral("服务器"), QStringLiteral("NavHistorySource"),
                     QStringLiteral("api"));
        ASSERT_TRUE(doc.Save(dir.filePath(QStringLiteral("Config.ini"))));
        Serve();
    }
    // 006675's 2024 from the endpoint and the trend script; 000905 a money fund.
    void Serve() {
        server.Clear();
        test::ServeApi(server,
                       {{QStringLiteral("006675"), year}, {QStringLiteral("000905"), year}});
        server.Answer(QStringLiteral("/pingzhongdata/006675.js"),
                      test::TrendScript(QStringLiteral("006675"), year).toUtf8(),
                      "application/javascript; charset=utf-8");
    }
    void Refuse() {
        server.Answer(QStringLiteral("/f10/lsjz"), test::kApiRefused, "application/json");
    }

    // Date, NAV, statuses and dividend of each day, as a plan holds them.
    static QStringList Days(const QList<NavRow>& rows, bool withStatuses) {
        QStringList days;
        for (const NavRow& r : rows) {
            days << QStringList{QDate::fromString(r.date, Qt::ISODate)
                                    .toString(QStringLiteral("yyyy/M/d")),
                                r.nav, withStatuses ? r.purchase : QString(),
                                withStatuses ? r.redeem : QString(), r.dividend}
                        .join(u',');
        }
        return days;
    }
    static QStringList SavedDays(const QString& path) {
        LedgerModel ledger;
        PlanSettings settings;
        if (OpenPlanFile(path, ledger, settings, {}).result != OpenResult::Opened) return {};
        QStringList days;
        for (int row = 1; row <= ledger.LastRow(); ++row) {
            QStringList fields;
            for (Column c : {Column::Date, Column::NetValue, Column::PurchaseStatus,
                             Column::RedeemStatus, Column::DividendAction}) {
                fields << ledger.Cell(row, c);
            }
            days << fields.join(u',');
        }
        return days;
    }

    const QList<NavRow> year = test::ReadRows("nav/nav_006675_2024.csv");
};

TEST_F(ApiCliTest, ImportTellsEachOutcomeByItsStatus) {
    // 2024/4/1 .. 2024/6/30: three pages, suspended days and two dividends.
    const QList<NavRow> spring = test::Between(year, "2024-04-01", "2024-06-30");
    ASSERT_EQ(spring.size(), 60);
    const QString plan = dir.filePath(QStringLiteral("new.ini"));
    const QString imported =
        QStringLiteral("已导入 60 行（2024/4/1 至 2024/6/30）：%1\n").arg(plan);
    const QStringList range = Args({"--from", "2024-04-01", "--to", "2024-06-30"});
    const struct {
        const char* what;
        QStringList args;  // after "import", before "--plan"
        bool refused;      // the endpoint answers ErrCode -999
        int status;
        QString err;
        QStringList days;  // saved; none when nothing is written
    } cases[] = {
        {"from the endpoint", Args({"006675"}) + range, false, 0, "", Days(spring, true)},
        {"refused", Args({"006675"}) + range, true, 3, Text(kMsgNavRefused).arg(-999) + u'\n',
         QStringList()},
        {"a money fund", Args({"000905"}) + range, false, 1, Line(kMsgNavMoneyFund), QStringList()},
        {"no day in the range", Args({"006675", "--from", "2025-01-01", "--to", "2025-01-31"}),
         false, 4, Line(kMsgNavFailed), QStringList()},
        {"the trend script while the endpoint refuses",
         Args({"006675", "--source", "trend"}) + range, true, 0, Line(kMsgNavFromTrend),
         Days(spring, false)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Serve();
        if (c.refused) Refuse();
        QFile::remove(plan);
        const CliResult r = Cli(Args({"import"}) + c.args + QStringList{"--plan", plan});
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, c.status == 0 ? imported : QString());
        EXPECT_EQ(SavedDays(plan), c.days);
        if (c.days.isEmpty()) {
            EXPECT_EQ(Files(), QStringList{"Config.ini"});
        }
    }
}

TEST_F(ApiCliTest, AppendLeavesThePlanAsItWasWhenNothingComes) {
    // The plan ends on 2024/12/30; the endpoint has no later day.
    const QString plan = CopyPlan("golden/006675-default.ini");
    const QByteArray before = test::ReadFileBytes(plan);
    for (const bool refused : {true, false}) {
        SCOPED_TRACE(refused);
        Serve();
        if (refused) Refuse();
        const CliResult r = Cli({QStringLiteral("append"), plan});
        EXPECT_EQ(r.status, refused ? 3 : 0);
        EXPECT_EQ(r.err, refused ? Text(kMsgNavRefused).arg(-999) + u'\n' : QString());
        EXPECT_EQ(r.out, refused ? QString() : QStringLiteral("已追加 0 行\n"));
        EXPECT_EQ(test::ReadFileBytes(plan), before);
        EXPECT_EQ(Files(), QStringList({"Config.ini", "plan.ini"}));
        EXPECT_TRUE(server.RequestedTargets().last().startsWith(QStringLiteral(
            "/f10/lsjz?fundCode=006675&pageIndex=1&pageSize=20&startDate=2024-12-31&")));
    }
}

}  // namespace
