#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QDropEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>
#include <QUrl>
#include <QVBoxLayout>
#include <QWidget>
#include <memory>

#include "gui/layout/twips.h"
#include "gui/ledger/cell_editor.h"
#include "gui/ledger/ledger_view.h"
#include "support/test_support.h"

namespace tovira {
namespace {

// A window holding the ledger view and one other control to move the focus to.
class LedgerViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::AddDays(model, {{"1.0000"}, {"1.0480"}, {"1.0300"}});
        model.SetCell(2, Column::DailyChange, QStringLiteral("4.8"));
        auto* layout = new QVBoxLayout(&window);
        view = new LedgerView(model);
        other = new QLineEdit;
        layout->addWidget(view);
        layout->addWidget(other);
        window.resize(1200, 400);
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        view->setFocus();
    }

    void TearDown() override {
        if (QMenu* menu = view->ContextMenu()) menu->close();
    }

    QPoint CellCentre(int row, Column key) const {
        return view->visualRect(model.index(row - 1, Index(key))).center();
    }
    QPoint BelowLastRow() const {
        const QRect last = view->visualRect(model.index(model.LastRow() - 1, Index(Column::Date)));
        return QPoint(last.center().x(), last.bottom() + 10);
    }
    void DoubleClick(const QPoint& at, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseDClick(view->viewport(), button, Qt::NoModifier, at);
    }
    CellEditor& Editor() const { return *view->Editor(); }
    QLineEdit& Line() const { return *view->Editor()->Line(); }

    LedgerModel model;
    QWidget window;
    LedgerView* view = nullptr;
    QLineEdit* other = nullptr;
};

using CellEditorTest = LedgerViewTest;

TEST_F(CellEditorTest, OpensOnlyOnALeftDoubleClickOnACellBesideTheIdColumn) {
    EXPECT_FALSE(Line().isVisible());
    EXPECT_TRUE(Line().text().isEmpty());

    DoubleClick(CellCentre(2, Column::ID));
    EXPECT_FALSE(Editor().Editing());
    DoubleClick(BelowLastRow());
    EXPECT_FALSE(Editor().Editing());
    DoubleClick(CellCentre(2, Column::NetValue), Qt::RightButton);
    EXPECT_FALSE(Editor().Editing());
    EXPECT_EQ(model.Cell(2, Column::NetValue), "1.0480");
}

TEST_F(CellEditorTest, HiddenColumnCannotBeEditedUntilShown) {
    ASSERT_TRUE(view->isColumnHidden(Index(Column::RedeemShares)));
    // Where the hidden columns would sit, the next visible one is hit.
    const int holdLeft = view->columnViewportPosition(Index(Column::HeldShares));
    DoubleClick(QPoint(holdLeft + 2, CellCentre(1, Column::Date).y()));
    ASSERT_TRUE(Editor().Editing());
    EXPECT_EQ(Editor().EditedColumn(), Index(Column::HeldShares));
    Editor().End(false);

    view->ShowRedeemColumns(true);
    model.SetCell(1, Column::RedeemShares, QStringLiteral("100"));
    DoubleClick(CellCentre(1, Column::RedeemShares));
    ASSERT_TRUE(Editor().Editing());
    EXPECT_EQ(Editor().EditedColumn(), Index(Column::RedeemShares));
    EXPECT_EQ(Line().text(), "100");
}

TEST_F(CellEditorTest, EditorCoversTheBlankedCellAndEscPutsTheOldTextBack) {
    const QRect cell = view->visualRect(model.index(1, Index(Column::NetValue)));
    view->SelectRow(1);
    DoubleClick(CellCentre(2, Column::NetValue));

    ASSERT_TRUE(Editor().Editing());
    EXPECT_EQ(Editor().EditedRow(), 2);
    EXPECT_EQ(Editor().EditedColumn(), Index(Column::NetValue));
    EXPECT_TRUE(Line().isVisible());
    EXPECT_TRUE(Line().hasFocus());
    EXPECT_EQ(Line().text(), "1.0480");
    EXPECT_EQ(Line().selectedText(), "1.0480");
    EXPECT_EQ(model.Cell(2, Column::NetValue), "");
    EXPECT_EQ(view->SelectedRow(), 2);
    EXPECT_EQ(Line().x(), cell.left() + 4);
    EXPECT_EQ(Line().y(), cell.top());
    EXPECT_EQ(Line().height(), cell.height());
    // The editor fits its text, not the cell.
    EXPECT_EQ(Line().width(),
              QFontMetrics(Line().font()).horizontalAdvance("1.0480") + TwipsToPixels(180));

    QTest::keyClick(&Line(), Qt::Key_Escape);
    EXPECT_FALSE(Editor().Editing());
    EXPECT_FALSE(Line().isVisible());
    EXPECT_TRUE(Line().text().isEmpty());
    EXPECT_EQ(model.Cell(2, Column::NetValue), "1.0480");
}

TEST_F(CellEditorTest, EnterWritesTheTextExactlyAsTyped) {
    DoubleClick(CellCentre(2, Column::NetValue));
    QTest::keyClicks(&Line(), "1.05");
    QTest::keyClick(&Line(), Qt::Key_Return);
    EXPECT_FALSE(Editor().Editing());
    EXPECT_EQ(model.Cell(2, Column::NetValue), "1.05");
    EXPECT_EQ(model.Cell(2, Column::DailyChange), "4.8");  // no recalculation

    // No check: a blank goes in as it is; while blank the editor keeps the
    // cell's width.
    DoubleClick(CellCentre(1, Column::NetValue));
    QTest::keyClick(&Line(), Qt::Key_Backspace);
    EXPECT_EQ(Line().width(), view->visualRect(model.index(0, Index(Column::NetValue))).width());
    QTest::keyClick(&Line(), Qt::Key_Return);
    EXPECT_EQ(model.Cell(1, Column::NetValue), "");
}

TEST_F(CellEditorTest, FocusMovingElsewhereCommits) {
    DoubleClick(CellCentre(2, Column::Date));
    QTest::keyClicks(&Line(), "2020/2/2");
    other->setFocus(Qt::MouseFocusReason);
    EXPECT_FALSE(Editor().Editing());
    EXPECT_FALSE(Line().isVisible());
    EXPECT_EQ(model.Cell(2, Column::Date), "2020/2/2");
    EXPECT_TRUE(other->hasFocus());
}

TEST_F(CellEditorTest, SecondDoubleClickCommitsTheFirstEditAndOpensTheNext) {
    DoubleClick(CellCentre(1, Column::NetValue));
    QTest::keyClicks(&Line(), "0.99");
    // The press before the double click takes the focus back to the table.
    QTest::mousePress(view->viewport(), Qt::LeftButton, Qt::NoModifier,
                      CellCentre(3, Column::PurchaseAmount));
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, Qt::NoModifier,
                        CellCentre(3, Column::PurchaseAmount));
    DoubleClick(CellCentre(3, Column::PurchaseAmount));
    EXPECT_EQ(model.Cell(1, Column::NetValue), "0.99");
    ASSERT_TRUE(Editor().Editing());
    EXPECT_EQ(Editor().EditedRow(), 3);
    EXPECT_EQ(Editor().EditedColumn(), Index(Column::PurchaseAmount));

    // A double click alone (no press first) commits as well.
    QTest::keyClicks(&Line(), "500");
    DoubleClick(CellCentre(2, Column::PurchaseAmount));
    EXPECT_EQ(model.Cell(3, Column::PurchaseAmount), "500");
    EXPECT_EQ(Editor().EditedRow(), 2);
    EXPECT_EQ(view->SelectedRow(), 2);
}

TEST_F(CellEditorTest, RowsChangingUnderAnOpenEditNeverGetAStaleWrite) {
    // The edited row removed: nothing is written anywhere.
    DoubleClick(CellCentre(2, Column::NetValue));
    model.RemoveRow(2);
    EXPECT_FALSE(Editor().Editing());
    EXPECT_FALSE(Line().isVisible());
    ASSERT_EQ(model.LastRow(), 2);
    EXPECT_EQ(model.Cell(1, Column::NetValue), "1.0000");
    EXPECT_EQ(model.Cell(2, Column::NetValue), "1.0300");

    // A row above removed: the old text goes back to the row, now one up.
    DoubleClick(CellCentre(2, Column::NetValue));
    model.RemoveRow(1);
    EXPECT_FALSE(Editor().Editing());
    ASSERT_EQ(model.LastRow(), 1);
    EXPECT_EQ(model.Cell(1, Column::NetValue), "1.0300");

    // Rows appended in a bulk section (a reset) keep the edited row.
    DoubleClick(CellCentre(1, Column::NetValue));
    {
        BulkUpdate bulk(model);
        test::AddDays(model, {{"1.1"}});
    }
    EXPECT_FALSE(Editor().Editing());
    EXPECT_EQ(model.Cell(1, Column::NetValue), "1.0300");

    // The list cleared.
    DoubleClick(CellCentre(2, Column::NetValue));
    model.ClearRows();
    EXPECT_FALSE(Editor().Editing());
    EXPECT_EQ(model.LastRow(), 0);
    QTest::keyClick(view, Qt::Key_Return);
    EXPECT_EQ(model.LastRow(), 0);
}

// Tearing the window down with an edit open: the typed text is kept when the
// ledger outlives the view, and nothing touches a ledger that went first (the
// window owns the ledger as a member, the view as a child widget).
TEST(CellEditorTeardown, WindowGoesAwayWithAnEditOpen) {
    for (const bool ledgerFirst : {false, true}) {
        auto model = std::make_unique<LedgerModel>();
        test::AddDays(*model, {{"1.0"}, {"2.0"}});
        auto window = std::make_unique<QWidget>();
        auto* view = new LedgerView(*model, window.get());
        window->resize(800, 300);
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier,
                           view->visualRect(model->index(1, Index(Column::NetValue))).center());
        ASSERT_TRUE(view->Editor()->Line()->hasFocus());
        QTest::keyClicks(view->Editor()->Line(), "9");
        if (ledgerFirst) model.reset();
        window.reset();
        if (!ledgerFirst) {
            EXPECT_EQ(model->Cell(2, Column::NetValue), "9");
        }
    }
}

TEST_F(LedgerViewTest, RightPressPopsUpTheMenuAnywhereInTheListArea) {
    QMenu* menu = view->ContextMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(menu->actions().isEmpty());
    menu->addAction(QStringLiteral("刷新"));

    view->SelectRow(1);
    QTest::mousePress(view->viewport(), Qt::RightButton, Qt::NoModifier, BelowLastRow());
    EXPECT_TRUE(menu->isVisible());
    EXPECT_EQ(view->SelectedRow(), 1);
    menu->close();

    // On a row, the row is selected first so the menu acts on it; an open
    // edit is committed.
    DoubleClick(CellCentre(2, Column::NetValue));
    QTest::keyClicks(&Line(), "7");
    QTest::mousePress(view->viewport(), Qt::RightButton, Qt::NoModifier,
                      CellCentre(3, Column::Profit));
    EXPECT_TRUE(menu->isVisible());
    EXPECT_EQ(view->SelectedRow(), 3);
    EXPECT_FALSE(Editor().Editing());
    EXPECT_EQ(model.Cell(2, Column::NetValue), "7");
    menu->close();

    model.ClearRows();
    EXPECT_EQ(view->SelectedRow(), std::nullopt);
    QTest::mousePress(view->viewport(), Qt::RightButton, Qt::NoModifier, QPoint(20, 20));
    EXPECT_TRUE(menu->isVisible());
    menu->close();
}

TEST_F(LedgerViewTest, ColumnWidthsAreTheViewsInTwipsAndRedemptionColumnsFollowTheSwitch) {
    EXPECT_EQ(view->columnWidth(Index(Column::ID)), TwipsToPixels(500));
    EXPECT_EQ(view->columnWidth(Index(Column::DividendAction)), TwipsToPixels(3000));
    EXPECT_TRUE(view->isColumnHidden(Index(Column::RedeemShares)));
    EXPECT_TRUE(view->isColumnHidden(Index(Column::RedeemAmount)));
    EXPECT_TRUE(view->horizontalHeader()->isVisible());
    EXPECT_FALSE(view->verticalHeader()->isVisible());

    view->ShowRedeemColumns(true);
    for (Column c : {Column::RedeemShares, Column::RedeemAmount}) {
        EXPECT_FALSE(view->isColumnHidden(Index(c)));
        EXPECT_EQ(view->columnWidth(Index(c)), TwipsToPixels(1000));
        EXPECT_EQ(view->ColumnWidthTwips(c), 1000);
    }
    view->SetColumnWidthTwips(Column::Date, 0);
    EXPECT_TRUE(view->isColumnHidden(Index(Column::Date)));

    view->ShowRedeemColumns(false);
    EXPECT_TRUE(view->isColumnHidden(Index(Column::RedeemShares)));
    EXPECT_TRUE(view->isColumnHidden(Index(Column::RedeemAmount)));
    EXPECT_EQ(view->ColumnWidthTwips(Column::RedeemAmount), 0);
}

TEST_F(LedgerViewTest, PurchaseStatusShowsItsCommonTextsWholeAndOtherWidthsStay) {
    for (const char* status : {"限制大额申购", "暂停申购", "开放申购", "封闭期"}) {
        model.SetCell(1, Column::PurchaseStatus, QString::fromUtf8(status));
        EXPECT_EQ(view->ToolTipAt(CellCentre(1, Column::PurchaseStatus)), QString()) << status;
    }
    EXPECT_GE(view->ColumnWidthTwips(Column::PurchaseStatus), 1000);
    EXPECT_EQ(view->columnWidth(Index(Column::PurchaseStatus)),
              TwipsToPixels(view->ColumnWidthTwips(Column::PurchaseStatus)));
    for (const ColumnInfo& info : Columns()) {
        if (info.column == Column::PurchaseStatus || view->isColumnHidden(Index(info.column))) {
            continue;
        }
        EXPECT_EQ(view->ColumnWidthTwips(info.column), info.widthTwips) << info.caption;
    }
}

// The Menu key and Shift+F10 bring the menu up at the current cell, scrolled
// into sight, wherever the mouse is.
TEST_F(LedgerViewTest, TheKeyboardMenuComesUpAtTheCurrentCell) {
    QMenu* menu = view->ContextMenu();
    menu->addAction(QStringLiteral("刷新"));
    view->horizontalScrollBar()->setValue(view->horizontalScrollBar()->maximum());
    const QModelIndex cell = model.index(1, Index(Column::NetValue));
    view->selectionModel()->setCurrentIndex(cell, QItemSelectionModel::NoUpdate);
    QPoint first;
    for (auto [key, mods] :
         {std::pair{Qt::Key_Menu, Qt::NoModifier}, std::pair{Qt::Key_F10, Qt::ShiftModifier}}) {
        QCursor::setPos(view->viewport()->mapToGlobal(QPoint(5, 5)));
        QTest::keyClick(view, key, mods);
        ASSERT_TRUE(menu->isVisible()) << key;
        EXPECT_EQ(view->SelectedRow(), 2);
        const QRect shown = view->visualRect(cell);
        EXPECT_TRUE(view->viewport()->rect().contains(shown.center())) << key;
        const QPoint at = view->viewport()->mapFromGlobal(menu->pos());
        EXPECT_TRUE(shown.contains(at)) << key << " at " << at.x() << "," << at.y();
        if (first.isNull()) first = menu->pos();
        EXPECT_EQ(menu->pos(), first) << key;
        menu->close();
    }
}

TEST_F(LedgerViewTest, DroppedFilesAreReportedAsLocalPathsInOrder) {
    QSignalSpy dropped(view, &LedgerView::FilesDropped);
    auto drop = [&](const QList<QUrl>& urls) {
        QMimeData mime;
        mime.setUrls(urls);
        QDragEnterEvent enter(QPoint(30, 30), Qt::CopyAction, &mime, Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(view->viewport(), &enter);
        if (!enter.isAccepted()) return false;
        QDropEvent dropEvent(QPointF(30, 30), Qt::CopyAction, &mime, Qt::LeftButton,
                             Qt::NoModifier);
        QCoreApplication::sendEvent(view->viewport(), &dropEvent);
        return dropEvent.isAccepted();
    };

    EXPECT_TRUE(drop({QUrl::fromLocalFile("/tmp/plans/a.ini"), QUrl("https://example.com/x"),
                      QUrl::fromLocalFile("/tmp/plans/b c.ini")}));
    ASSERT_EQ(dropped.count(), 1);
    EXPECT_EQ(dropped.at(0).at(0).toStringList(),
              (QStringList{"/tmp/plans/a.ini", "/tmp/plans/b c.ini"}));

    EXPECT_FALSE(drop({QUrl("https://example.com/x")}));
    EXPECT_EQ(dropped.count(), 1);
}

TEST_F(LedgerViewTest, ACellTooNarrowForItsTextShowsItInATooltip) {
    const QString wide = QStringLiteral("-1.072463E+09");
    model.SetCell(1, Column::NetValue, wide);                          // 900 twips: too narrow
    model.SetCell(1, Column::DividendAction, QStringLiteral("分红"));  // 3000 twips
    EXPECT_EQ(model.index(0, Index(Column::NetValue)).data(Qt::ToolTipRole).toString(), wide);
    EXPECT_FALSE(model.index(0, Index(Column::CumulativeChange)).data(Qt::ToolTipRole).isValid());

    EXPECT_EQ(view->ToolTipAt(CellCentre(1, Column::NetValue)), wide);
    EXPECT_EQ(view->ToolTipAt(CellCentre(2, Column::NetValue)), QString());  // "1.0480" fits
    EXPECT_EQ(view->ToolTipAt(CellCentre(1, Column::DividendAction)), QString());
    EXPECT_EQ(view->ToolTipAt(CellCentre(1, Column::CumulativeChange)), QString());  // empty
    EXPECT_EQ(view->ToolTipAt(BelowLastRow()), QString());

    // The hover itself brings it up.
    const QPoint at = CellCentre(1, Column::NetValue);
    QHelpEvent help(QEvent::ToolTip, at, view->viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(view->viewport(), &help);
    EXPECT_TRUE(QTest::qWaitFor([&] { return QToolTip::text() == wide; }, 2000));
    QToolTip::hideText();
}

}  // namespace
}  // namespace tovira

namespace tovira {
namespace {

// Scrolled right, the view stays where it is while a cell is edited, and the
// edit lands in the column that was double-clicked (it used to jump back to
// the ID column, so the next double-click at the same spot hit another one).
TEST_F(CellEditorTest, TheViewStaysScrolledAndTheEditLandsInTheClickedColumn) {
    window.resize(500, 400);
    QTest::qWait(20);
    QScrollBar* bar = view->horizontalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    bar->setValue(view->columnViewportPosition(Index(Column::DailyChange)) + bar->value());
    const int scrolled = bar->value();
    ASSERT_GT(scrolled, 0);
    const QPoint spot = CellCentre(2, Column::PurchaseAmount);
    ASSERT_TRUE(view->viewport()->rect().contains(spot));

    for (const char* typed : {"500", "600"}) {
        DoubleClick(spot);
        ASSERT_TRUE(Editor().Editing());
        EXPECT_EQ(bar->value(), scrolled);
        EXPECT_EQ(Editor().EditedColumn(), Index(Column::PurchaseAmount));
        Line().setText(QString::fromLatin1(typed));
        QTest::keyClick(&Line(), Qt::Key_Return);
        EXPECT_EQ(bar->value(), scrolled);
        EXPECT_EQ(model.Cell(2, Column::PurchaseAmount), typed);
    }
    EXPECT_EQ(model.Cell(2, Column::NetValue), "1.0480");
}

}  // namespace
}  // namespace tovira
