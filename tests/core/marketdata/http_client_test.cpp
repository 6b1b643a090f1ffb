#include "core/marketdata/http_client.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QPointer>
#include <QStringEncoder>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <optional>

#include "core/marketdata/config.h"
#include "support/local_http_server.h"
#include "support/test_support.h"

using namespace tovira;

namespace {

QByteArray Gbk(const QString& text) {
    QStringEncoder encoder("GBK");
    return encoder.encode(text);
}

// Runs the event loop until the request reports (or a generous limit passes).
struct Waiter {
    int calls = 0;
    HttpResponse last;
    std::function<void(const HttpResponse&)> Callback() {
        return [this](const HttpResponse& r) {
            ++calls;
            last = r;
        };
    }
    bool Wait(int ms = 5000) {
        QElapsedTimer clock;
        clock.start();
        while (calls == 0 && clock.elapsed() < ms) QTest::qWait(5);
        return calls > 0;
    }
};

// A port on 127.0.0.1 that nobody listens on.
quint16 ClosedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress(QHostAddress::LocalHost), 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

}  // namespace

TEST(HttpDecodeTest, DeclaredCharsetThenUtf8ThenGb18030) {
    const QString text = QStringLiteral("华夏成长混合 单位净值");
    const QByteArray gbk = Gbk(text), utf8 = text.toUtf8(), bom = "\xEF\xBB\xBF" + utf8;
    const struct {
        QByteArray body;
        const char* contentType;
    } cases[] = {
        {gbk, "text/html; charset=gbk"},
        {gbk, "text/html;charset=\"GB2312\""},
        {gbk, "text/html; Charset = GBK ; q=1"},
        {utf8, "application/javascript; charset=utf-8"},
        {utf8, ""},
        {gbk, "text/html"},                           // not UTF-8: GB18030
        {gbk, "text/html; charset=no-such-charset"},  // unknown: as if absent
        {bom, ""},
        {bom, "text/html; charset=gbk"},  // the byte order mark wins
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HttpClient::DecodeBody(c.body, c.contentType), text) << c.contentType;
    }
    // Declared Latin-1 is honoured even though the bytes would read as UTF-8.
    EXPECT_EQ(HttpClient::DecodeBody("caf\xC3\xA9", "text/plain; charset=iso-8859-1"),
              QString::fromLatin1("caf\xC3\xA9"));
    // A UTF-8 sequence cut off at the very end is not valid UTF-8 either.
    const QByteArray cut = utf8.chopped(1);
    EXPECT_EQ(HttpClient::DecodeBody(cut, ""), HttpClient::DecodeBody(cut, "x; charset=gbk"));
}

class HttpClientTest : public ::testing::Test {
  protected:
    test::LocalHttpServer server;
    HttpClient client;
    Waiter waiter;

    QUrl Url(const char* path) const { return QUrl(server.BaseUrl() + QString::fromUtf8(path)); }
};

TEST_F(HttpClientTest, AnswersAreDecodedByTheirCharset) {
    const QString page = QStringLiteral("<td>开放申购</td>");
    server.Answer("/gbk", Gbk(page), "text/html; charset=gbk");
    client.Get(Url("/gbk?x=1"), waiter.Callback());
    ASSERT_TRUE(waiter.Wait());
    EXPECT_TRUE(waiter.last.ok);
    EXPECT_FALSE(waiter.last.timedOut);
    EXPECT_EQ(waiter.last.status, 200);
    EXPECT_EQ(waiter.last.body, Gbk(page));
    EXPECT_EQ(waiter.last.text, page);
    EXPECT_EQ(server.RequestedTargets(), QStringList({"/gbk?x=1"}));
}

TEST_F(HttpClientTest, ErrorStatusesAreStillCompleteAnswers) {
    client.Get(Url("/missing"), waiter.Callback());
    ASSERT_TRUE(waiter.Wait());
    EXPECT_TRUE(waiter.last.ok);
    EXPECT_EQ(waiter.last.status, 404);
    EXPECT_EQ(waiter.last.text, "not found");

    server.Answer("/broken", "oops", "text/plain", 500);
    Waiter broken;
    client.Get(Url("/broken"), broken.Callback());
    ASSERT_TRUE(broken.Wait());
    EXPECT_TRUE(broken.last.ok);
    EXPECT_EQ(broken.last.status, 500);
    EXPECT_EQ(broken.last.body, "oops");
}

TEST_F(HttpClientTest, BrokenConnectionsAreFailures) {
    client.Get(QUrl(QStringLiteral("http://127.0.0.1:%1/x").arg(ClosedPort())), waiter.Callback());
    ASSERT_TRUE(waiter.Wait());
    EXPECT_FALSE(waiter.last.ok);
    EXPECT_FALSE(waiter.last.timedOut);
    EXPECT_FALSE(waiter.last.error.isEmpty());

    // A body cut short is not a complete answer, although a status arrived.
    server.Truncate("/cut", QByteArray(4000, 'x'), 100);
    Waiter cut;
    client.Get(Url("/cut"), cut.Callback());
    ASSERT_TRUE(cut.Wait());
    EXPECT_FALSE(cut.last.ok);
}

TEST_F(HttpClientTest, ASilentServerTimesOutOnce) {
    server.Hang("/hang");
    client.SetTimeout(300);
    QElapsedTimer clock;
    clock.start();
    client.Get(Url("/hang"), waiter.Callback());
    ASSERT_TRUE(waiter.Wait());
    const qint64 elapsed = clock.elapsed();
    EXPECT_GE(elapsed, 290);
    EXPECT_LT(elapsed, 2000);
    EXPECT_TRUE(waiter.last.timedOut);
    EXPECT_FALSE(waiter.last.ok);
    QTest::qWait(400);  // nothing more arrives after the abort
    EXPECT_EQ(waiter.calls, 1);
}

TEST_F(HttpClientTest, NoCallbackOnceTheContextIsGone) {
    server.Answer("/slow", "answer", "text/plain", 200, 150);
    server.Hang("/hang");
    client.SetTimeout(300);
    auto context = std::make_unique<QObject>();
    auto hanging = std::make_unique<QObject>();
    client.Get(Url("/slow"), waiter.Callback(), context.get());
    Waiter hangWaiter;
    client.Get(Url("/hang"), hangWaiter.Callback(), hanging.get());
    QTest::qWait(20);
    context.reset();
    hanging.reset();
    QTest::qWait(600);
    EXPECT_EQ(waiter.calls, 0);
    EXPECT_EQ(hangWaiter.calls, 0);

    // A window announces its destruction from its own destructor, before
    // the QPointers to it are cleared: the abort that follows must not call
    // back into it either.
    struct Window : QObject {
        ~Window() override { emit destroyed(this); }
    };
    auto window = std::make_unique<Window>();
    client.Get(Url("/hang"), hangWaiter.Callback(), window.get());
    QTest::qWait(20);
    window.reset();
    QTest::qWait(100);
    EXPECT_EQ(hangWaiter.calls, 0);

    // A live context still gets its answer.
    QObject alive;
    Waiter third;
    client.Get(Url("/slow"), third.Callback(), &alive);
    ASSERT_TRUE(third.Wait());
    EXPECT_EQ(third.last.text, "answer");
}

// --- Config.ini ------------------------------------------------------------

TEST(ConfigTest, FirstLoadWritesEveryDefault) {
    QTemporaryDir dir;
    const Config config = Config::Load(dir.path());
    EXPECT_EQ(config.BaseUrl(Endpoint::NavHistory), "http://fund.eastmoney.com");
    EXPECT_EQ(config.Host(Endpoint::EstimateTiantian), "fundgz.1234567.com.cn");
    EXPECT_EQ(config.Host(Endpoint::TrendChart), "j4.dfcfw.com");
    EXPECT_EQ(config.BaseUrl(Endpoint::UpdateServer), "");
    EXPECT_EQ(config.HistorySource(), NavSource::Api);
    EXPECT_EQ(config.HistoryBaseUrl(NavSource::Api), "https://api.fund.eastmoney.com");
    EXPECT_EQ(config.HistoryBaseUrl(NavSource::Trend), "https://fund.eastmoney.com");
    EXPECT_EQ(config.TimeoutMs(), 20000);
    EXPECT_EQ(config.ImportLimitMs(), 300000);

    const QByteArray written = test::ReadFileBytes(dir.filePath("Config.ini"));
    for (const char* line :
         {"[服务器]\r\nNavHistory=fund.eastmoney.com\r\nNavHistoryApi=https://"
          "api.fund.eastmoney.com\r\n"
          "FundDataScript=https://fund.eastmoney.com\r\nFundDirectory=fund.eastmoney.com\r\n",
          "UserGroupPage=\r\nNavHistorySource=api\r\n", "Estimate10jqka=gz.fund.10jqka.com.cn\r\n",
          "UpdateServer=\r\n", "UserGroupPage=\r\n",
          "[网络]\r\nTimeoutSeconds=20\r\nImportTimeoutSeconds=300\r\n"}) {
        EXPECT_TRUE(written.contains(Gbk(QString::fromUtf8(line)))) << line;
    }
}

TEST(ConfigTest, UserEditsAreKeptAndRead) {
    QTemporaryDir dir;
    const QByteArray user = Gbk(
        QStringLiteral("; 本机测试\r\n[服务器]\r\nNavHistory = 127.0.0.1:8080\r\n"
                       "FundDirectory=http://mirror.example/\r\nUpdateServer=\r\nNavHistorySource= "
                       "Table\r\n[网络]\r\nTimeoutSeconds=5\r\n"
                       "ImportTimeoutSeconds=60\r\n"));
    QFile file(dir.filePath("Config.ini"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(user);
    file.close();

    const Config config = Config::Load(dir.path());
    EXPECT_EQ(config.BaseUrl(Endpoint::NavHistory), "http://127.0.0.1:8080");
    EXPECT_EQ(config.Host(Endpoint::FundDirectory), "mirror.example");
    EXPECT_EQ(config.HistorySource(), NavSource::Table);
    EXPECT_EQ(config.BaseUrl(Endpoint::UpdateServer), "");
    EXPECT_EQ(config.Host(Endpoint::TrendChart), "j4.dfcfw.com");
    EXPECT_EQ(config.TimeoutMs(), 5000);
    EXPECT_EQ(config.ImportLimitMs(), 60000);

    // Missing keys were added; what the user wrote is there, as written.
    const QByteArray after = test::ReadFileBytes(dir.filePath("Config.ini"));
    EXPECT_TRUE(after.startsWith(Gbk(QStringLiteral("; 本机测试\r\n[服务器]\r\n"))));
    EXPECT_TRUE(after.contains("NavHistory = 127.0.0.1:8080\r\n"));
    EXPECT_TRUE(after.contains("FundDirectory=http://mirror.example/\r\n"));
    EXPECT_TRUE(after.contains("TrendChart=j4.dfcfw.com\r\n"));
    // Nothing missing: a second load leaves the file alone.
    Config::Load(dir.path());
    EXPECT_EQ(test::ReadFileBytes(dir.filePath("Config.ini")), after);
}

TEST(ConfigTest, UnusableTimeoutsAndFoldersFallBack) {
    QTemporaryDir dir;
    for (const char* text : {"abc", "0", "-3", "", "2.5"}) {
        QFile file(dir.filePath("Config.ini"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("[网络]\r\nTimeoutSeconds=") + text + "\r\n");
        file.close();
        EXPECT_EQ(Config::Load(dir.path()).TimeoutMs(), 20000) << text;
    }
    // A folder that cannot hold the file: the defaults, and no crash.
    const Config config = Config::Load(dir.filePath("no/such/folder"));
    EXPECT_EQ(config.BaseUrl(Endpoint::FundDirectory), "http://fund.eastmoney.com");
    EXPECT_FALSE(QFile::exists(dir.filePath("no/such/folder/Config.ini")));

    // A key may name its scheme; a bare host is reached over http.
    Config manual;
    for (const auto& [typed, base] : std::initializer_list<std::pair<const char*, const char*>>{
             {" https://example.com:81// ", "https://example.com:81"},
             {"HTTPS://example.com", "https://example.com"},
             {"http://example.com/", "http://example.com"},
             {"example.com:8080", "http://example.com:8080"},
             {"ftp://example.com", "http://example.com"},
             {"  ", ""}}) {
        manual.SetHost(Endpoint::WebSite, QString::fromUtf8(typed));
        EXPECT_EQ(manual.BaseUrl(Endpoint::WebSite), QString::fromUtf8(base)) << typed;
    }
    EXPECT_EQ(manual.Host(Endpoint::NavHistoryApi), "api.fund.eastmoney.com");
}
