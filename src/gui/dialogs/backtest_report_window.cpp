#include "gui/dialogs/backtest_report_window.h"

#include <QCloseEvent>
#include <QDir>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QScreen>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include "core/storage/ini_document.h"
#include "gui/charts/profit_chart.h"

namespace tovira {
namespace {

// The strategies' colours, in the order of the table's columns.
const QColor kPlanColour(0xD0, 0x30, 0x30);
const QColor kLumpSumColour(0x20, 0x60, 0xC0);
const QColor kMonthlyColour(0x20, 0x90, 0x40);

QTableWidgetItem* Cell(const QString& text, bool figure) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    item->setTextAlignment(figure ? Qt::AlignRight | Qt::AlignVCenter
                                  : Qt::AlignLeft | Qt::AlignVCenter);
    return item;
}

// Fits the 1366×768 screen's work area (less a panel and the title bar)
// with the table's rows whole: the table beside the chart, not above it.
constexpr int kWidth = 1040;
constexpr int kHeight = 640;
constexpr int kTableWidth = 470;
// How much of a remembered title bar must be on a screen to use the place.
constexpr int kGrip = 60;

const QString kPlaceSection = QStringLiteral("回测报告窗口");
QString PlacePath(const QString& folder) {
    return QDir(folder).filePath(QStringLiteral("History.ini"));
}

}  // namespace

BacktestReportWindow::BacktestReportWindow(QWidget* parent, const QString& programFolder)
    : QWidget(parent, Qt::Window), programFolder_(programFolder) {
    setObjectName(QStringLiteral("backtestReportWindow"));
    setWindowTitle(QStringLiteral("回测报告"));
    heading_ = new QLabel(this);
    heading_->setObjectName(QStringLiteral("reportHeading"));
    table_ = new QTableWidget(this);
    table_->setObjectName(QStringLiteral("reportTable"));
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->setAlternatingRowColors(true);
    table_->setWordWrap(false);
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    // One line per figure, so that the whole table fits the window's height.
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    chart_ = new ProfitChart(this);
    chart_->setObjectName(QStringLiteral("profitChart"));

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->addWidget(table_);
    splitter->addWidget(chart_);
    splitter->setChildrenCollapsible(false);
    splitter->setSizes({kTableWidth, kWidth - kTableWidth});
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading_);
    layout->addWidget(splitter, 1);
    resize(kWidth, kHeight);

    remember_.setSingleShot(true);
    remember_.setInterval(500);
    connect(&remember_, &QTimer::timeout, this, &BacktestReportWindow::RememberPlace);
}

QRect BacktestReportWindow::PlaceBeside(const QRect& main, const QSize& size, const QRect& screen) {
    const QSize fit = size.boundedTo(screen.size());
    QRect place(QPoint(), fit);
    if (main.right() + fit.width() <= screen.right()) {
        place.moveLeft(main.right() + 1);
    } else if (main.left() - fit.width() >= screen.left()) {
        place.moveLeft(main.left() - fit.width());
    } else {
        place.moveRight(screen.right());
    }
    place.moveTop(main.top());
    if (place.bottom() > screen.bottom()) place.moveBottom(screen.bottom());
    if (place.top() < screen.top()) place.moveTop(screen.top());
    return place;
}

std::optional<QRect> BacktestReportWindow::SavedPlace(const QString& programFolder) {
    if (programFolder.isEmpty()) return std::nullopt;
    IniDocument doc;
    if (!doc.Load(PlacePath(programFolder))) return std::nullopt;
    int values[4] = {};
    const char* keys[] = {"Left", "Top", "Width", "Height"};
    for (int k = 0; k < 4; ++k) {
        bool ok = false;
        values[k] = doc.Value(kPlaceSection, QString::fromLatin1(keys[k])).toInt(&ok);
        if (!ok) return std::nullopt;
    }
    if (values[2] < 200 || values[3] < 200) return std::nullopt;
    return QRect(values[0], values[1], values[2], values[3]);
}

bool BacktestReportWindow::SavePlace(const QString& programFolder, const QRect& place) {
    if (programFolder.isEmpty()) return false;
    const QString path = PlacePath(programFolder);
    IniDocument doc;
    doc.Load(path);
    doc.SetValue(kPlaceSection, QStringLiteral("Left"), QString::number(place.left()));
    doc.SetValue(kPlaceSection, QStringLiteral("Top"), QString::number(place.top()));
    doc.SetValue(kPlaceSection, QStringLiteral("Width"), QString::number(place.width()));
    doc.SetValue(kPlaceSection, QStringLiteral("Height"), QString::number(place.height()));
    return doc.Save(path);
}

void BacktestReportWindow::Place(const QWidget& mainWindow) {
    if (const std::optional<QRect> saved = SavedPlace(programFolder_)) {
        // Only where its title bar is still on a screen (one may be gone).
        const QRect grip(saved->topLeft(), QSize(std::min(kGrip, saved->width()), 20));
        for (const QScreen* screen : QGuiApplication::screens()) {
            if (!screen->availableGeometry().contains(grip)) continue;
            const QSize size = saved->size().boundedTo(screen->availableGeometry().size());
            resize(size);
            move(saved->topLeft());
            return;
        }
    }
    const QScreen* screen = mainWindow.screen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    // The window manager's frame is the main window's: its size beyond the
    // client area is what ours will add.
    const QSize frame = mainWindow.frameGeometry().size() - mainWindow.size();
    const QSize wanted(kWidth + frame.width(), kHeight + frame.height());
    const QRect outer = PlaceBeside(mainWindow.frameGeometry(), wanted, area);
    resize(outer.size() - frame);
    move(outer.topLeft());
}

void BacktestReportWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    if (isVisible() && !programFolder_.isEmpty()) remember_.start();
}

void BacktestReportWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (isVisible() && !programFolder_.isEmpty()) remember_.start();
}

void BacktestReportWindow::closeEvent(QCloseEvent* event) {
    if (remember_.isActive()) RememberPlace();
    QWidget::closeEvent(event);
}

void BacktestReportWindow::RememberPlace() {
    remember_.stop();
    // A maximised or minimised window keeps the place it had before.
    if (isMaximized() || isMinimized() || isFullScreen()) return;
    SavePlace(programFolder_, QRect(pos(), size()));
}

void BacktestReportWindow::ShowReport(const BacktestReport& report) {
    const BacktestReportRows cells = BacktestReportCells(report);
    const int rows = static_cast<int>(cells.strategies.size() + cells.fund.size());
    table_->clear();
    table_->clearSpans();
    table_->setColumnCount(static_cast<int>(cells.header.size()));
    table_->setRowCount(rows);
    table_->setHorizontalHeaderLabels(cells.header);
    int row = 0;
    for (const std::vector<QStringList>* part : {&cells.strategies, &cells.fund}) {
        for (const QStringList& texts : *part) {
            for (int c = 0; c < texts.size(); ++c) table_->setItem(row, c, Cell(texts[c], c > 0));
            // The fund's own figures belong to no strategy: one cell across.
            if (texts.size() == 2) table_->setSpan(row, 1, 1, table_->columnCount() - 1);
            ++row;
        }
    }

    heading_->setText(QStringLiteral("%1，每月定投 %2 个月、每月 %3 元；图中为三种方式每日的净盈亏")
                          .arg(report.mode == Mode::Fact ? QStringLiteral("实际操作")
                                                         : QStringLiteral("理论计算"))
                          .arg(report.months)
                          .arg(QString::number(report.monthlyAmount, 'f', 2)));
    chart_->SetData(report.dates,
                    {{QStringLiteral("本计划"), kPlanColour, report.plan.profitByRow},
                     {QStringLiteral("一次性买入"), kLumpSumColour, report.lumpSum.profitByRow},
                     {QStringLiteral("每月定投"), kMonthlyColour, report.monthly.profitByRow}});
}

}  // namespace tovira
