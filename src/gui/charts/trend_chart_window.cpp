#include "gui/charts/trend_chart_window.h"

#include <QDir>
#include <QFileInfo>
#include <QHideEvent>
#include <QLabel>
#include <QPainter>
#include <QShowEvent>
#include <QTimer>
#include <QUrl>
#include <algorithm>

#include "core/common/beijing_time.h"
#include "core/common/prompt.h"
#include "core/common/random_number.h"
#include "core/marketdata/config.h"
#include "core/marketdata/http_client.h"
#include "core/marketdata/jqka_chart.h"
#include "core/marketdata/live_estimate.h"
#include "core/marketdata/trading_calendar.h"
#include "core/storage/file_io.h"
#include "core/storage/plan_file.h"
#include "gui/layout/twips.h"

namespace tovira {

namespace {

// Outer size of the window in twips, and the frame the window manager adds
// around the client area (borders and caption; no menu).
constexpr double kOuterWidth = 6825;
constexpr double kOuterHeight = 4755;
constexpr double kFrameWidth = 240;
constexpr double kFrameHeight = 570;

// A code that can name a file in "Pic" and nothing beside it.
bool UsableAsFileName(const QString& code) {
    return !code.isEmpty() && !code.contains(QLatin1Char('/')) && !code.contains(QLatin1Char('\\'));
}

// The trading day whose curve counts at this Beijing moment: today from the
// open on, before it (and on closed days) the last trading day before today.
QDate SessionDayAt(const QDateTime& now) {
    QDate day = now.date();
    if (IsTradingDay(day) && now.time() >= QTime(9, 30)) return day;
    for (int back = 0; back < 40; ++back) {
        day = day.addDays(-1);
        if (IsTradingDay(day)) return day;
    }
    return {};
}

}  // namespace

QString TrendChartUrl(const QString& baseUrl, const QString& code, double randomNumber) {
    return baseUrl + QStringLiteral("/charts/pic6/") + code + QStringLiteral(".png?Rt=0.45995541") +
           QString::number(static_cast<qint64>(randomNumber));
}

TrendChartWindow::TrendChartWindow(HttpClient& http, const Config& config,
                                   const QString& programFolder, FundCodeSource fundCode,
                                   QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      http_(http),
      baseUrl_(config.BaseUrl(Endpoint::TrendChart)),
      seriesBaseUrl_(config.BaseUrl(Endpoint::EstimateJqkaChart)),
      programFolder_(programFolder),
      fundCode_(std::move(fundCode)),
      clock_(BeijingNow) {
    setObjectName(QStringLiteral("TrendChartWindow"));
    setWindowTitle(QStringLiteral("最新走势"));
    setFont(WindowFont());
    setModal(false);
    setFixedSize(TwipsToPixels(kOuterWidth - kFrameWidth),
                 TwipsToPixels(kOuterHeight - kFrameHeight));
    // The picture covers what it covers; the rest stays the window's colour.
    setAutoFillBackground(true);

    QDir(programFolder_).mkpath(QStringLiteral("Pic"));

    curveChart_ = new EstimateCurveChart(this);
    curveChart_->setGeometry(rect());
    curveChart_->hide();
    downloadTime_ = new QLabel(this);
    downloadTime_->setObjectName(QStringLiteral("downloadTime"));
    downloadTime_->setAutoFillBackground(true);
    downloadTime_->hide();

    refreshTimer_ = new QTimer(this);
    refreshTimer_->setObjectName(QStringLiteral("refreshTimer"));
    refreshTimer_->setInterval(kRefreshMs);
    connect(refreshTimer_, &QTimer::timeout, this, &TrendChartWindow::Refresh);

    Download(CurrentCode());
    AskSeries(CurrentCode());
    refreshTimer_->start();
}

QString TrendChartWindow::CurrentCode() const { return fundCode_ ? fundCode_() : QString(); }

void TrendChartWindow::SetClock(Clock clock) {
    clock_ = clock ? std::move(clock) : Clock(BeijingNow);
    ShowCurrent();
}

bool TrendChartWindow::ShowsCurve() const { return !curveChart_->isHidden(); }

QString TrendChartWindow::PicturePath(const QString& code) const {
    return QDir(programFolder_).filePath(QStringLiteral("Pic/") + code + QStringLiteral(".png"));
}

void TrendChartWindow::SetRefreshInterval(int ms) { refreshTimer_->setInterval(ms); }

int TrendChartWindow::RefreshInterval() const { return refreshTimer_->interval(); }

void TrendChartWindow::Refresh() {
    const QString code = CurrentCode();
    const bool haveCurve = curve_ && curve_->code == code;
    if (!askingSeries_ && (!haveCurve || IsPollingTime(clock_()))) AskSeries(code);
    if (downloading_) {
        ShowCurrent();
        return;
    }
    Download(code);
}

void TrendChartWindow::AskSeries(const QString& code) {
    if (seriesBaseUrl_.isEmpty() || !IsFundCode(code)) {
        ShowCurrent();
        return;
    }
    askingSeries_ = true;
    http_.Get(
        QUrl(JqkaChartUrl(seriesBaseUrl_, code)),
        [this, code, alive = std::weak_ptr<bool>(alive_)](const HttpResponse& response) {
            const std::shared_ptr<bool> stillHere = alive.lock();
            if (!stillHere || !*stillHere) return;
            askingSeries_ = false;
            // A failed answer keeps what is shown: the picture, or a curve of
            // the day that a later tick brings up to date.
            if (!ClassifyAnswer(response)) {
                JqkaChart chart = ReadJqkaChart(response.body);
                if (!chart.points.isEmpty() && chart.latest.estimate &&
                    chart.latest.estimate->previousNav) {
                    const SourceEstimate& latest = *chart.latest.estimate;
                    EstimateCurve curve;
                    curve.code = code;
                    curve.day = latest.time.date();
                    curve.points = std::move(chart.points);
                    curve.previousNav = *latest.previousNav;
                    curve.previousNavDate = latest.previousNavDate.value_or(QDate());
                    curve_ = std::move(curve);
                }
            }
            ShowCurrent();
            emit SeriesFinished(code, ShowsCurve());
        },
        this);
}

void TrendChartWindow::ShowCurrent() {
    const QString code = CurrentCode();
    const QDateTime now = ToBeijing(clock_());
    const bool curveShown = curve_ && curve_->code == code && now.isValid() &&
                            (curve_->day == now.date() || curve_->day == SessionDayAt(now));
    if (curveShown) {
        QString caption = QStringLiteral("爱基金估值  ") + curve_->day.toString(Qt::ISODate);
        if (curve_->day != now.date()) caption += QStringLiteral("（上一交易日）");
        curveChart_->SetCurve(*curve_, caption);
    }
    curveChart_->setVisible(curveShown);

    const QImage& image = Picture(code);
    const bool timeShown = !curveShown && !image.isNull();
    if (timeShown) {
        downloadTime_->setText(DownloadTimeText(PicturePath(code)));
        downloadTime_->adjustSize();
        const int y = std::min(image.height() + 2, height() - downloadTime_->height());
        downloadTime_->move(4, std::max(0, y));
        downloadTime_->raise();
    }
    downloadTime_->setVisible(timeShown);
    update();
}

QString TrendChartWindow::DownloadTimeText(const QString& path) const {
    const QFileInfo info(path);
    const auto saved = savedAt_.constFind(path);
    const QDateTime at = saved != savedAt_.constEnd() && saved->modified == info.lastModified()
                             ? ToBeijing(saved->at)
                             : ToBeijing(info.lastModified());
    // A picture from another day says which.
    const QString format = at.date() == ToBeijing(clock_()).date()
                               ? QStringLiteral("HH:mm:ss")
                               : QStringLiteral("yyyy-MM-dd HH:mm:ss");
    return QStringLiteral("图片下载于 ") + at.toString(format);
}

TrendChartWindow::~TrendChartWindow() { *alive_ = false; }

void TrendChartWindow::Download(const QString& code) {
    if (baseUrl_.isEmpty() || !UsableAsFileName(code)) {
        ShowCurrent();
        return;
    }
    downloading_ = true;
    const QUrl url(TrendChartUrl(baseUrl_, code, RandomInteger(100000000, 999999999)));
    http_.Get(
        url,
        [this, code, alive = std::weak_ptr<bool>(alive_)](const HttpResponse& response) {
            const std::shared_ptr<bool> stillHere = alive.lock();
            if (!stillHere || !*stillHere) return;
            downloading_ = false;
            bool saved = false;
            // Only a whole picture replaces the one on disk: error pages, cut
            // off bodies and time-outs leave the last good one.
            QImage image;
            if (response.ok && response.status == 200 && IsWholePicture(response.body) &&
                image.loadFromData(response.body)) {
                // A picture in place counts even when the disk has not
                // confirmed its folder: it is fetched again at the next tick.
                saved = WriteFileAtomicallyWithResult(PicturePath(code), response.body) !=
                        WriteResult::Failed;
            }
            if (saved) {
                // Already decoded: the next paint need not read it back.
                cachedPath_ = PicturePath(code);
                const QFileInfo info(cachedPath_);
                cachedModified_ = info.lastModified();
                cachedSize_ = info.size();
                cachedImage_ = image;
                savedAt_.insert(cachedPath_, {clock_(), cachedModified_});
            }
            ShowCurrent();
            emit DownloadFinished(code, saved);
        },
        this);
}

const QImage& TrendChartWindow::Picture(const QString& code) {
    static const QImage kNone;
    if (!UsableAsFileName(code)) return kNone;
    const QString path = PicturePath(code);
    const QFileInfo info(path);
    if (!info.exists()) {
        cachedPath_.clear();
        cachedImage_ = QImage();
        return kNone;
    }
    if (path != cachedPath_ || info.lastModified() != cachedModified_ ||
        info.size() != cachedSize_) {
        cachedPath_ = path;
        cachedModified_ = info.lastModified();
        cachedSize_ = info.size();
        cachedImage_ = QImage(path);
    }
    return cachedImage_;
}

void TrendChartWindow::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    if (ShowsCurve()) return;
    const QImage& image = Picture(CurrentCode());
    if (image.isNull()) return;
    QPainter painter(this);
    // At the picture's own size: a larger one is cut off at the window's edges.
    painter.drawImage(QPoint(0, 0), image);
}

void TrendChartWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous() && !refreshTimer_->isActive()) refreshTimer_->start();
}

void TrendChartWindow::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    if (!event->spontaneous()) refreshTimer_->stop();
}

TrendChartWindow* ShowTrendChart(QWidget& mainWindow, HttpClient& http, const Config& config,
                                 const QString& programFolder,
                                 TrendChartWindow::FundCodeSource fundCode, Prompt& prompt) {
    if (!IsFundCode(fundCode ? fundCode() : QString())) {
        prompt.Inform(QStringLiteral("基金代码有误，请更正！"));
        return nullptr;
    }
    // A hidden one was closed and is on its way out.
    TrendChartWindow* form = nullptr;
    for (TrendChartWindow* open :
         mainWindow.findChildren<TrendChartWindow*>(Qt::FindDirectChildrenOnly)) {
        if (open->isVisible()) form = open;
    }
    if (!form) {
        form = new TrendChartWindow(http, config, programFolder, std::move(fundCode), &mainWindow);
        form->setAttribute(Qt::WA_DeleteOnClose);
    }
    form->show();
    form->raise();
    form->activateWindow();
    return form;
}

}  // namespace tovira
