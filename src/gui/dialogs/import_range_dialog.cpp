#include "gui/dialogs/import_range_dialog.h"

#include <QCalendarWidget>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "gui/layout/twips.h"

namespace tovira {
namespace {
QString ShortDate(const QDate& d) { return d.toString(QStringLiteral("yyyy/M/d")); }
}  // namespace

ImportRangeDialog::ImportRangeDialog(const QDate& today, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("选择日期"));
    setFont(WindowFont());
    auto* label1 = new QLabel(QStringLiteral("开始日期："), this);
    auto* label2 = new QLabel(QStringLiteral("截止日期："), this);
    label3_ = new QLabel(this);
    label4_ = new QLabel(this);
    monthView1_ = new QCalendarWidget(this);
    monthView2_ = new QCalendarWidget(this);
    for (QCalendarWidget* c : {monthView1_, monthView2_}) {
        c->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
        c->setGridVisible(true);
        c->setLocale(QLocale(QLocale::Chinese, QLocale::China));
    }
    ok_ = new QPushButton(QStringLiteral("确定"), this);
    cancel_ = new QPushButton(QStringLiteral("取消"), this);
    ok_->setDefault(true);
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("importProgress"));
    progress_->setTextVisible(true);
    progress_->hide();

    const QDate start = QDate::fromString(QStringLiteral("2017/3/27"), QStringLiteral("yyyy/M/d"));
    monthView1_->setSelectedDate(start);
    monthView2_->setSelectedDate(today);
    label3_->setText(ShortDate(start));
    label4_->setText(ShortDate(today));

    auto* grid = new QGridLayout(this);
    auto* startRow = new QHBoxLayout;
    startRow->addWidget(label1);
    startRow->addWidget(label3_, 1);
    auto* endRow = new QHBoxLayout;
    endRow->addWidget(label2);
    endRow->addWidget(label4_, 1);
    grid->addLayout(startRow, 0, 0);
    grid->addLayout(endRow, 0, 1);
    grid->addWidget(monthView1_, 1, 0);
    grid->addWidget(monthView2_, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(progress_, 1);
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    grid->addLayout(buttons, 2, 0, 1, 2);

    // The labels show the chosen dates however they were chosen (mouse,
    // arrow keys, page keys, the month menu); a click also moves on to OK.
    connect(monthView1_, &QCalendarWidget::selectionChanged, this,
            [this] { label3_->setText(ShortDate(monthView1_->selectedDate())); });
    connect(monthView2_, &QCalendarWidget::selectionChanged, this,
            [this] { label4_->setText(ShortDate(monthView2_->selectedDate())); });
    for (QCalendarWidget* c : {monthView1_, monthView2_}) {
        connect(c, &QCalendarWidget::clicked, this, [this] { ok_->setFocus(); });
    }
    connect(ok_, &QPushButton::clicked, this, [this] { emit Accepted(Start(), End()); });
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

QDate ImportRangeDialog::Start() const { return monthView1_->selectedDate(); }
QDate ImportRangeDialog::End() const { return monthView2_->selectedDate(); }

QObject* ImportRangeDialog::RequestOwner() {
    delete requestOwner_;
    requestOwner_ = new QObject(this);
    return requestOwner_;
}

void ImportRangeDialog::reject() {
    // Deleted now, not later: an answer must not slip in before the window
    // is gone.
    delete requestOwner_;
    QDialog::reject();
}

void ImportRangeDialog::SetBusy(bool busy) {
    ok_->setEnabled(!busy);
    monthView1_->setEnabled(!busy);
    monthView2_->setEnabled(!busy);
    setCursor(busy ? Qt::BusyCursor : Qt::ArrowCursor);
    progress_->setRange(0, 0);  // busy until a page tells the count
    progress_->setVisible(busy);
}

void ImportRangeDialog::SetProgress(int pagesDone, int pages) {
    if (pages <= 0) return;
    progress_->setRange(0, pages);
    progress_->setValue(qBound(0, pagesDone, pages));
    progress_->setFormat(QStringLiteral("已接收 %1/%2 页").arg(pagesDone).arg(pages));
}

}  // namespace tovira
