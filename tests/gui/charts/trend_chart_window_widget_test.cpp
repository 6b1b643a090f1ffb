#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QPointer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>

#include "core/marketdata/config.h"
#include "core/marketdata/http_client.h"
#include "core/storage/file_io.h"
#include "gui/charts/trend_chart_window.h"
#include "support/local_http_server.h"
#include "support/test_support.h"

namespace tovira {
namespace {

QByteArray Png(const QColor& colour) {
    QImage image(50, 40, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QColor PixelOf(QWidget& w, int x, int y) { return w.grab().toImage().pixelColor(x, y); }

const QString kPic6 = QStringLiteral("/charts/pic6/");

class TrendChartWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        config.SetHost(Endpoint::TrendChart, server.BaseUrl().mid(7));
        server.Answer(kPic6, red, "image/png");
    }
    TrendChartWindow* Show() {
        return ShowTrendChart(
            owner, http, config, folder.path(), [this] { return code; }, prompt);
    }
    // Runs one refresh; whether it replaced the picture.
    bool Refresh(TrendChartWindow& form) {
        QSignalSpy spy(&form, &TrendChartWindow::DownloadFinished);
        form.Refresh();
        return spy.wait(5000) && spy[0][1].toBool();
    }
    QByteArray Saved(const QString& c) {
        return test::ReadFileBytes(folder.filePath("Pic/" + c + ".png"));
    }

    QTemporaryDir folder;
    test::LocalHttpServer server;
    Config config;
    HttpClient http;
    QWidget owner;
    test::RecordingPrompt prompt;
    QString code = QStringLiteral("000011");
    QByteArray red = Png(Qt::red);
    QByteArray blue = Png(Qt::blue);
};

TEST_F(TrendChartWindowTest, MenuCommandChecksTheCodeAndOpensOneWindow) {
    for (const char* bad : {"00001", "00a011"}) {
        code = QString::fromLatin1(bad);
        EXPECT_EQ(Show(), nullptr);
    }
    EXPECT_EQ(prompt.texts, QStringList(2, QStringLiteral("基金代码有误，请更正！")));

    code = QStringLiteral("000011");
    QPointer<TrendChartWindow> form = Show();
    ASSERT_TRUE(form);
    EXPECT_EQ(Show(), form.data());  // only brought back: no second download
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.Requests() == 1; }, 5000));
    form->close();  // gone; the next command loads again
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.isNull(); }, 5000));
    ASSERT_NE(Show(), nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.Requests() == 2; }, 5000));
}

TEST_F(TrendChartWindowTest, DownloadsSavesAndPaintsAtTheImagesOwnSize) {
    TrendChartWindow form(http, config, folder.path(), [this] { return code; });
    form.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form.Downloading(); }, 5000));
    ASSERT_TRUE(Refresh(form));

    // A fresh nine-digit number right after the fixed digits on every request.
    const QRegularExpression target(
        QStringLiteral("^/charts/pic6/000011\\.png\\?Rt=0\\.45995541[1-9][0-9]{8}$"));
    const QStringList targets = server.RequestedTargets();
    ASSERT_EQ(targets.size(), 2);
    EXPECT_TRUE(target.match(targets[0]).hasMatch()) << targets[0].toStdString();
    EXPECT_TRUE(target.match(targets[1]).hasMatch());
    EXPECT_NE(targets[0], targets[1]);

    EXPECT_EQ(Saved(code), red);
    EXPECT_EQ(PixelOf(form, 49, 39), QColor(Qt::red));
    EXPECT_NE(PixelOf(form, 50, 39), QColor(Qt::red));
    EXPECT_NE(PixelOf(form, 49, 40), QColor(Qt::red));
}

TEST_F(TrendChartWindowTest, OnlyAWholePictureReplacesTheLastOne) {
    TrendChartWindow form(http, config, folder.path(), [this] { return code; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form.Downloading(); }, 5000));
    ASSERT_EQ(Saved(code), red);

    server.Truncate(kPic6, blue, blue.size() / 2, "image/png");
    EXPECT_FALSE(Refresh(form));
    server.Answer(kPic6, blue, "image/png", 404);
    EXPECT_FALSE(Refresh(form));
    server.Answer(kPic6, "<html>busy</html>", "image/png");
    EXPECT_FALSE(Refresh(form));
    // Cut off without a length to tell: the picture's own end is missing.
    for (int missing : {1, 4, 12, 40}) {
        server.Cut(kPic6, blue, int(blue.size()) - missing, "image/png");
        EXPECT_FALSE(Refresh(form)) << missing;
    }

    // A silent server: the call comes straight back and the time limit ends
    // the download; a tick meanwhile starts no second one.
    http.SetTimeout(300);
    server.Hang(kPic6);
    // Counted by the downloads that end, not by the server's requests: under
    // load Qt may send one request again on a fresh connection.
    QSignalSpy spy(&form, &TrendChartWindow::DownloadFinished);
    QElapsedTimer clock;
    clock.start();
    form.Refresh();
    form.Refresh();
    EXPECT_LT(clock.elapsed(), 200);
    ASSERT_TRUE(spy.wait(5000));
    EXPECT_GE(clock.elapsed(), 250);
    // A second download would have ended by its own time limit by now.
    QTest::qWait(600);
    EXPECT_EQ(spy.count(), 1);

    EXPECT_EQ(Saved(code), red);
    EXPECT_EQ(QDir(folder.filePath("Pic")).entryList(QDir::Files), QStringList{"000011.png"});
    EXPECT_EQ(PixelOf(form, 0, 0), QColor(Qt::red));
}

// Puts the real system calls of the atomic writer back when it goes.
struct RestoreFileSystem {
    FileSystemCalls saved = FileSystem();
    ~RestoreFileSystem() { FileSystem() = saved; }
};

TEST_F(TrendChartWindowTest, AFailedWriteKeepsTheLastPicture) {
    TrendChartWindow form(http, config, folder.path(), [this] { return code; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form.Downloading(); }, 5000));
    ASSERT_EQ(Saved(code), red);
    server.Answer(kPic6, blue, "image/png");
    {
        RestoreFileSystem restore;
        FileSystem().rename = [](const char*, const char*) {
            errno = ENOSPC;
            return -1;
        };
        EXPECT_FALSE(Refresh(form));
    }
    EXPECT_EQ(Saved(code), red);
    EXPECT_EQ(QDir(folder.filePath("Pic")).entryList(QDir::Files), QStringList{"000011.png"});
    EXPECT_EQ(PixelOf(form, 0, 0), QColor(Qt::red));

    // The folder's sync failing comes after the picture took the old one's
    // place: it is shown and counts as saved.
    {
        RestoreFileSystem restore;
        FileSystem().sync = [real = FileSystem().sync, calls = 0](int fd) mutable {
            if (++calls == 2) {
                errno = EIO;
                return -1;
            }
            return real(fd);
        };
        EXPECT_TRUE(Refresh(form));
    }
    EXPECT_EQ(Saved(code), blue);
    EXPECT_EQ(PixelOf(form, 0, 0), QColor(Qt::blue));
}

TEST_F(TrendChartWindowTest, TimerFollowsTheCodeBoxUntilClosed) {
    server.Answer(kPic6 + "006675", blue, "image/png");
    TrendChartWindow form(http, config, folder.path(), [this] { return code; });
    form.show();
    EXPECT_EQ(form.RefreshInterval(), 30000);
    form.SetRefreshInterval(50);
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.Requests() >= 3; }, 5000));

    // Another code: nothing to show until a tick has fetched its chart.
    code = QStringLiteral("006675");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form.Downloading(); }, 5000));
    EXPECT_NE(PixelOf(form, 0, 0), QColor(Qt::red));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Saved(code).isEmpty(); }, 5000));
    EXPECT_EQ(PixelOf(form, 0, 0), QColor(Qt::blue));

    form.close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form.Downloading(); }, 5000));
    const int requests = server.Requests();
    QTest::qWait(200);
    EXPECT_EQ(server.Requests(), requests);
}
}  // namespace
}  // namespace tovira
