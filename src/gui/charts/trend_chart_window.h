#pragma once
// "最新走势": the latest trend chart of the fund in the main window's code box,
// a PNG the chart image server serves per fund code. The window downloads it
// into "Pic" in the program folder, paints it at its own size from the top
// left corner with the time it was downloaded under it, and downloads and
// repaints it every 30 seconds while open.
//
// In front of the picture the window draws the day's estimate curve itself
// (EstimateCurveChart) when 爱基金's chart series has one for the fund: of
// today, or of the last trading session while today's has not begun. It asks
// for the series on opening, at every tick during the sources' polling hours,
// and at the next tick after a code change or a series that gave no curve.
// The series is only read, never saved; its failures show no message: the
// picture stays, and a curve of the day already shown stays too.
//
// Downloads run in the background with the HTTP client's time limit. The file
// on disk is only replaced by a complete picture: a failed, cut off or refused
// download, or a body that is not an image, leaves the last picture in place.

#include <QDateTime>
#include <QDialog>
#include <QHash>
#include <QImage>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "gui/charts/estimate_curve_chart.h"

class QLabel;
class QTimer;

namespace tovira {

class Config;
class HttpClient;
class Prompt;

// Image address: base + "/charts/pic6/" + code + ".png?Rt=0.45995541" + the
// nine-digit random number, appended directly to those digits.
QString TrendChartUrl(const QString& baseUrl, const QString& code, double randomNumber);

class TrendChartWindow : public QDialog {
    Q_OBJECT
  public:
    // The fund code now shown in the main window's code box.
    using FundCodeSource = std::function<QString()>;
    // Now, in Beijing time.
    using Clock = std::function<QDateTime()>;

    static constexpr int kRefreshMs = 30000;

    // Opening the window makes the "Pic" folder when needed, starts the first
    // download and the refresh timer. The client and the program folder must
    // outlive the window; the host is taken from config now.
    TrendChartWindow(HttpClient& http, const Config& config, const QString& programFolder,
                     FundCodeSource fundCode, QWidget* owner = nullptr);

    // Where the chart of a code is kept.
    QString PicturePath(const QString& code) const;

    // The refresh timer: downloads the chart of the code now shown; the window repaints
    // when the download is over. A tick while a download still runs only
    // repaints.
    void Refresh();

    void SetRefreshInterval(int ms);
    int RefreshInterval() const;
    // The clock that tells today and the polling hours (BeijingNow unless a
    // test sets another); a curve shown is judged again at once.
    void SetClock(Clock clock);
    // A download still out when the window goes must not call back into it.
    ~TrendChartWindow() override;

    bool Downloading() const { return downloading_; }
    bool AskingSeries() const { return askingSeries_; }
    // Whether the curve is shown rather than the picture.
    bool ShowsCurve() const;
    const EstimateCurveChart& CurveChart() const { return *curveChart_; }
    // "图片下载于 HH:mm:ss" under the picture; hidden with the curve or
    // without a picture.
    const QLabel& DownloadTimeLabel() const { return *downloadTime_; }

  signals:
    // A download is over; saved tells whether it replaced the picture.
    void DownloadFinished(const QString& code, bool saved);
    // The chart series answered or failed; curveShown tells what is shown now.
    void SeriesFinished(const QString& code, bool curveShown);

  protected:
    void paintEvent(QPaintEvent* event) override;
    // Closing the window stops the refresh; showing it again restarts it.
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    void Download(const QString& code);
    void AskSeries(const QString& code);
    QString CurrentCode() const;
    // Shows the curve when it is the current code's and of the day it counts
    // for, the picture with its download time otherwise.
    void ShowCurrent();
    QString DownloadTimeText(const QString& path) const;
    // The picture in the code's file, decoded again only when the file changed.
    const QImage& Picture(const QString& code);

    HttpClient& http_;
    QString baseUrl_;
    QString seriesBaseUrl_;
    QString programFolder_;
    FundCodeSource fundCode_;
    Clock clock_;
    QTimer* refreshTimer_ = nullptr;
    bool downloading_ = false;
    bool askingSeries_ = false;
    // The last curve the series gave (with the code it is of).
    std::optional<EstimateCurve> curve_;
    EstimateCurveChart* curveChart_ = nullptr;
    QLabel* downloadTime_ = nullptr;
    // When this window saved each picture, with the file's time then: a file
    // changed since shows its own time.
    struct Saved {
        QDateTime at;
        QDateTime modified;
    };
    QHash<QString, Saved> savedAt_;

    QString cachedPath_;
    QDateTime cachedModified_;
    qint64 cachedSize_ = -1;
    QImage cachedImage_;
};

// The "查看最新走势" menu command: "基金代码有误，请更正！" when the code box does
// not hold a valid code; otherwise shows the chart window without waiting.
// While it is open the same window only comes back; once closed, the next call
// opens a new one. Returns the window, or nullptr when none is shown.
TrendChartWindow* ShowTrendChart(QWidget& mainWindow, HttpClient& http, const Config& config,
                                 const QString& programFolder,
                                 TrendChartWindow::FundCodeSource fundCode, Prompt& prompt);

}  // namespace tovira
