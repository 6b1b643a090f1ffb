#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <memory>

#include "core/common/beijing_time.h"
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
        // The chart series on a server of its own, so the picture's requests
        // are counted alone; nothing routed there answers 404.
        config.SetHost(Endpoint::EstimateJqkaChart, series.BaseUrl());
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
    test::LocalHttpServer series;
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

// The series of 000011 as the source answered on 2026-10-09 (after the close).
const QByteArray kSeries =
    "vm_fd_000011='2026-10-08;0930-1130,1300-1500|2026-10-09~2.040100000000~"
    "0930,2.03537,2.040100000000,0.000;1130,2.04500,2.040100000000,0.000;"
    "1300,2.04400,2.040100000000,0.000;1500,2.03350,2.040100000000,0.000'";
const QString kSeriesTarget =
    QStringLiteral("/?module=api&controller=index&action=chart&info=vm_fd_000011&start=0930");

QDateTime Beijing(const char* text) { return ReadBeijingDateTime(QString::fromLatin1(text)); }

class TrendEstimateCurveTest : public TrendChartWindowTest {
  protected:
    // Opens the window with the clock at `now` and waits for both answers.
    std::unique_ptr<TrendChartWindow> Open(const char* now) {
        clock = Beijing(now);
        auto form = std::make_unique<TrendChartWindow>(http, config, folder.path(),
                                                       [this] { return code; });
        form->SetClock([this] { return clock; });
        form->show();
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return !form->Downloading() && !form->AskingSeries(); }, 5000));
        return form;
    }
    QDateTime clock;
};

TEST_F(TrendEstimateCurveTest, TodaysSeriesIsDrawnInPlaceOfThePicture) {
    series.Answer(QStringLiteral("/?"), kSeries, "text/html");
    const auto form = Open("2026-10-09 14:00:05");
    EXPECT_EQ(series.RequestedTargets(), QStringList{kSeriesTarget});

    ASSERT_TRUE(form->ShowsCurve());
    const EstimateCurveChart& chart = form->CurveChart();
    EXPECT_TRUE(chart.isVisible());
    EXPECT_FALSE(form->DownloadTimeLabel().isVisible());
    EXPECT_EQ(chart.Caption(), QStringLiteral("爱基金估值  2026-10-09"));
    const EstimateCurve& curve = chart.Curve();
    ASSERT_EQ(curve.points.size(), 4);
    EXPECT_EQ(curve.points[0].time, Beijing("2026-10-09 09:30"));
    EXPECT_DOUBLE_EQ(curve.points[3].nav, 2.0335);
    EXPECT_DOUBLE_EQ(curve.previousNav, 2.0401);
    EXPECT_EQ(chart.LatestText(), QStringLiteral("15:00  2.0335  -0.32%"));

    // The reference line runs across the middle; the sessions meet at 11:30
    // and 13:00 with no gap, and the ends are the open and the close.
    const QRectF plot = chart.PlotRect();
    const EstimateCurveGeometry g(curve, plot);
    EXPECT_DOUBLE_EQ(g.YFor(curve.previousNav), plot.center().y());
    EXPECT_LT(g.YFor(2.045), g.YFor(curve.previousNav));
    EXPECT_LE(g.YFor(2.0335), plot.bottom());
    EXPECT_GE(g.YFor(2.045), plot.top());
    EXPECT_DOUBLE_EQ(g.XFor(QTime(9, 30)), plot.left());
    EXPECT_DOUBLE_EQ(g.XFor(QTime(11, 30)), g.XFor(QTime(13, 0)));
    EXPECT_DOUBLE_EQ(g.XFor(QTime(12, 15)), plot.center().x());
    EXPECT_DOUBLE_EQ(g.XFor(QTime(15, 0)), plot.right());
    // The picture is still kept as before, only not shown.
    EXPECT_EQ(Saved(code), red);
    EXPECT_NE(PixelOf(*form, 0, 0), QColor(Qt::red));
}

TEST_F(TrendEstimateCurveTest, PictureWithItsDownloadTimeWhenTheSeriesGivesNoCurveOfTheDay) {
    struct Case {
        const char* name;
        const char* now;
        QByteArray body;
        int status;
        const char* caption;  // nullptr: the picture
    };
    const Case cases[] = {
        {"after the close", "2026-10-09 16:30:00", kSeries, 200, "爱基金估值  2026-10-09"},
        {"saturday", "2026-10-10 10:00:00", kSeries, 200, "爱基金估值  2026-10-09（上一交易日）"},
        {"monday before the open", "2026-10-12 09:29:00", kSeries, 200,
         "爱基金估值  2026-10-09（上一交易日）"},
        {"monday in session", "2026-10-12 09:30:00", kSeries, 200, nullptr},
        {"two sessions old", "2026-10-13 09:00:00", kSeries, 200, nullptr},
        {"not found", "2026-10-09 14:00:00", "not found", 404, nullptr},
        {"no points", "2026-10-09 14:00:00", "vm_fd_000011=''", 200, nullptr},
        {"cut off", "2026-10-09 14:00:00", kSeries.left(kSeries.size() - 9), 200, nullptr},
        {"not-found page", "2026-10-09 14:00:00", "<html><title>404 Not Found</title></html>", 200,
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        series.Answer(QStringLiteral("/?"), c.body, "text/html", c.status);
        const auto form = Open(c.now);
        EXPECT_EQ(form->ShowsCurve(), c.caption != nullptr);
        EXPECT_EQ(form->DownloadTimeLabel().isVisible(), c.caption == nullptr);
        if (c.caption) {
            EXPECT_EQ(form->CurveChart().Caption(), QString::fromUtf8(c.caption));
            continue;
        }
        // Downloaded now, by the window's clock; painted as always.
        EXPECT_EQ(form->DownloadTimeLabel().text(),
                  QStringLiteral("图片下载于 ") + clock.toString(QStringLiteral("HH:mm:ss")));
        EXPECT_GE(form->DownloadTimeLabel().y(), 40);
        EXPECT_EQ(PixelOf(*form, 0, 0), QColor(Qt::red));
        EXPECT_EQ(Saved(code), red);
    }
    EXPECT_TRUE(prompt.texts.isEmpty());
}

TEST_F(TrendEstimateCurveTest, TicksAskForTheSeriesOnlyDuringTheSession) {
    series.Answer(QStringLiteral("/?"), kSeries, "text/html");
    const auto form = Open("2026-10-09 10:00:00");
    EXPECT_EQ(form->RefreshInterval(), TrendChartWindow::kRefreshMs);
    ASSERT_TRUE(form->ShowsCurve());
    const auto tick = [&] {
        QSignalSpy seriesDone(form.get(), &TrendChartWindow::SeriesFinished);
        QSignalSpy pictureDone(form.get(), &TrendChartWindow::DownloadFinished);
        form->Refresh();
        EXPECT_TRUE(pictureDone.wait(5000));
        if (form->AskingSeries()) {
            EXPECT_TRUE(seriesDone.wait(5000));
        }
    };

    tick();  // in the session: asked again
    EXPECT_EQ(series.Requests(), 2);
    // A failed poll keeps the day's curve up.
    series.Answer(QStringLiteral("/?"), "busy", "text/html", 503);
    tick();
    EXPECT_EQ(series.Requests(), 3);
    EXPECT_TRUE(form->ShowsCurve());

    // After the close the curve in hand is final; the picture still refreshes.
    clock = Beijing("2026-10-09 15:30:00");
    const int pictures = server.Requests();
    tick();
    EXPECT_EQ(series.Requests(), 3);
    EXPECT_EQ(server.Requests(), pictures + 1);
    EXPECT_TRUE(form->ShowsCurve());

    // Another code has no curve yet: asked at the next tick, the picture
    // shown meanwhile.
    code = QStringLiteral("006675");
    tick();
    EXPECT_EQ(series.Requests(), 4);
    EXPECT_FALSE(form->ShowsCurve());
}
}  // namespace
}  // namespace tovira
