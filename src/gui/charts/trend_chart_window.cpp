#include "gui/charts/trend_chart_window.h"

#include <QDir>
#include <QFileInfo>
#include <QHideEvent>
#include <QPainter>
#include <QShowEvent>
#include <QTimer>
#include <QUrl>

#include "core/common/prompt.h"
#include "core/common/random_number.h"
#include "core/marketdata/config.h"
#include "core/marketdata/http_client.h"
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
      programFolder_(programFolder),
      fundCode_(std::move(fundCode)) {
    setObjectName(QStringLiteral("TrendChartWindow"));
    setWindowTitle(QStringLiteral("最新走势"));
    setFont(WindowFont());
    setModal(false);
    setFixedSize(TwipsToPixels(kOuterWidth - kFrameWidth),
                 TwipsToPixels(kOuterHeight - kFrameHeight));
    // The picture covers what it covers; the rest stays the window's colour.
    setAutoFillBackground(true);

    QDir(programFolder_).mkpath(QStringLiteral("Pic"));

    refreshTimer_ = new QTimer(this);
    refreshTimer_->setObjectName(QStringLiteral("refreshTimer"));
    refreshTimer_->setInterval(kRefreshMs);
    connect(refreshTimer_, &QTimer::timeout, this, &TrendChartWindow::Refresh);

    Download(fundCode_ ? fundCode_() : QString());
    refreshTimer_->start();
}

QString TrendChartWindow::PicturePath(const QString& code) const {
    return QDir(programFolder_).filePath(QStringLiteral("Pic/") + code + QStringLiteral(".png"));
}

void TrendChartWindow::SetRefreshInterval(int ms) { refreshTimer_->setInterval(ms); }

int TrendChartWindow::RefreshInterval() const { return refreshTimer_->interval(); }

void TrendChartWindow::Refresh() {
    if (downloading_) {
        update();
        return;
    }
    Download(fundCode_ ? fundCode_() : QString());
}

TrendChartWindow::~TrendChartWindow() { *alive_ = false; }

void TrendChartWindow::Download(const QString& code) {
    if (baseUrl_.isEmpty() || !UsableAsFileName(code)) {
        update();
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
            }
            update();
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
    const QImage& image = Picture(fundCode_ ? fundCode_() : QString());
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
