#include "cli/cli.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include "core/common/gbk_codec.h"
#include "core/storage/ini_document.h"
#include "support/test_support.h"

using namespace tovira;

namespace {

struct CliRun {
    int status;
    QString out;
    QString err;
};

CliRun RunTool(const QStringList& args) {
    QString out;
    QString err;
    QTextStream o(&out);
    QTextStream e(&err);
    const int status = RunCli(args, o, e);
    o.flush();
    e.flush();
    return {status, out, err};
}

QString ExamplePlan() { return QStringLiteral(TOVIRA_TEST_DATA "/../../examples/006675.ini"); }

}  // namespace

TEST(CliTest, ExportWritesWhatTheWindowWouldExport) {
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("x.csv"));
    const CliRun fact = RunTool({QStringLiteral("export"), test::DataPath("golden/161725-fact.ini"),
                                 out, QStringLiteral("--mode"), QStringLiteral("fact")});
    ASSERT_EQ(fact.status, 0) << fact.err.toStdString();
    EXPECT_EQ(test::ReadFileBytes(out),
              test::ReadFileBytes(test::DataPath("golden/161725-fact.fact.csv")));

    const CliRun theory =
        RunTool({QStringLiteral("export"), test::DataPath("golden/161725-fact.ini"), out});
    ASSERT_EQ(theory.status, 0);
    EXPECT_EQ(test::ReadFileBytes(out),
              test::ReadFileBytes(test::DataPath("golden/161725-fact.theory.csv")));
}

TEST(CliTest, ShowPrintsAnAlignedTableAndASummary) {
    const CliRun r = RunTool({QStringLiteral("show"), ExamplePlan()});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QStringList lines = r.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 242);  // header, 240 days, summary
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("ID")));
    EXPECT_TRUE(lines[0].contains(QStringLiteral("赎回份额")));  // the plan redeems: columns shown
    // Every row starts its date column at the same place.
    const qsizetype dateAt = lines[1].indexOf(QStringLiteral("2024/1/4"));
    EXPECT_EQ(lines[100].indexOf(QStringLiteral("2024/")), dateAt);
    EXPECT_TRUE(lines.last().startsWith(QStringLiteral("共 240 行")));
}

TEST(CliTest, ErrorsUseTheProgramsMessagesAndStatusOne) {
    QTemporaryDir dir;
    const CliRun missing =
        RunTool({QStringLiteral("show"), dir.filePath(QStringLiteral("none.ini"))});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.err.contains(dir.filePath(QStringLiteral("none.ini"))));

    const QString txt = dir.filePath(QStringLiteral("plan.txt"));
    QFile(txt).open(QIODevice::WriteOnly);
    const CliRun wrong = RunTool({QStringLiteral("show"), txt});
    EXPECT_EQ(wrong.status, 1);
    EXPECT_EQ(wrong.err.trimmed(), "文件格式不对，请重新选择！");

    const QString empty = dir.filePath(QStringLiteral("empty.ini"));
    QFile(empty).open(QIODevice::WriteOnly);
    const CliRun noData =
        RunTool({QStringLiteral("export"), empty, dir.filePath(QStringLiteral("o.csv"))});
    EXPECT_EQ(noData.status, 1);
    EXPECT_EQ(noData.err.trimmed(), "数据不足！");
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("o.csv"))));

    EXPECT_EQ(RunTool({QStringLiteral("show")}).status, 2);
    EXPECT_EQ(RunTool({QStringLiteral("show"), ExamplePlan(), QStringLiteral("--mode"),
                       QStringLiteral("x")})
                  .status,
              2);
}

TEST(CliTest, RefusesPipesDevicesAndOversizedPlans) {
    QTemporaryDir dir;
    alarm(30);  // a read that hangs ends the run instead of waiting for ever
    const QString fifo = dir.filePath(QStringLiteral("fifo.ini"));
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString zero = dir.filePath(QStringLiteral("zero.ini"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), zero));
    for (const QString& path : {fifo, zero}) {
        const CliRun r = RunTool({QStringLiteral("show"), path});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err.trimmed(), QStringLiteral("找不到方案文件：%1").arg(path));
    }
    alarm(0);

    const QString big = dir.filePath(QStringLiteral("big.ini"));
    {
        QFile f(big);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(
            *EncodeGbk(QStringLiteral("[特殊数据]\r\n行数=40000\r\n[第1行]\r\nNetValue=1\r\n")));
    }
    const CliRun r = RunTool({QStringLiteral("show"), big});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.trimmed(), "计划有40000行，超过列表最多容纳的32767行，无法打开！");
}

TEST(CliTest, GarbageFilesNeverCrashTheProgram) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("junk.ini"));
    QByteArray junk;
    for (int i = 0; i < 5000; ++i) junk.append(static_cast<char>((i * 7919) % 256));
    junk.append(
        *EncodeGbk(QStringLiteral("\r\n[特殊数据]\r\n行数=32767\r\n[第1行]\r\nNetValue=1e999\r\n["
                                  "第2行]\r\nNetValue=-0\r\n")));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(junk);
    }
    const CliRun r = RunTool({QStringLiteral("show"), path});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.contains(QStringLiteral("共 32767 行")));
}

TEST(CliTest, TheProgramWritesUtf8AndExitsWithTheStatus) {
    QProcess p;
    p.start(QStringLiteral(TOVIRA_CLI_PATH), {QStringLiteral("show"), ExamplePlan()});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_TRUE(QString::fromUtf8(p.readAllStandardOutput()).contains(QStringLiteral("持有份额")));

    p.start(QStringLiteral(TOVIRA_CLI_PATH),
            {QStringLiteral("show"), QStringLiteral("/nonexistent/a.ini")});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 1);
}

TEST(CliTest, ReportPrintsTheThreeStrategiesAsATableOrAsJson) {
    const QString plan = test::DataPath("golden/006675-fact.ini");
    const CliRun table = RunTool({QStringLiteral("report"), plan, QStringLiteral("--mode=fact")});
    ASSERT_EQ(table.status, 0) << table.err.toStdString();
    const QStringList lines = table.out.split(u'\n');
    ASSERT_GT(lines.size(), 20);
    EXPECT_TRUE(lines[0].contains(QStringLiteral("本计划")));
    EXPECT_TRUE(lines[0].contains(QStringLiteral("一次性买入")));
    EXPECT_TRUE(lines[0].contains(QStringLiteral("每月定投")));

    const CliRun json = RunTool({QStringLiteral("report"), plan, QStringLiteral("--mode"),
                                 QStringLiteral("fact"), QStringLiteral("--json")});
    ASSERT_EQ(json.status, 0) << json.err.toStdString();
    QJsonParseError error;
    const QJsonObject root = QJsonDocument::fromJson(json.out.toUtf8(), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError);
    for (const char* key : {"plan", "lump_sum", "monthly", "fund"}) {
        EXPECT_TRUE(root.value(QLatin1String(key)).isObject()) << key;
    }
    // The plan's profit is the last row's, as `show` prints it.
    const CliRun show = RunTool({QStringLiteral("show"), plan, QStringLiteral("--mode=fact")});
    const QString summary = show.out.split(u'\n', Qt::SkipEmptyParts).last();
    const QString profit = QStringLiteral("净盈亏 %1，")
                               .arg(root.value(QStringLiteral("plan"))
                                        .toObject()
                                        .value(QStringLiteral("profit"))
                                        .toDouble());
    EXPECT_TRUE(summary.contains(profit)) << summary.toStdString();
    EXPECT_EQ(root.value(QStringLiteral("plan")).toObject().value(QStringLiteral("first_date")),
              QStringLiteral("2024-01-04"));

    // --json belongs to the report; a missing plan is an error as for show.
    EXPECT_EQ(RunTool({QStringLiteral("show"), plan, QStringLiteral("--json")}).status, 2);
    EXPECT_EQ(RunTool({QStringLiteral("report"), QStringLiteral("/nonexistent/x.ini")}).status, 1);
}

TEST(CliTest, SweepPrintsTheBestTenAndWritesEveryCell) {
    const QString plan = test::DataPath("golden/000011-default.ini");
    QTemporaryDir dir;
    const QString csv = dir.filePath(QStringLiteral("result.csv"));
    const CliRun run =
        RunTool({QStringLiteral("sweep"), plan, QStringLiteral("--vary"),
                 QStringLiteral("StartBuyPct=-3:-0.25:0.25"), QStringLiteral("--vary"),
                 QStringLiteral("Multiple=1.5:2.5:0.5"), QStringLiteral("--metric"),
                 QStringLiteral("profit"), QStringLiteral("--threads"), QStringLiteral("2"),
                 QStringLiteral("-o"), csv});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    const QStringList best = run.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(best.size(), 11);
    // Highest profit first.
    auto profitOf = [](const QString& line) { return line.simplified().split(u' ')[5].toDouble(); };
    EXPECT_GE(profitOf(best[1]), profitOf(best[10]));
    // Multiple 2.5 is beyond the box's bound: the search used 2 and says so,
    // once for the parameter; no progress where the error stream is no terminal.
    EXPECT_EQ(run.err, QStringLiteral("投入倍数 2.5 超出 1–2，按 2 计算，共 12 格重复\n"));

    const QStringList lines = QString::fromUtf8(test::ReadFileBytes(csv)).split(u'\n');
    ASSERT_EQ(lines.size(), 12 * 3 + 2);  // header, 36 cells, the final newline
    EXPECT_EQ(lines[0], QStringLiteral("StartBuyPct,Multiple,purchases,redemptions,max_capital,"
                                       "profit,return_on_capital_pct,xirr_pct,worst_profit"));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("-3,1.5,"))) << lines[1].toStdString();
    EXPECT_TRUE(lines[36].startsWith(QStringLiteral("-0.25,2,"))) << lines[36].toStdString();
    EXPECT_EQ(lines[36].count(u','), 8);
    EXPECT_TRUE(lines[37].isEmpty());
}

TEST(CliTest, SweepRefusesBadRangesAndOptionsWithStatusTwo) {
    const QString plan = test::DataPath("golden/000011-default.ini");
    const QString good = QStringLiteral("Multiple=1:2:0.5");
    const QStringList bad[] = {
        {QStringLiteral("StartBuyPct=-1:1:0"), good},
        {QStringLiteral("StartBuyPct=1:-1:0.5"), good},
        {QStringLiteral("Nonsense=1:2:1"), good},
        {QStringLiteral("TotalCapital=1000:2001000:1000"),
         QStringLiteral("StartBuyPct=-1:1:0.001")},
        {good, good},
        {good},
    };
    for (const QStringList& vary : bad) {
        QStringList args{QStringLiteral("sweep"), plan};
        for (const QString& v : vary) args << QStringLiteral("--vary") << v;
        const CliRun run = RunTool(args);
        EXPECT_EQ(run.status, 2) << vary.join(u' ').toStdString();
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_FALSE(run.err.isEmpty());
    }
    const QStringList two{QStringLiteral("--vary"), good, QStringLiteral("--vary"),
                          QStringLiteral("StartBuyPct=-1:1:1")};
    EXPECT_EQ(RunTool(QStringList{QStringLiteral("sweep"), plan} + two +
                      QStringList{QStringLiteral("--metric"), QStringLiteral("best")})
                  .status,
              2);
    EXPECT_EQ(RunTool(QStringList{QStringLiteral("sweep"), plan} + two +
                      QStringList{QStringLiteral("--threads"), QStringLiteral("0")})
                  .status,
              2);
    EXPECT_EQ(RunTool(QStringList{QStringLiteral("show"), plan} + two).status, 2);
}

TEST(CliTest, SweepTakesCaptionsAndRefusesParametersTheSwitchesLeaveUnused) {
    const QString plan = test::DataPath("golden/000011-default.ini");  // every switch off
    struct Case {
        const char* x;
        const char* y;
        int status;
        const char* out;  // what the output starts with, or the error contains
    };
    const Case cases[] = {
        {"投入倍数=1:1.2:0.1", "起投涨幅=-1:-1:1", 0, "Multiple StartBuyPct purchases"},
        {"投入倍数=1:1.2:0.1", "风控仓位=10:50:10", 2,
         "风控仓位在「加仓优先」关闭时不起作用，不能作为寻优参数"},
        {"投入倍数=1:1.2:0.1", "StartSellPct=1:3:1", 2, "起卖点位在「越涨越卖」关闭时不起作用"},
        {"倍数=1:1.2:0.1", "StartBuyPct=-1:-1:1", 2,
         "没有这个参数：倍数（可用的参数：起投涨幅 (StartBuyPct)、投入倍数 (Multiple)、"},
    };
    for (const Case& c : cases) {
        const CliRun run =
            RunTool({QStringLiteral("sweep"), plan, QStringLiteral("--vary"),
                     QString::fromUtf8(c.x), QStringLiteral("--vary"), QString::fromUtf8(c.y)});
        EXPECT_EQ(run.status, c.status) << c.y << run.err.toStdString();
        const QString& text = c.status == 0 ? run.out : run.err;
        EXPECT_TRUE(c.status == 0 ? text.simplified().startsWith(QString::fromUtf8(c.out))
                                  : text.contains(QString::fromUtf8(c.out)))
            << text.toStdString();
    }
}
