#include "core/marketdata/holdings_estimate.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>
#include <cerrno>

#include "core/marketdata/estimate_fixtures.h"
#include "core/storage/file_io.h"

namespace tovira {
namespace {

// The lines of the published answers in the file, comments left out.
QStringList FixtureLines(const char* file) {
    QStringList lines;
    for (const QByteArray& body : test::FixtureBodies(file))
        lines += QString::fromUtf8(body).split(u'\n');
    return lines;
}
using test::ReadFileBytes;

const QDate kToday(2026, 7, 27);
const QTimeZone kBeijing(8 * 3600);

QDateTime At(const QDate& date, int hour, int minute) {
    return QDateTime(date, QTime(hour, minute), kBeijing);
}

TEST(HoldingsEstimate, StockShareFromTheFundDataScript) {
    const QStringList published = FixtureLines("asset_allocation.txt");
    QString lastNull = published[1];
    lastNull.replace(QStringLiteral("87.24"), QStringLiteral("null"));
    QString noDates = published[1];
    noDates.replace(QStringLiteral(",\"categories\":[\"2025-12-31\",\"2026-03-31\"]"), QString());
    const std::pair<QString, QString> cases[] = {
        {published[1], "87.24 2026-03-31"},
        {QStringLiteral("var ishb=false;var Data_netWorthTrend = [{\"x\":1}];") + published[1],
         "87.24 2026-03-31"},
        {noDates, "87.24 "},
        // The published sample trimmed with "...": no JSON, no share.
        {published[0], "none"},
        {lastNull, "none"},
        {published[1].left(published[1].size() - 20), "none"},
        {"var Data_assetAllocation = {\"series\":[{\"name\":\"股票占净比\",\"data\":[250]}]};",
         "none"},
        {"var Data_netWorthTrend = [];", "none"},
    };
    for (const auto& [script, expected] : cases) {
        const std::optional<StockShare> share = ParseStockShare(script);
        EXPECT_EQ(share ? QStringLiteral("%1 %2")
                              .arg(share->pct)
                              .arg(share->reportDate.toString(Qt::ISODate))
                        : QStringLiteral("none"),
                  expected)
            << script.left(60).toStdString();
    }
}

TEST(HoldingsEstimate, ChangeFromTheQuotedWeight) {
    const FundHoldings holdings{{2026, 3, 31},
                                {{"600519", "贵州茅台", 50, "1"},
                                 {"00700", "腾讯控股", 20, "116"},
                                 {"000001", "平安银行", 30, "0"}}};
    const OfficialNav official{2.0, {2026, 7, 24}};
    const StockShare share{90, {2026, 3, 31}};
    const QDateTime t1 = At(kToday, 14, 30);
    const QDateTime t2 = At(kToday, 14, 51);
    const QDateTime friday = At({2026, 7, 24}, 15, 0);
    struct Case {
        const char* what;
        std::vector<StockQuote> quotes;
        std::optional<StockShare> share;
        OfficialNav official;
        std::optional<double> change;  // none: failed
        EstimateFailure failure;
    };
    const Case cases[] = {
        {"all quoted",
         {{"600519", "1", 2, t1}, {"00700", "116", -1, t2}, {"000001", "0", 1, t1}},
         share,
         official,
         0.9 * (100 - 20 + 30) / 100,
         {}},
        {"exactly 70 %",
         {{"600519", "1", 2, t1}, {"00700", "", -1, t2}},
         share,
         official,
         0.9 * (100 - 20) / 70,
         {}},
        {"no stock share: the quoted stocks alone",
         {{"600519", "1", 2, t1}, {"00700", "", -1, t2}},
         std::nullopt,
         official,
         (100 - 20) / 100.0,
         {}},
        {"a quote from another market is not the holding's",
         {{"600519", "1", 2, t1}, {"000001", "1", 5, t1}},
         share,
         official,
         {},
         EstimateFailure::NoQuotesYet},
        {"all \"-\" before the open", {}, share, official, {}, EstimateFailure::NoQuotesYet},
        {"a holiday gives the last session's quotes",
         {{"600519", "1", 2, friday}, {"00700", "116", -1, friday}, {"000001", "0", 1, friday}},
         share,
         official,
         {},
         EstimateFailure::NoQuotesYet},
        {"today's NAV is out",
         {{"600519", "1", 2, t1}, {"00700", "116", -1, t2}},
         share,
         {2.0, kToday},
         {},
         EstimateFailure::NoEstimate},
        {"no NAV to start from",
         {{"600519", "1", 2, t1}, {"00700", "116", -1, t2}},
         share,
         {0, {2026, 7, 24}},
         {},
         EstimateFailure::NoEstimate},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const EstimateAttempt a =
            EstimateFromHoldings(holdings, c.share, c.quotes, c.official, kToday);
        ASSERT_EQ(a.estimate.has_value(), c.change.has_value()) << a.detail.toStdString();
        if (!a.estimate) {
            EXPECT_EQ(a.failure, c.failure);
            continue;
        }
        const SourceEstimate& e = *a.estimate;
        EXPECT_EQ(e.source, EstimateSource::Holdings);
        EXPECT_NEAR(e.changePct, *c.change, 1e-12);
        EXPECT_NEAR(e.nav, 2.0 * (1 + *c.change / 100), 1e-12);
        EXPECT_EQ(e.time, t2);
        EXPECT_EQ(e.time.offsetFromUtc(), 8 * 3600);
        EXPECT_EQ(e.previousNav, 2.0);
        EXPECT_EQ(e.previousNavDate, QDate(2026, 7, 24));
        EXPECT_EQ(e.holdingsDate, QDate(2026, 3, 31));
        EXPECT_EQ(e.stockShareMissing, !c.share);
        EXPECT_EQ(e.stockSharePct, c.share ? std::optional<double>(90) : std::nullopt);
        EXPECT_TRUE(IsDatedOn(e, kToday));
    }
}

TEST(HoldingsEstimate, TheLeastQuotedShareIsSeventyPercent) {
    const OfficialNav official{1.0, {2026, 7, 24}};
    const QDateTime t = At(kToday, 10, 0);
    // {quoted weight, unquoted weight}, whether it estimates.
    const std::tuple<double, double, bool> cases[] = {
        {7, 3, true},   {0.7, 0.3, true}, {69.9, 30.1, false},
        {70, 30, true}, {7, 0, true},     {0, 0, false},
    };
    for (const auto& [quoted, unquoted, estimates] : cases) {
        const FundHoldings holdings{{2026, 3, 31},
                                    {{"600519", "", quoted, "1"}, {"000001", "", unquoted, "0"}}};
        const EstimateAttempt a =
            EstimateFromHoldings(holdings, std::nullopt, {{"600519", "1", 1, t}}, official, kToday);
        EXPECT_EQ(a.estimate.has_value(), estimates) << quoted << " " << a.detail.toStdString();
    }
}

class HoldingsCache : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    const HoldingsSnapshot snapshot{
        {{2026, 3, 31}, {{"600519", "贵州茅台", 9.97, "1"}, {"NVDA", "英伟达", 0.1 + 0.2, "105"}}},
        StockShare{94.09, {2026, 3, 31}}};

    QString Path() const { return HoldingsCachePath(dir.path(), "005827"); }
    void Damage(const QByteArray& bytes) {
        QFile f(Path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
};

TEST_F(HoldingsCache, KeepsTheDaysSnapshotExactly) {
    ASSERT_TRUE(WriteHoldingsCache(dir.path(), "005827", kToday, snapshot));
    EXPECT_EQ(Path(), dir.path() + "/data/holdings/005827.json");
    for (const auto& share : {snapshot.stockShare, std::optional<StockShare>()}) {
        HoldingsSnapshot written = snapshot;
        written.stockShare = share;
        ASSERT_TRUE(WriteHoldingsCache(dir.path(), "005827", kToday, written));
        const std::optional<HoldingsSnapshot> read =
            ReadHoldingsCache(dir.path(), "005827", kToday);
        ASSERT_TRUE(read);
        EXPECT_EQ(read->holdings.reportDate, written.holdings.reportDate);
        ASSERT_EQ(read->holdings.stocks.size(), 2u);
        for (size_t i = 0; i < 2; ++i) {
            const Holding& a = read->holdings.stocks[i];
            const Holding& b = written.holdings.stocks[i];
            EXPECT_EQ(a.code + a.name + a.market, b.code + b.name + b.market);
            EXPECT_EQ(a.weightPct, b.weightPct);  // bit for bit
        }
        EXPECT_EQ(read->stockShare.has_value(), share.has_value());
        if (share) {
            EXPECT_EQ(read->stockShare->pct, share->pct);
        }
    }
    // Another day, another fund, or a code that would leave the folder: nothing.
    EXPECT_FALSE(ReadHoldingsCache(dir.path(), "005827", kToday.addDays(1)));
    EXPECT_FALSE(ReadHoldingsCache(dir.path(), "110022", kToday));
    EXPECT_EQ(HoldingsCachePath(dir.path(), "../005827"), QString());
    EXPECT_FALSE(WriteHoldingsCache(dir.path(), "../x", kToday, snapshot));
}

TEST_F(HoldingsCache, ADamagedFileIsIgnoredAndReplaced) {
    ASSERT_TRUE(WriteHoldingsCache(dir.path(), "005827", kToday, snapshot));
    const QByteArray good = ReadFileBytes(Path());
    QByteArray negative = good;
    negative.replace("9.97", "-1");
    QByteArray otherCode = good;
    otherCode.replace("\"005827\"", "\"110022\"");
    QByteArray badShare = good;
    badShare.replace("94.09", "\"94.09\"");
    QByteArray noShare = good;
    noShare.replace("\"stockShare\"", "\"share\"");
    for (const QByteArray& bad : {good.left(good.size() / 2), negative, otherCode, badShare,
                                  noShare, QByteArray("[]"), QByteArray()}) {
        Damage(bad);
        EXPECT_FALSE(ReadHoldingsCache(dir.path(), "005827", kToday)) << bad.constData();
    }
    ASSERT_TRUE(WriteHoldingsCache(dir.path(), "005827", kToday, snapshot));
    EXPECT_TRUE(ReadHoldingsCache(dir.path(), "005827", kToday));
}

TEST_F(HoldingsCache, AFailingWriteLeavesTheOldFile) {
    ASSERT_TRUE(WriteHoldingsCache(dir.path(), "005827", kToday.addDays(-1), snapshot));
    const QByteArray before = ReadFileBytes(Path());
    const FileSystemCalls saved = FileSystem();
    FileSystem().rename = [](const char*, const char*) {
        errno = ENOSPC;
        return -1;
    };
    EXPECT_FALSE(WriteHoldingsCache(dir.path(), "005827", kToday, snapshot));
    FileSystem() = saved;
    EXPECT_EQ(ReadFileBytes(Path()), before);
    EXPECT_EQ(QDir(dir.path() + "/data/holdings").entryList(QDir::Files),
              QStringList{"005827.json"});
    EXPECT_TRUE(ReadHoldingsCache(dir.path(), "005827", kToday.addDays(-1)));
    EXPECT_FALSE(ReadHoldingsCache(dir.path(), "005827", kToday));
}

}  // namespace
}  // namespace tovira
