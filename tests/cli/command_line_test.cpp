// The command line's one set of rules for every command: options as
// "--x value" or "--x=value", a single-value option given once, mistakes
// named before the usage, and each command's own help.

#include <gtest/gtest.h>

#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>

#include "cli/cli.h"
#include "cli/commands/cli_messages.h"
#include "core/common/messages.h"
#include "core/common/version.h"
#include "core/marketdata/config.h"
#include "core/storage/ini_document.h"
#include "support/test_support.h"

using namespace tovira;

namespace {

const char* const kWholeUsage =
    "用法:\n"
    "  tovira-cli export PLAN.ini OUT.csv [--mode theory|fact]\n"
    "  tovira-cli show PLAN.ini [--mode theory|fact]\n"
    "  tovira-cli report PLAN.ini [--mode theory|fact] [--json]\n"
    "  tovira-cli sweep PLAN.ini --vary A=from:to:step --vary B=from:to:step\n"
    "                  [--metric xirr|profit|return] [--threads N] [-o result.csv]\n"
    "  tovira-cli import CODE --from YYYY-MM-DD --to YYYY-MM-DD [--plan PATH] [--replace]\n"
    "                    [--source api|table|trend] [--discard-typed]\n"
    "  tovira-cli append PLAN.ini\n"
    "  tovira-cli directory\n"
    "  tovira-cli estimate CODE [--provider auto|tiantian|sina|10jqka|howbuy|holdings] [--json]\n"
    "  tovira-cli accuracy CODE [--plan PLAN.ini] [--json]\n";

const char* const kMarketDataUsage =
    "用法:\n"
    "  tovira-cli import CODE --from YYYY-MM-DD --to YYYY-MM-DD [--plan PATH] [--replace]\n"
    "                    [--source api|table|trend] [--discard-typed]\n"
    "  tovira-cli append PLAN.ini\n"
    "  tovira-cli directory\n"
    "  tovira-cli estimate CODE [--provider auto|tiantian|sina|10jqka|howbuy|holdings] [--json]\n"
    "  tovira-cli accuracy CODE [--plan PLAN.ini] [--json]\n";

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

QStringList Words(const char* line) { return U(line).split(u' ', Qt::SkipEmptyParts); }

// A program folder whose Config.ini sends every request to a port nobody
// listens on: a mistake that slipped through to the network fails at once
// and is counted.
class CommandLineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        QTcpServer closed;
        ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
        port = closed.serverPort();
        closed.close();
        IniDocument doc;
        for (Endpoint e :
             {Endpoint::NavHistory, Endpoint::NavHistoryApi, Endpoint::FundDataScript,
              Endpoint::FundDirectory, Endpoint::EstimateTiantian, Endpoint::EstimateHowbuy,
              Endpoint::Estimate10jqka, Endpoint::EstimateBatch, Endpoint::EstimateSina,
              Endpoint::EstimateJqkaChart, Endpoint::Holdings, Endpoint::HoldingsPage,
              Endpoint::Quotes, Endpoint::QuotesTencent}) {
            doc.SetValue(QStringLiteral("服务器"), Config::KeyOf(e),
                         QStringLiteral("127.0.0.1:%1").arg(port));
        }
        ASSERT_TRUE(doc.Save(dir.filePath(QStringLiteral("Config.ini"))));
        plan = dir.filePath(QStringLiteral("plan.ini"));
        ASSERT_TRUE(QFile::copy(test::DataPath("golden/000011-default.ini"), plan));
        QFile::setPermissions(plan, QFile::ReadOwner | QFile::WriteOwner);
        planBytes = test::ReadFileBytes(plan);
    }

    struct Result {
        int status;
        QString out;
        QString err;
    };

    // "PLAN" in a word stands for the plan file.
    Result Run(QStringList args) {
        for (QString& a : args) a.replace(QStringLiteral("PLAN"), plan);
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

    // The folder was not asked for and the plan is as it was.
    void ExpectUntouched(const QString& what) {
        EXPECT_EQ(folderAsked, 0) << what.toStdString();
        EXPECT_EQ(test::ReadFileBytes(plan), planBytes) << what.toStdString();
        folderAsked = 0;
    }

    QTemporaryDir dir;
    quint16 port = 0;
    QString plan;
    QByteArray planBytes;
    int folderAsked = 0;
};

TEST_F(CommandLineTest, UsageHelpAndVersion) {
    for (const char* help : {"--help", "-h"}) {
        const Result r = Run({U(help)});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, U(kWholeUsage));
        EXPECT_TRUE(r.err.isEmpty());
    }
    const Result none = Run({});
    EXPECT_EQ(std::make_pair(none.status, none.err), std::make_pair(2, U(kWholeUsage)));

    const Result version = Run({QStringLiteral("--version")});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, QStringLiteral("tovira-cli " TOVIRA_VERSION "\n"));
}

// Each command's help names its usage line and every option, on out.
TEST_F(CommandLineTest, EachCommandHasItsOwnHelp) {
    const struct {
        const char* command;
        const char* usage;
        std::vector<const char*> options;
    } cases[] = {
        {"export", "  tovira-cli export PLAN.ini OUT.csv", {"--mode theory|fact"}},
        {"show", "  tovira-cli show PLAN.ini", {"--mode theory|fact"}},
        {"report", "  tovira-cli report PLAN.ini", {"--mode theory|fact", "--json"}},
        {"sweep",
         "  tovira-cli sweep PLAN.ini",
         {"--vary NAME=from:to:step", "--metric xirr|profit|return", "--threads N",
          "-o result.csv"}},
        {"import",
         "  tovira-cli import CODE",
         {"--from YYYY-MM-DD", "--to YYYY-MM-DD", "--plan PATH", "--replace",
          "--source api|table|trend", "--discard-typed"}},
        {"append", "  tovira-cli append PLAN.ini\n", {}},
        {"directory", "  tovira-cli directory\n", {}},
        {"estimate",
         "  tovira-cli estimate CODE",
         {"--provider auto|tiantian|sina|10jqka|howbuy|holdings", "--json"}},
        {"accuracy", "  tovira-cli accuracy CODE", {"--plan PLAN.ini", "--json"}},
    };
    for (const auto& c : cases) {
        for (const char* help : {"--help", "-h"}) {
            const Result r = Run({U(c.command), U(help)});
            EXPECT_EQ(r.status, 0) << c.command;
            EXPECT_TRUE(r.err.isEmpty()) << c.command;
            EXPECT_TRUE(r.out.startsWith(QStringLiteral("用法:\n") + U(c.usage)))
                << r.out.toStdString();
            for (const char* option : c.options) {
                EXPECT_TRUE(r.out.contains(QStringLiteral("\n  ") + U(option) + u' ')) << option;
            }
            EXPECT_TRUE(r.out.contains(QStringLiteral("\n  -h, --help "))) << c.command;
        }
    }
    ExpectUntouched(QStringLiteral("help"));
}

// A mistake is named before the usage (the whole usage after a plan
// command, the market-data lines after one of those), and nothing runs.
TEST_F(CommandLineTest, MistakesAreNamedBeforeTheUsage) {
    const struct {
        const char* args;
        QString message;  // the first line
        const char* usage;
    } cases[] = {
        {"shwo PLAN", U(kMsgUnknownCommand).arg("shwo"), kWholeUsage},
        {"--vesion", U(kMsgUnknownOption).arg("--vesion"), kWholeUsage},
        {"export PLAN out.csv --mod theory", U(kMsgUnknownOption).arg("--mod"), kWholeUsage},
        {"show PLAN --mod=fact", U(kMsgUnknownOption).arg("--mod"), kWholeUsage},
        {"show PLAN --json", U(kMsgUnknownOption).arg("--json"), kWholeUsage},
        {"report PLAN -x", U(kMsgUnknownOption).arg("-x"), kWholeUsage},
        {"sweep PLAN --vary Multiple=1:2:1 --vary StartBuyPct=-1:1:1 --out x.csv",
         U(kMsgUnknownOption).arg("--out"), kWholeUsage},
        {"import 161725 --from 2017-03-01 --to 2017-03-31 --force",
         U(kMsgUnknownOption).arg("--force"), kMarketDataUsage},
        {"append PLAN --replace", U(kMsgUnknownOption).arg("--replace"), kMarketDataUsage},
        {"directory --all", U(kMsgUnknownOption).arg("--all"), kMarketDataUsage},
        {"estimate 161725 --provder howbuy", U(kMsgUnknownOption).arg("--provder"),
         kMarketDataUsage},
        // A single-value option given twice: which one was meant is not guessed.
        {"export PLAN out.csv --mode theory --mode=fact", U(kMsgRepeatedOption).arg("--mode"),
         kWholeUsage},
        {"report PLAN --json --json", U(kMsgRepeatedOption).arg("--json"), kWholeUsage},
        {"sweep PLAN --vary Multiple=1:2:1 --vary StartBuyPct=-1:1:1 -o a.csv -o=b.csv",
         U(kMsgRepeatedOption).arg("-o"), kWholeUsage},
        {"import 161725 --from 2017-03-01 --to 2017-03-31 --plan PLAN --plan=other.ini",
         U(kMsgRepeatedOption).arg("--plan"), kMarketDataUsage},
        {"import 161725 --from 2017-03-01 --to 2017-03-31 --to 2017-04-30",
         U(kMsgRepeatedOption).arg("--to"), kMarketDataUsage},
        {"import 161725 --from 2017-03-01 --to 2017-03-31 --replace --replace",
         U(kMsgRepeatedOption).arg("--replace"), kMarketDataUsage},
        {"estimate 161725 --provider howbuy --provider 10jqka",
         U(kMsgRepeatedOption).arg("--provider"), kMarketDataUsage},
    };
    for (const auto& c : cases) {
        const Result r = Run(Words(c.args));
        EXPECT_EQ(r.status, 2) << c.args;
        EXPECT_EQ(r.err, c.message + u'\n' + U(c.usage)) << c.args;
        EXPECT_TRUE(r.out.isEmpty()) << c.args;
        ExpectUntouched(U(c.args));
    }
    // Options before the command still belong to it.
    EXPECT_EQ(Run(Words("--mode=fact show PLAN")).status, 0);
}

// Every option's value arrives the same way as "--x value" and "--x=value":
// a value the command refuses is named in its message, and one it takes lets
// the next check speak.
TEST_F(CommandLineTest, EveryOptionTakesItsValueEitherWay) {
    const QString sweep = QStringLiteral("sweep PLAN --vary Multiple=1:2:1 ");
    const QString import = QStringLiteral("import 161725 --to 2017-03-31 ");
    const struct {
        QString before;  // the command line before the option
        const char* option;
        const char* value;
        QString err;  // the first line on err
    } cases[] = {
        {"export PLAN out.csv", "--mode", "x", U(kMsgUnknownMode).arg("x")},
        {"show PLAN", "--mode", "x", U(kMsgUnknownMode).arg("x")},
        {"report PLAN", "--mode", "fct", U(kMsgUnknownMode).arg("fct")},
        {"sweep PLAN", "--mode", "x", U(kMsgUnknownMode).arg("x")},
        {sweep + "--vary StartBuyPct=-1:1:1", "--metric", "best", U(kMsgUnknownMetric).arg("best")},
        {sweep + "--vary StartBuyPct=-1:1:1", "--threads", "0", U(kMsgBadThreads).arg("0")},
        {sweep, "--vary", "Nonsense=1:2:1",
         U(kMsgSweepUnknownParameter) + "Nonsense" +
             U(kMsgSweepParameters)
                 .arg("起投涨幅 (StartBuyPct)、投入倍数 (Multiple)、倍数加大 (MultipleStep)、"
                      "起卖点位 (StartSellPct)、风控仓位 (RiskPositionPct)、资金总量 "
                      "(TotalCapital)、"
                      "至少赎回 (MinRedeemShares)、至少保留 (MinKeepShares)")},
        {sweep + "--vary StartBuyPct=-1:1:1", "-o", "PLAN", U(kMsgOutputIsPlan).arg("PLAN")},
        {import, "--from", "2017/03/01", U(kMsgBadDate).arg("2017/03/01")},
        {"import 161725 --from 2017-03-01", "--to", "31.3.2017", U(kMsgBadDate).arg("31.3.2017")},
        {import + "--from 2017-03-01", "--plan", "plan.txt", U(kMsgWrongFormat)},
        {import + "--from 2017-03-01 --plan plan.txt", "--source", "html",
         U(kMarketDataUsage).section(u'\n', 0, 0)},
        {import + "--from 2017-04-01", "--source", "trend", U(kMsgStartAfterEnd)},
        {"estimate 16172", "--provider", "xueqiu", U(kMarketDataUsage).section(u'\n', 0, 0)},
        {"estimate 16172", "--provider", "howbuy", U(kMsgBadFundCode)},
    };
    for (const auto& c : cases) {
        for (const bool joined : {false, true}) {
            QStringList args = Words(c.before.toUtf8().constData());
            if (joined) {
                args << U(c.option) + u'=' + U(c.value);
            } else {
                args << U(c.option) << U(c.value);
            }
            const Result r = Run(args);
            const QString what = args.join(u' ');
            EXPECT_NE(r.status, 0) << what.toStdString();
            EXPECT_EQ(r.err.section(u'\n', 0, 0), QString(c.err).replace("PLAN", plan))
                << what.toStdString();
            EXPECT_EQ(test::ReadFileBytes(plan), planBytes) << what.toStdString();
        }
    }
}

}  // namespace
