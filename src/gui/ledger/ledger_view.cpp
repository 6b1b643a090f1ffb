#include "gui/ledger/ledger_view.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QHelpEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPalette>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QToolTip>
#include <QUrl>
#include <algorithm>
#include <cmath>

#include "gui/layout/twips.h"
#include "gui/ledger/cell_editor.h"

namespace tovira {

namespace {

// Full local paths of the files a drag carries, in drag order.
QStringList LocalFiles(const QMimeData* mime) {
    QStringList paths;
    if (!mime || !mime->hasUrls()) return paths;
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile()) paths << url.toLocalFile();
    }
    return paths;
}

// The purchase statuses the provider sends most days; 申购状态 is wide
// enough to show them whole.
constexpr const char* kCommonPurchaseStatuses[] = {"开放申购", "暂停申购", "限制大额申购",
                                                   "封闭期"};

}  // namespace

LedgerView::LedgerView(LedgerModel& model, QWidget* parent) : QTableView(parent), model_(model) {
    setFont(WindowFont());
    setModel(&model_);

    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setShowGrid(true);
    setWordWrap(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    // The menu comes up on the right press itself (mousePressEvent), never
    // from a context-menu event, which some platforms send on release.
    setContextMenuPolicy(Qt::PreventContextMenu);
    viewport()->setContextMenuPolicy(Qt::PreventContextMenu);

    // The selected row stays highlighted when the table loses the focus.
    QPalette pal = palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight,
                 pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                 pal.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(pal);

    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(QFontMetrics(font()).height() + 6);

    QHeaderView* header = horizontalHeader();
    header->setVisible(true);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setSectionsMovable(false);
    header->setStretchLastSection(false);
    header->setHighlightSections(false);

    for (const ColumnInfo& info : Columns()) SetColumnWidthTwips(info.column, info.widthTwips);
    FitColumnToTexts(Column::PurchaseStatus, kCommonPurchaseStatuses);
    ShowRedeemColumns(false);

    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    setDropIndicatorShown(false);

    menu_ = new QMenu(this);
    editor_ = new CellEditor(*this);
}

LedgerView::~LedgerView() {
    // The editor goes first: once the view's own teardown starts, its
    // viewport and line editor still get focus and mouse events.
    editor_->End(true);
    delete editor_;
}

std::optional<int> LedgerView::SelectedRow() const {
    const QModelIndexList rows = selectionModel()->selectedRows();
    if (rows.isEmpty()) return std::nullopt;
    return rows.first().row() + 1;
}

void LedgerView::SelectRow(int row, int column) {
    if (row < 1 || row > model_.LastRow()) return;
    // The current cell is the view's anchor: making it the ID cell would
    // scroll a view scrolled to the right back to its left edge.
    if (column < 0) column = currentIndex().isValid() ? currentIndex().column() : 0;
    selectionModel()->setCurrentIndex(
        model_.index(row - 1, column),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void LedgerView::ShowRedeemColumns(bool shown) {
    for (Column key : {Column::RedeemShares, Column::RedeemAmount}) {
        SetColumnWidthTwips(key, shown ? ColumnOf(key).widthTwips : 0);
    }
}

void LedgerView::SetColumnWidthTwips(Column key, int twips) {
    const int column = Index(key);
    widths_[static_cast<size_t>(column)] = twips;
    if (twips <= 0) {
        setColumnHidden(column, true);
        return;
    }
    setColumnHidden(column, false);
    setColumnWidth(column, TwipsToPixels(twips));
}

template <size_t N>
void LedgerView::FitColumnToTexts(Column key, const char* const (&texts)[N]) {
    // A cell shows its text whole when the text and the item's margins on
    // both sides fit within the column less its grid line.
    const QFontMetrics metrics(font());
    int widest = 0;
    for (const char* text : texts) {
        widest = std::max(widest, metrics.horizontalAdvance(QString::fromUtf8(text)));
    }
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    const int pixels = widest + 2 * margin + (showGrid() ? 1 : 0);
    const int twips = static_cast<int>(std::ceil(PixelsToTwips(pixels)));
    if (twips > ColumnWidthTwips(key)) SetColumnWidthTwips(key, twips);
}

QString LedgerView::ToolTipAt(const QPoint& viewportPos) const {
    const QModelIndex at = indexAt(viewportPos);
    if (!at.isValid()) return {};
    const QString text = at.data(Qt::ToolTipRole).toString();
    if (text.isEmpty()) return {};
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(at);
    const QAbstractItemDelegate* delegate = itemDelegateForIndex(at);
    if (delegate && delegate->sizeHint(option, at).width() <= option.rect.width()) return {};
    return text;
}

bool LedgerView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString text = ToolTipAt(help->pos());
        if (text.isEmpty()) {
            QToolTip::hideText();
        } else {
            QToolTip::showText(help->globalPos(), text, viewport(),
                               visualRect(indexAt(help->pos())));
        }
        return true;
    }
    return QTableView::viewportEvent(event);
}

void LedgerView::mousePressEvent(QMouseEvent* event) {
    // A press in the list area ends an open edit with its text kept, as the
    // focus moving to the table would.
    if (editor_->Editing()) editor_->End(true);

    if (event->button() == Qt::RightButton) {
        const QModelIndex at = indexAt(event->position().toPoint());
        if (at.isValid()) SelectRow(at.row() + 1, at.column());
        menu_->popup(event->globalPosition().toPoint());
        event->accept();
        return;
    }
    QTableView::mousePressEvent(event);
}

void LedgerView::keyPressEvent(QKeyEvent* event) {
    const bool menuKey = event->key() == Qt::Key_Menu ||
                         (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier);
    if (menuKey) {
        // The keyboard's context menu comes up at the selected row.
        QModelIndex at = currentIndex();
        QPoint pos = viewport()->rect().topLeft();
        if (at.isValid()) {
            SelectRow(at.row() + 1);
            scrollTo(at);
            pos = visualRect(at).center();
        }
        menu_->popup(viewport()->mapToGlobal(pos));
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_F2 && event->modifiers() == Qt::NoModifier) {
        QModelIndex at = currentIndex();
        if (at.isValid() && at.column() == Index(Column::ID)) at = at.siblingAtColumn(1);
        if (at.isValid() && editor_->Open(at)) {
            event->accept();
            return;
        }
    }
    QTableView::keyPressEvent(event);
}

void LedgerView::dragEnterEvent(QDragEnterEvent* event) {
    if (LocalFiles(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
}

void LedgerView::dragMoveEvent(QDragMoveEvent* event) {
    if (LocalFiles(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
}

void LedgerView::dropEvent(QDropEvent* event) {
    const QStringList paths = LocalFiles(event->mimeData());
    if (paths.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    emit FilesDropped(paths);
}

}  // namespace tovira
