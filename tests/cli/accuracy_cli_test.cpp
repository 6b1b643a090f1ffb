#include <gtest/gtest.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "cli/cli.h"
#include "core/common/beijing_time.h"
#include "core/common/messages.h"
#include "core/marketdata/estimate_record.h"
#include "core/storage/plan_file.h"
#include "support/test_support.h"

using namespace tovira;

namespace {

// A program folder with the plan of 005827 (2020/1/1..1/3) in its plan
// folder and a record of two sources.
class AccuracyCliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        LedgerModel ledger;
        test::AddDays(ledger, {{"1.0000", "开放申购", "开放赎回"},
                               {"1.0100", "开放申购", "开放赎回"},
                               {"0.9999", "开放申购", "开放赎回"}});
        PlanSettings settings;
        ASSERT_EQ(SavePlanFile(ledger, settings, Mode::Theory, dir.path(), code).result,
                  SaveResult::Saved);
    }

    void Note(EstimateSource source, int day, double nav, double changePct) {
        SourceEstimate e;
        e.source = source;
        e.time = BeijingTimeOn(QDate(2020, 1, day), QTime(14, 59));
        e.nav = nav;
        e.changePct = changePct;
        ASSERT_EQ(EstimateRecord(dir.path()).Note(code, e), NoteResult::Written);
    }

    struct Result {
        int status;
        QString out;
        QString err;
    };
    Result Run(QStringList args) {
        QString out, err;
        QTextStream o(&out), e(&err);
        const int status = RunCli(args, o, e, [this] { return dir.path(); });
        o.flush();
        e.flush();
        return {status, out, err};
    }

    QTemporaryDir dir;
    const QString code = QStringLiteral("005827");
    const QString accuracy = QStringLiteral("accuracy");
};

TEST_F(AccuracyCliTest, PrintsTheTablesAndTheJson) {
    const Result empty = Run({accuracy, code});
    EXPECT_EQ(empty.status, 0);
    EXPECT_EQ(empty.out, QString::fromUtf8(kMsgNoEstimateRecord) + u'\n');

    Note(EstimateSource::Sina, 2, 1.0110, 1.1);   // official +1.00 %: +0.10 pp
    Note(EstimateSource::Sina, 3, 0.9950, -1.5);  // official −1.00 %: −0.50 pp
    Note(EstimateSource::Sina, 6, 1.0000, 0.0);   // no NAV yet
    Note(EstimateSource::Holdings, 6, 1.0, 0.2);

    const Result table = Run({accuracy, code});
    EXPECT_EQ(table.status, 0) << table.err.toStdString();
    EXPECT_TRUE(table.err.isEmpty());
    EXPECT_TRUE(table.out.contains(
        QStringLiteral("新浪基金     2              0.30      0.50  2020-01-03       1")))
        << table.out.toStdString();
    EXPECT_TRUE(table.out.contains(
        QStringLiteral("2020-01-03  0.9950  0.9999        -1.50        -1.00         -0.50")))
        << table.out.toStdString();
    EXPECT_TRUE(table.out.contains(QStringLiteral("持仓估算")));

    const Result json = Run({accuracy, code, QStringLiteral("--json")});
    ASSERT_EQ(json.status, 0);
    const QJsonObject root = QJsonDocument::fromJson(json.out.toUtf8()).object();
    EXPECT_EQ(root.value(QStringLiteral("code")).toString(), code);
    const QJsonArray sources = root.value(QStringLiteral("sources")).toArray();
    ASSERT_EQ(sources.size(), 2);
    const QJsonObject sina = sources[0].toObject();
    EXPECT_EQ(sina.value(QStringLiteral("source")).toString(), QStringLiteral("sina"));
    EXPECT_EQ(sina.value(QStringLiteral("days")).toInt(), 2);
    EXPECT_DOUBLE_EQ(sina.value(QStringLiteral("mean_abs_error_pp")).toDouble(), 0.3);
    EXPECT_DOUBLE_EQ(sina.value(QStringLiteral("max_abs_error_pp")).toDouble(), 0.5);
    EXPECT_EQ(sina.value(QStringLiteral("max_error_date")).toString(),
              QStringLiteral("2020-01-03"));
    EXPECT_EQ(sina.value(QStringLiteral("pending")).toInt(), 1);
    const QJsonObject last = sina.value(QStringLiteral("last_days")).toArray()[0].toObject();
    EXPECT_EQ(last.value(QStringLiteral("date")).toString(), QStringLiteral("2020-01-03"));
    EXPECT_DOUBLE_EQ(last.value(QStringLiteral("official")).toDouble(), 0.9999);
    EXPECT_DOUBLE_EQ(last.value(QStringLiteral("error_pp")).toDouble(), -0.5);
    const QJsonObject holdings = sources[1].toObject();
    EXPECT_EQ(holdings.value(QStringLiteral("source")).toString(), QStringLiteral("holdings"));
    EXPECT_TRUE(holdings.value(QStringLiteral("mean_abs_error_pp")).isNull());

    // Another plan: none of its days are the record's.
    LedgerModel other;
    test::AddDays(other, {{"2.0", "开放申购", "开放赎回"}});
    other.SetCell(1, Column::Date, QStringLiteral("2019/1/1"));
    PlanSettings settings;
    const QString otherPath = dir.filePath(QStringLiteral("other.ini"));
    ASSERT_EQ(SavePlanFileAt(other, settings, Mode::Theory, otherPath, code).result,
              SaveResult::Saved);
    const Result elsewhere = Run({accuracy, code, QStringLiteral("--plan"), otherPath});
    EXPECT_EQ(elsewhere.status, 0);
    EXPECT_TRUE(elsewhere.out.contains(
        QStringLiteral("新浪基金     0                 —         —  —          3")))
        << elsewhere.out.toStdString();
}

TEST_F(AccuracyCliTest, StatusesOfWhatCannotBeRead) {
    Note(EstimateSource::Sina, 2, 1.0110, 1.1);
    const struct {
        QStringList args;
        int status;
    } cases[] = {
        {{accuracy}, 2},
        {{accuracy, code, code}, 2},
        {{accuracy, QStringLiteral("12ab")}, 2},
        {{accuracy, code, QStringLiteral("--plan"), dir.filePath(QStringLiteral("none.ini"))}, 1},
        {{accuracy, code, QStringLiteral("--plan"), dir.path()}, 1},
        {{accuracy, QStringLiteral("000001")}, 0},  // no record, no plan
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Run(c.args).status, c.status) << c.args.join(u' ').toStdString();
    }

    // A damaged line is said and skipped; a record that is no file is an error.
    const QString path = EstimateRecord::PathOf(dir.path(), code);
    ASSERT_TRUE(WriteFileAtomically(path, test::ReadFileBytes(path) + "{cut"));
    const Result damaged = Run({accuracy, code});
    EXPECT_EQ(damaged.status, 0);
    EXPECT_EQ(damaged.err, QString::fromUtf8(kMsgEstimateRecordDamaged).arg(1) + u'\n');
    EXPECT_TRUE(damaged.out.contains(QStringLiteral("新浪基金")));
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QDir().mkpath(path));
    EXPECT_EQ(Run({accuracy, code}).status, 1);
}

}  // namespace
