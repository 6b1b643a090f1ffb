#include "core/marketdata/fund_directory.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <iostream>

#include "core/marketdata/http_client.h"
#include "core/storage/ini_document.h"
#include "support/local_http_server.h"
#include "support/test_support.h"

using namespace tovira;

namespace {

const char* const kScriptPath = "/js/fundcode_search.js";

QByteArray Gbk(const QString& text) {
    QStringEncoder encoder("GBK");
    return encoder.encode(text);
}

QByteArray Excerpt() {
    return test::ReadFileBytes(test::DataPath("provider/fundcode_search_excerpt_first60.js"));
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QString DirectoryName(const QString& folder, const QString& code) {
    IniDocument doc;
    doc.Load(folder + "/FundCode.ini");
    return doc.Value("基金代码", code);
}

// Starts a download and runs the event loop until it reports.
// received collects the byte counts of the progress reports.
std::optional<DirectoryResult> Download(HttpClient& client, const QString& baseUrl,
                                        const QString& folder, QList<qint64>* received = nullptr) {
    std::optional<DirectoryResult> result;
    int calls = 0;
    DownloadFundDirectory(
        client, baseUrl, folder,
        [&](DirectoryResult r) {
            result = r;
            ++calls;
        },
        nullptr,
        [&](qint64 bytes, qint64 total) {
            if (received) *received << bytes;
            EXPECT_TRUE(total == -1 || bytes <= total);
        });
    QElapsedTimer clock;
    clock.start();
    while (!result && clock.elapsed() < 5000) QTest::qWait(5);
    EXPECT_LE(calls, 1);
    return result;
}

}  // namespace

TEST(FundDirectoryParseTest, RealScriptExcerpt) {
    const QByteArray bytes = Excerpt();
    ASSERT_FALSE(bytes.isEmpty());
    const auto entries =
        ParseFundDirectory(HttpClient::DecodeBody(bytes, "application/javascript"));
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 60);
    EXPECT_EQ(entries->at(0), std::make_pair(QString("000001"), QString("华夏成长混合")));
    EXPECT_EQ(entries->at(1).first, "000002");
    EXPECT_EQ(entries->at(59), std::make_pair(QString("000076"), QString("华夏恒生ETF联接现钞")));
}

// The script as it answers in 2026: no byte order mark, two-level
// categories ("混合型-灵活") and names with brackets and Latin letters.
TEST(FundDirectoryParseTest, RealScriptOf2026) {
    const QByteArray bytes =
        test::ReadFileBytes(test::DataPath("nav-2026/fundcode_search_js_2026.js"));
    ASSERT_FALSE(bytes.isEmpty());
    const auto entries =
        ParseFundDirectory(HttpClient::DecodeBody(bytes, "application/javascript"));
    ASSERT_TRUE(entries);
    const QVector<std::pair<QString, QString>> expected{
        {"000001", "华夏成长混合"},          {"000002", "华夏成长混合(后端)"},
        {"002943", "广发多因子混合"},        {"270042", "广发纳斯达克100ETF联接人民币(QDII)A"},
        {"000198", "天弘余额宝货币"},        {"007708", "中银瑞福浮动净值型货币A"},
        {"005156", "嘉实领航资产配置混合A"}, {"110020", "易方达沪深300ETF联接A"},
        {"000084", "博时安盈债券A"},
    };
    EXPECT_EQ(*entries, expected);
}

TEST(FundDirectoryParseTest, MalformedScriptsFail) {
    EXPECT_FALSE(ParseFundDirectory(""));
    EXPECT_FALSE(ParseFundDirectory("<html>404</html>"));
    EXPECT_FALSE(ParseFundDirectory(R"(var r = [["000001","A","名"];)"));  // no "]]"
    // Two quoted texts in one entry; the rest are fine.
    EXPECT_FALSE(
        ParseFundDirectory(R"([["000001","A","名","x"],["000002","B"],["000003","C","丙"]])"));
    // Only the first list counts; text after it is ignored.
    // Line breaks and other control characters would break FundCode.ini's lines.
    const auto broken =
        ParseFundDirectory(QStringLiteral("[[\"00000\r\n1\",\"A\",\"华夏\r\n成长\t混合\x01\"]]"));
    ASSERT_TRUE(broken);
    EXPECT_EQ(broken->value(0),
              std::make_pair(QStringLiteral("000001"), QStringLiteral("华夏成长混合")));

    const auto first = ParseFundDirectory(R"(x=[["1","a","甲"]]; y=[["2","b"]])");
    ASSERT_TRUE(first);
    ASSERT_EQ(first->size(), 1);
    EXPECT_EQ(first->at(0).second, "甲");
}

TEST(FundDirectoryWriteTest, MergesIntoALeftoverCacheAndReplacesTheDirectory) {
    QTemporaryDir dir;
    WriteBytes(dir.filePath("FundCode.ini"), Gbk("[基金代码]\r\n999999=旧目录\r\n"));
    // What an interrupted attempt left behind.
    WriteBytes(dir.filePath("Cache.ini"), Gbk("[基金代码]\r\n888888=残留基金\r\n000001=旧名\r\n"));

    ASSERT_TRUE(WriteFundDirectory(dir.path(),
                                   {{"000001", "华夏成长混合"}, {"000011", "华夏大盘精选混合"}}));
    EXPECT_FALSE(QFile::exists(dir.filePath("Cache.ini")));
    EXPECT_EQ(test::ReadFileBytes(dir.filePath("FundCode.ini")),
              Gbk("[基金代码]\r\n888888=残留基金\r\n000001=华夏成长混合\r\n"
                  "000011=华夏大盘精选混合\r\n"));
}

TEST(FundDirectoryWriteTest, AFailedReplaceKeepsTheOldDirectory) {
    QTemporaryDir dir;
    // FundCode.ini that cannot be replaced (a folder of that name).
    ASSERT_TRUE(QDir(dir.path()).mkdir("FundCode.ini"));
    EXPECT_FALSE(WriteFundDirectory(dir.path(), {{"000001", "华夏成长混合"}}));
    EXPECT_TRUE(QFileInfo(dir.filePath("FundCode.ini")).isDir());
    // The new entries wait in Cache.ini for the next attempt.
    IniDocument cache;
    ASSERT_TRUE(cache.Load(dir.filePath("Cache.ini")));
    EXPECT_EQ(cache.Value("基金代码", "000001"), "华夏成长混合");

    // A name GBK cannot hold is refused rather than written damaged.
    QTemporaryDir other;
    WriteBytes(other.filePath("FundCode.ini"), Gbk("[基金代码]\r\n999999=旧目录\r\n"));
    EXPECT_FALSE(
        WriteFundDirectory(other.path(), {{"000001", QString::fromUtf8("基金\xF0\x9F\x98\x80")}}));
    EXPECT_EQ(DirectoryName(other.path(), "999999"), "旧目录");
}

TEST(FundDirectoryWriteTest, TwentyThousandFundsWriteQuickly) {
    QTemporaryDir dir;
    QVector<std::pair<QString, QString>> entries;
    QString script = QStringLiteral("var r = [");
    for (int i = 0; i < 20000; ++i) {
        const QString code = QStringLiteral("%1").arg(i * 37 % 1000000, 6, 10, QLatin1Char('0'));
        const QString name = QStringLiteral("测试成长混合%1A").arg(i);
        entries.append({code, name});
        script +=
            QStringLiteral("%1[\"%2\",\"CSCZHH\",\"%3\",\"混合型-偏股\",\"CESHICHENGZHANGHUNHE\"]")
                .arg(i ? "," : "", code, name);
    }
    script += QStringLiteral("];");

    QElapsedTimer clock;
    clock.start();
    const auto parsed = ParseFundDirectory(script);
    const qint64 parseMs = clock.restart();
    ASSERT_TRUE(parsed);
    ASSERT_EQ(*parsed, entries);
    ASSERT_TRUE(WriteFundDirectory(dir.path(), *parsed));
    const qint64 writeMs = clock.restart();
    // The worst case: merging into a complete Cache.ini of a failed attempt.
    ASSERT_TRUE(QFile::copy(dir.filePath("FundCode.ini"), dir.filePath("Cache.ini")));
    clock.restart();
    ASSERT_TRUE(WriteFundDirectory(dir.path(), *parsed));
    const qint64 mergeMs = clock.elapsed();
    std::cout << "[ timing   ] 20000 funds: parse " << parseMs << " ms, write " << writeMs
              << " ms, merge into a full Cache.ini " << mergeMs << " ms\n";
    EXPECT_LT(parseMs + writeMs, 1000);
    EXPECT_LT(mergeMs, 1000);
    EXPECT_EQ(DirectoryName(dir.path(), entries[12345].first), entries[12345].second);
}

class FundDirectoryDownloadTest : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    test::LocalHttpServer server;
    HttpClient client;
    QByteArray oldDirectory = Gbk("[基金代码]\r\n999999=旧目录\r\n");

    void SetUp() override { WriteBytes(dir.filePath("FundCode.ini"), oldDirectory); }
    QByteArray Directory() const { return test::ReadFileBytes(dir.filePath("FundCode.ini")); }
};

TEST_F(FundDirectoryDownloadTest, ASuccessfulDownloadReplacesTheDirectory) {
    server.Answer(kScriptPath, Excerpt(), "application/javascript");
    QList<qint64> received;
    EXPECT_EQ(Download(client, server.BaseUrl(), dir.path(), &received), DirectoryResult::Updated);
    ASSERT_FALSE(received.isEmpty());
    EXPECT_EQ(received.back(), Excerpt().size());
    EXPECT_EQ(server.RequestedTargets(), QStringList{kScriptPath});
    EXPECT_EQ(DirectoryName(dir.path(), "000001"), "华夏成长混合");
    EXPECT_EQ(DirectoryName(dir.path(), "000076"), "华夏恒生ETF联接现钞");
    EXPECT_EQ(DirectoryName(dir.path(), "999999"), "");  // the old file is gone
    EXPECT_TRUE(Directory().contains(Gbk("000011=华夏大盘精选混合\r\n")));
    EXPECT_FALSE(QFile::exists(dir.filePath("Cache.ini")));
}

// A transfer that stalls part way still shows what has come (Qt's own
// progress signal holds back a burst that is followed by nothing).
TEST_F(FundDirectoryDownloadTest, ProgressShowsWhatCameBeforeAStall) {
    const QByteArray script = Excerpt().repeated(40);
    server.Stall(kScriptPath, script, 5000, "application/javascript");
    client.SetTimeout(1500);
    QList<qint64> received;
    std::optional<DirectoryResult> result;
    DownloadFundDirectory(
        client, server.BaseUrl(), dir.path(), [&](DirectoryResult r) { result = r; }, nullptr,
        [&](qint64 bytes, qint64 total) {
            received << bytes;
            EXPECT_EQ(total, script.size());
        });
    QTRY_COMPARE_WITH_TIMEOUT(received.value(received.size() - 1), qint64(5000), 1000);
    EXPECT_FALSE(result);  // still waiting
    QTRY_VERIFY_WITH_TIMEOUT(result.has_value(), 3000);
    EXPECT_EQ(*result, DirectoryResult::TimedOut);
    EXPECT_EQ(Directory(), oldDirectory);
}

TEST_F(FundDirectoryDownloadTest, FailuresLeaveTheDirectoryAsItWas) {
    server.Answer(kScriptPath,
                  R"(var r = [["000001","HXCZHH","华夏成长混合"],["000003","ZHKZZZQA"]];)",
                  "application/javascript; charset=utf-8");
    EXPECT_EQ(Download(client, server.BaseUrl(), dir.path()), DirectoryResult::Failed);
    EXPECT_FALSE(QFile::exists(dir.filePath("Cache.ini")));

    // An error page is not the directory, whatever it holds.
    server.Answer(kScriptPath, R"([["1","a","甲"]])", "text/plain", 503);
    EXPECT_EQ(Download(client, server.BaseUrl(), dir.path()), DirectoryResult::Failed);

    server.Hang(kScriptPath);
    client.SetTimeout(300);
    EXPECT_EQ(Download(client, server.BaseUrl(), dir.path()), DirectoryResult::TimedOut);

    EXPECT_EQ(Download(client, QString(), dir.path()), DirectoryResult::Failed);  // no host
    EXPECT_EQ(Directory(), oldDirectory);
}
