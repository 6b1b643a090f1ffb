#include "gui/dialogs/backtest_report_window.h"

#include <QHeaderView>
#include <QLabel>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

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

}  // namespace

BacktestReportWindow::BacktestReportWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
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
    // One line per figure, so that the whole table fits above the chart.
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    chart_ = new ProfitChart(this);
    chart_->setObjectName(QStringLiteral("profitChart"));

    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(table_);
    splitter->addWidget(chart_);
    splitter->setChildrenCollapsible(false);
    splitter->setSizes({510, 390});
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading_);
    layout->addWidget(splitter, 1);
    resize(820, 940);
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
