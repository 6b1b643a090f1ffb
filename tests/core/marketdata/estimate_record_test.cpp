#include "core/marketdata/estimate_record.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cerrno>

#include "core/common/beijing_time.h"
#include "core/ledger/ledger_model.h"
#include "core/storage/file_io.h"
#include "support/test_support.h"

using namespace tovira;

namespace {

SourceEstimate At(EstimateSource source, const char* when, double nav, double changePct) {
    SourceEstimate e;
    e.source = source;
    e.time = ReadBeijingDateTime(QString::fromUtf8(when));
    e.nav = nav;
    e.changePct = changePct;
    e.previousNav = nav / (1 + changePct / 100);
    return e;
}

class EstimateRecordStore : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    EstimateRecord record{dir.path()};
    const QString code = QStringLiteral("005827");
    QString Path() const { return record.PathOf(code); }
    static std::vector<NotedEstimate> Days(const RecordContents& c, EstimateSource s) {
        return c.days[static_cast<size_t>(s)];
    }
};

TEST_F(EstimateRecordStore, KeepsTheLastEstimateOfEachDayPerSource) {
    using S = EstimateSource;
    EXPECT_EQ(record.Read(code).status, RecordRead::None);
    ASSERT_EQ(record.Note(code, At(S::Sina, "2026-07-27 10:00", 1.01, 1.0)), NoteResult::Written);
    ASSERT_EQ(record.Note(code, At(S::Sina, "2026-07-27 14:59:30", 1.02, 2.0)),
              NoteResult::Written);
    ASSERT_EQ(record.Note(code, At(S::Sina, "2026-07-27 14:59:30", 1.02, 2.0)),
              NoteResult::Unchanged);
    ASSERT_EQ(record.Note(code, At(S::Tiantian, "2026-07-27 15:00", 1.03, 3.0)),
              NoteResult::Written);
    // An earlier day noted later still lands in date order.
    ASSERT_EQ(record.Note(code, At(S::Sina, "2026-07-24 14:00", 0.99, -1.0)), NoteResult::Written);

    const RecordContents read = EstimateRecord(dir.path()).Read(code);
    EXPECT_EQ(read.status, RecordRead::Read);
    const auto sina = Days(read, S::Sina);
    ASSERT_EQ(sina.size(), 2u);
    EXPECT_EQ(sina[0].date, QDate(2026, 7, 24));
    EXPECT_EQ(sina[1].date, QDate(2026, 7, 27));
    EXPECT_EQ(sina[1].time, QTime(14, 59, 30));
    EXPECT_DOUBLE_EQ(sina[1].nav, 1.02);
    EXPECT_DOUBLE_EQ(sina[1].changePct, 2.0);
    ASSERT_TRUE(sina[1].previousNav);
    EXPECT_DOUBLE_EQ(*sina[1].previousNav, 1.02 / 1.02);
    ASSERT_EQ(Days(read, S::Tiantian).size(), 1u);
    EXPECT_TRUE(Days(read, S::Holdings).empty());

    // What cannot be kept is refused, and no file is named after it.
    SourceEstimate timeless = At(S::Sina, "2026-07-27 10:00", 1.0, 0);
    timeless.time = {};
    EXPECT_EQ(record.Note(code, timeless), NoteResult::Refused);
    EXPECT_EQ(record.Note(code, At(S::Sina, "2026-07-27 10:00", 0, 0)), NoteResult::Refused);
    EXPECT_EQ(record.Note(QStringLiteral("../x"), At(S::Sina, "2026-07-27 10:00", 1, 0)),
              NoteResult::Refused);
}

TEST_F(EstimateRecordStore, KeepsTheLastDaysOnly) {
    QDate day(2025, 1, 1);
    for (int i = 0; i < kRecordDays + 5; ++i, day = day.addDays(1)) {
        SourceEstimate e = At(EstimateSource::Howbuy, "2025-01-01 14:00", 1.0 + i / 1000.0, 0.1);
        e.time = BeijingTimeOn(day, QTime(14, 0));
        ASSERT_EQ(record.Note(code, e), NoteResult::Written);
    }
    const auto kept = Days(record.Read(code), EstimateSource::Howbuy);
    ASSERT_EQ(kept.size(), static_cast<size_t>(kRecordDays));
    EXPECT_EQ(kept.front().date, QDate(2025, 1, 6));
    EXPECT_EQ(kept.back().date, day.addDays(-1));
}

TEST_F(EstimateRecordStore, ADamagedFileIsKeptAsideAndItsReadableDaysKept) {
    ASSERT_EQ(record.Note(code, At(EstimateSource::Sina, "2026-07-24 14:00", 1.0, 0.5)),
              NoteResult::Written);
    const QByteArray good = test::ReadFileBytes(Path());
    // A cut last line, as a disk that filled up behind another program's
    // back would leave it.
    const QByteArray damaged = good + "{\"source\":\"tiantian\",\"date\":\"2026-07-2";
    ASSERT_TRUE(WriteFileAtomically(Path(), damaged));
    const RecordContents read = record.Read(code);
    EXPECT_EQ(read.status, RecordRead::Damaged);
    EXPECT_EQ(read.damagedLines, 1);
    EXPECT_EQ(Days(read, EstimateSource::Sina).size(), 1u);

    ASSERT_EQ(record.Note(code, At(EstimateSource::Sina, "2026-07-27 14:00", 1.0, 0.5)),
              NoteResult::Written);
    EXPECT_EQ(record.KeptAside(), Path() + QStringLiteral(".bad"));
    EXPECT_EQ(test::ReadFileBytes(Path() + QStringLiteral(".bad")), damaged);
    EXPECT_EQ(record.Read(code).status, RecordRead::Read);
    EXPECT_EQ(Days(record.Read(code), EstimateSource::Sina).size(), 2u);

    // Nothing readable at all: aside under the next free name, a fresh start.
    ASSERT_TRUE(WriteFileAtomically(Path(), QByteArray("\x00\x01garbage", 9)));
    ASSERT_EQ(record.Note(code, At(EstimateSource::Jqka, "2026-07-27 14:00", 1.0, 0.5)),
              NoteResult::Written);
    EXPECT_EQ(record.KeptAside(), Path() + QStringLiteral(".bad2"));
    EXPECT_EQ(test::ReadFileBytes(Path() + QStringLiteral(".bad")), damaged);
    EXPECT_EQ(Days(record.Read(code), EstimateSource::Jqka).size(), 1u);
}

TEST_F(EstimateRecordStore, AFailedWriteKeepsTheOldFile) {
    ASSERT_EQ(record.Note(code, At(EstimateSource::Sina, "2026-07-24 14:00", 1.0, 0.5)),
              NoteResult::Written);
    const QByteArray before = test::ReadFileBytes(Path());
    {
        const FileSystemCalls saved = FileSystem();
        FileSystem().rename = [](const char*, const char*) {
            errno = ENOSPC;
            return -1;
        };
        EXPECT_EQ(record.Note(code, At(EstimateSource::Sina, "2026-07-27 14:00", 1.1, 0.7)),
                  NoteResult::Failed);
        FileSystem() = saved;
    }
    EXPECT_EQ(test::ReadFileBytes(Path()), before);

    // A file the program cannot read is never written over.
    if (geteuid() != 0) {
        ASSERT_TRUE(QFile::setPermissions(Path(), QFile::WriteOwner));
        EXPECT_EQ(record.Read(code).status, RecordRead::Unreadable);
        EXPECT_EQ(record.Note(code, At(EstimateSource::Sina, "2026-07-27 14:00", 1.1, 0.7)),
                  NoteResult::Failed);
        ASSERT_TRUE(QFile::setPermissions(Path(), QFile::ReadOwner | QFile::WriteOwner));
        EXPECT_EQ(test::ReadFileBytes(Path()), before);
    }
    // Nor is a folder in its place.
    ASSERT_TRUE(QFile::remove(Path()));
    ASSERT_TRUE(QDir().mkpath(Path()));
    EXPECT_EQ(record.Read(code).status, RecordRead::Unreadable);
    EXPECT_EQ(record.Note(code, At(EstimateSource::Sina, "2026-07-27 14:00", 1.1, 0.7)),
              NoteResult::Failed);
}

// ---- the comparison ----

NotedEstimate Noted(const char* date, double nav, double changePct) {
    return {QDate::fromString(QString::fromUtf8(date), Qt::ISODate), QTime(14, 59), nav, changePct,
            std::nullopt};
}

TEST(EstimateAccuracy, ComparesTheDaysWithAnOfficialChange) {
    // 2020/1/1..1/6: row 1's change is stored; 1/4 pays a dividend; 1/6 is the
    // window's estimate row (no statuses, the estimate's NAV).
    LedgerModel ledger;
    test::AddDays(ledger, {{"1.0000", "开放申购", "开放赎回"},
                           {"1.0100", "开放申购", "开放赎回"},
                           {"0.9999", "开放申购", "开放赎回"},
                           {"0.9500", "开放申购", "开放赎回", "每份派现金0.0500元"},
                           {"0.9595", "开放申购", "开放赎回"},
                           {"0.9700"}});
    ledger.SetCell(1, Column::DailyChange, QStringLiteral("0.5"));
    const std::vector<OfficialDay> official = OfficialDays(ledger);
    ASSERT_EQ(official.size(), 6u);
    ASSERT_TRUE(official[0].changePct);
    EXPECT_DOUBLE_EQ(*official[0].changePct, 0.5);
    EXPECT_NEAR(*official[1].changePct, 1.0, 1e-9);
    EXPECT_NEAR(*official[2].changePct, -1.0, 1e-9);
    EXPECT_FALSE(official[3].changePct);
    EXPECT_NEAR(*official[4].changePct, 1.0, 1e-9);

    RecordedDays days;
    days[static_cast<size_t>(EstimateSource::Sina)] = {
        Noted("2020-01-01", 1.0010, 0.6),   // +0.1 pp
        Noted("2020-01-02", 1.0080, 0.8),   // −0.2
        Noted("2020-01-03", 0.9960, -1.4),  // −0.4, the largest
        Noted("2020-01-04", 0.9500, -5.0),  // dividend: skipped
        Noted("2020-01-05", 0.9600, 1.1),   // +0.1
        Noted("2020-01-06", 0.9700, 1.09),  // the estimate row: pending
        Noted("2020-01-07", 0.9800, 1.0)};  // not in the ledger: pending
    days[static_cast<size_t>(EstimateSource::Holdings)] = {Noted("2020-01-09", 1.0, 0.1)};

    const std::vector<SourceAccuracy> result = CompareRecord(days, official);
    ASSERT_EQ(result.size(), 2u);
    const SourceAccuracy& sina = result[0];
    EXPECT_EQ(sina.source, EstimateSource::Sina);
    EXPECT_EQ(sina.days, 4);
    EXPECT_EQ(sina.pending, 2);
    EXPECT_EQ(sina.skipped, 1);
    EXPECT_NEAR(sina.meanAbsErrorPp, (0.1 + 0.2 + 0.4 + 0.1) / 4, 1e-9);
    EXPECT_NEAR(sina.maxAbsErrorPp, 0.4, 1e-9);
    EXPECT_EQ(sina.maxErrorDate, QDate(2020, 1, 3));
    ASSERT_EQ(sina.lastDays.size(), 4u);
    EXPECT_EQ(sina.lastDays[0].date, QDate(2020, 1, 5));  // newest first
    EXPECT_NEAR(sina.lastDays[0].errorPp, 0.1, 1e-9);
    EXPECT_DOUBLE_EQ(sina.lastDays[0].official, 0.9595);
    EXPECT_DOUBLE_EQ(sina.lastDays[0].estimate, 0.96);
    EXPECT_NEAR(sina.lastDays[2].errorPp, -0.2, 1e-9);

    const SourceAccuracy& holdings = result[1];
    EXPECT_EQ(holdings.source, EstimateSource::Holdings);
    EXPECT_EQ(holdings.days, 0);
    EXPECT_EQ(holdings.pending, 1);
    EXPECT_TRUE(holdings.lastDays.empty());
}

TEST(EstimateAccuracy, ListsTheLastTwentyDaysAndTrustsNoChangeAcrossAGap) {
    LedgerModel ledger;
    RecordedDays days;
    auto& tiantian = days[static_cast<size_t>(EstimateSource::Tiantian)];
    for (int i = 1; i <= 25; ++i) {
        ledger.AddRow(QString::number(i));
        ledger.SetCell(i, Column::Date, QStringLiteral("2020/2/%1").arg(i));
        // Row 10's NAV is unreadable: row 11 has no day before it.
        ledger.SetCell(i, Column::NetValue, i == 10 ? QStringLiteral("--") : QStringLiteral("1"));
        ledger.SetCell(i, Column::PurchaseStatus, QStringLiteral("开放申购"));
        tiantian.push_back({QDate(2020, 2, i), QTime(15, 0), 1.0, i / 100.0, 1.0});
    }
    const SourceAccuracy acc = CompareRecord(days, OfficialDays(ledger)).at(0);
    // Row 1 has no stored change, row 10 no NAV, row 11 no day before it.
    EXPECT_EQ(acc.days, 22);
    EXPECT_EQ(acc.skipped, 2);
    EXPECT_EQ(acc.pending, 1);
    ASSERT_EQ(acc.lastDays.size(), static_cast<size_t>(kAccuracyLastDays));
    EXPECT_EQ(acc.lastDays.front().date, QDate(2020, 2, 25));
    EXPECT_EQ(acc.lastDays.back().date, QDate(2020, 2, 4));  // 25..12, then 9..4
    EXPECT_EQ(acc.maxErrorDate, QDate(2020, 2, 25));
}

}  // namespace
