#include "gui/dialogs/estimate_accuracy_dialog.h"

#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

#include "core/common/numbers.h"
#include "core/session/plan_session.h"
#include "core/storage/plan_file.h"

namespace tovira {
namespace {

const char16_t kNone[] = u"—";

QTableWidgetItem* Cell(const QString& text, bool figure) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    item->setTextAlignment(figure ? Qt::AlignRight | Qt::AlignVCenter
                                  : Qt::AlignLeft | Qt::AlignVCenter);
    return item;
}

QTableWidget* NewTable(QWidget* parent, const char* name, const QStringList& header) {
    auto* table = new QTableWidget(0, static_cast<int>(header.size()), parent);
    table->setObjectName(QString::fromLatin1(name));
    table->setHorizontalHeaderLabels(header);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->verticalHeader()->hide();
    table->setAlternatingRowColors(true);
    table->setWordWrap(false);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
    return table;
}

QString Pp(double v) { return FormatPattern(v, u"0.00"); }

}  // namespace

EstimateAccuracyDialog::EstimateAccuracyDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("estimateAccuracyDialog"));
    setWindowTitle(QStringLiteral("估值准确度"));
    heading_ = new QLabel(this);
    heading_->setObjectName(QStringLiteral("accuracyHeading"));
    heading_->setWordWrap(true);
    message_ = new QLabel(this);
    message_->setObjectName(QStringLiteral("accuracyMessage"));
    message_->setWordWrap(true);
    sources_ = NewTable(
        this, "accuracySources",
        {QStringLiteral("来源"), QStringLiteral("天数"), QStringLiteral("平均误差(百分点)"),
         QStringLiteral("最大误差"), QStringLiteral("待核对")});
    // Five sources at most: the table is as tall as its rows.
    sources_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    daysHeading_ = new QLabel(this);
    daysHeading_->setObjectName(QStringLiteral("accuracyDaysHeading"));
    days_ = NewTable(this, "accuracyDays",
                     {QStringLiteral("日期"), QStringLiteral("估值"), QStringLiteral("净值"),
                      QStringLiteral("估算涨幅(%)"), QStringLiteral("实际涨幅(%)"),
                      QStringLiteral("误差(百分点)")});
    connect(sources_, &QTableWidget::currentCellChanged, this,
            [this](int row, int, int, int) { ShowDaysOf(row); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading_);
    layout->addWidget(message_);
    layout->addWidget(sources_);
    layout->addWidget(daysHeading_);
    layout->addWidget(days_, 1);
    resize(640, 600);
}

void EstimateAccuracyDialog::ShowAccuracy(const QString& code,
                                          const std::vector<SourceAccuracy>& sources,
                                          const QString& note) {
    shown_ = sources;
    heading_->setText(
        QStringLiteral("基金 %1：每天最后一次估值的涨幅与公布净值涨幅之差（百分点）").arg(code));
    const bool empty = sources.empty();
    QString text = note;
    if (empty) text = QString::fromUtf8(kMsgNoEstimateRecord);
    message_->setText(text);
    message_->setVisible(!text.isEmpty());
    sources_->setVisible(!empty);
    daysHeading_->setVisible(!empty);
    days_->setVisible(!empty);

    const QSignalBlocker quiet(sources_);
    sources_->setRowCount(static_cast<int>(sources.size()));
    for (int row = 0; row < sources_->rowCount(); ++row) {
        const SourceAccuracy& s = sources[static_cast<size_t>(row)];
        const bool any = s.days > 0;
        const QString none = QString::fromUtf16(kNone);
        sources_->setItem(row, 0, Cell(EstimateSourceCaption(s.source), false));
        sources_->setItem(row, 1, Cell(QString::number(s.days), true));
        sources_->setItem(row, 2, Cell(any ? Pp(s.meanAbsErrorPp) : none, true));
        sources_->setItem(
            row, 3,
            Cell(any ? QStringLiteral("%1（%2）")
                           .arg(Pp(s.maxAbsErrorPp), s.maxErrorDate.toString(Qt::ISODate))
                     : none,
                 true));
        sources_->setItem(row, 4, Cell(QString::number(s.pending), true));
    }
    const int header = sources_->horizontalHeader()->sizeHint().height();
    sources_->setFixedHeight(
        header + sources_->rowCount() * sources_->verticalHeader()->defaultSectionSize() +
        2 * sources_->frameWidth());
    if (!empty) sources_->setCurrentCell(0, 0);
    ShowDaysOf(empty ? -1 : 0);
}

void EstimateAccuracyDialog::ShowProblem(const QString& code, const QString& text) {
    ShowAccuracy(code, {});
    message_->setText(text);
}

void EstimateAccuracyDialog::ShowDaysOf(int row) {
    days_->setRowCount(0);
    if (row < 0 || row >= static_cast<int>(shown_.size())) {
        daysHeading_->clear();
        return;
    }
    const SourceAccuracy& s = shown_[static_cast<size_t>(row)];
    daysHeading_->setText(
        s.lastDays.empty()
            ? QStringLiteral("%1：还没有可以核对的日子").arg(EstimateSourceCaption(s.source))
            : QStringLiteral("%1：最近 %2 天")
                  .arg(EstimateSourceCaption(s.source))
                  .arg(s.lastDays.size()));
    days_->setRowCount(static_cast<int>(s.lastDays.size()));
    for (int r = 0; r < days_->rowCount(); ++r) {
        const ComparedDay& d = s.lastDays[static_cast<size_t>(r)];
        days_->setItem(r, 0, Cell(d.date.toString(Qt::ISODate), false));
        days_->setItem(r, 1, Cell(FormatPattern(d.estimate, u"0.0000"), true));
        days_->setItem(r, 2, Cell(FormatPattern(d.official, u"0.0000"), true));
        days_->setItem(r, 3, Cell(Pp(d.estimateChangePct), true));
        days_->setItem(r, 4, Cell(Pp(d.officialChangePct), true));
        days_->setItem(r, 5, Cell(Pp(d.errorPp), true));
    }
}

void ShowEstimateAccuracy(QWidget* parent, const PlanSession& session) {
    auto* dialog =
        parent->findChild<EstimateAccuracyDialog*>(QString(), Qt::FindDirectChildrenOnly);
    if (!dialog) {
        dialog = new EstimateAccuracyDialog(parent);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
    }
    const QString& code = session.FundCode();
    const QString& folder = session.ProgramFolder();
    const RecordContents record = EstimateRecord(folder).Read(code);
    if (record.status == RecordRead::Unreadable) {
        dialog->ShowProblem(code, QString::fromUtf8(kMsgEstimateRecordUnreadable)
                                      .arg(EstimateRecord::PathOf(folder, code)));
    } else {
        // The rows on screen are the freshest official NAVs when they are
        // this fund's (an import not yet saved included).
        std::vector<OfficialDay> official;
        if (session.LedgerCode() == code && session.Ledger().LastRow() > 0) {
            official = OfficialDays(session.Ledger());
        } else if (IsUsableFundCode(code)) {
            const QString plan = PlanFilePath(folder, code);
            if (QFileInfo(plan).isFile()) {
                const PlanFigures figures = PlanSession::ReadFigures(plan, Mode::Theory);
                if (figures.opened.result == OpenResult::Opened) {
                    official = OfficialDays(figures.table);
                }
            }
        }
        const QString note =
            record.status == RecordRead::Damaged
                ? QString::fromUtf8(kMsgEstimateRecordDamaged).arg(record.damagedLines)
                : QString();
        dialog->ShowAccuracy(code, CompareRecord(record.days, official), note);
    }
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

}  // namespace tovira
