#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include "core/ledger/ledger_model.h"
#include "core/ledger/plan_settings.h"
#include "gui/dialogs/cost_calculator_dialog.h"
#include "gui/layout/twips.h"
#include "support/test_support.h"

namespace tovira {
namespace {

QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

TEST(CostCalculatorDialogTest, CalculatesOnEveryPressBesideTheMainWindow) {
    LedgerModel ledger;
    PlanSettings settings;
    test::RecordingPrompt prompt;
    QWidget mainWindow;
    mainWindow.setGeometry(700, 150, 800, 600);
    mainWindow.show();

    EXPECT_EQ(ShowCostCalculator(mainWindow, ledger, settings, prompt), nullptr);
    test::AddDays(ledger, {{"1.1"}, {"1.2"}});
    ledger.SetCell(1, Column::NetInvested, Q("10000"));
    ledger.SetCell(1, Column::HeldShares, Q("9000"));
    QPointer<CostCalculatorDialog> form = ShowCostCalculator(mainWindow, ledger, settings, prompt);
    ASSERT_TRUE(form);
    EXPECT_EQ(ShowCostCalculator(mainWindow, ledger, settings, prompt), form.data());
    EXPECT_EQ(form->size(), QSize(TwipsToPixels(1335), TwipsToPixels(2460)));
    EXPECT_EQ(form->frameGeometry().right() + 1, mainWindow.frameGeometry().left());
    EXPECT_EQ(form->frameGeometry().top(), mainWindow.frameGeometry().top());

    QLineEdit* target = form->TargetCostBox();
    EXPECT_EQ(target->text(), Q("1.0000"));
    QTest::mouseClick(form->CalculateButton(), Qt::LeftButton);
    EXPECT_EQ(form->ResultBox()->text(), Q("5251.25"));
    target->setText(Q("1.2"));
    QTest::mouseClick(form->CalculateButton(), Qt::LeftButton);
    EXPECT_EQ(form->ResultBox()->text(), Q("0"));
    EXPECT_EQ(target->text(), Q("1.2"));

    // With the rows gone the press only complains.
    ledger.ClearRows();
    QTest::mouseClick(form->CalculateButton(), Qt::LeftButton);
    EXPECT_EQ(form->ResultBox()->text(), Q("0"));
    EXPECT_EQ(prompt.texts, QStringList(2, Q("数据不足！")));

    // Enter in the box does not close the window; the close button does.
    QTest::keyClick(target, Qt::Key_Return);
    EXPECT_TRUE(form->isVisible());
    form->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.isNull(); }, 5000));
}

TEST(CostCalculatorDialogTest, ALongResultShowsFromItsSignWithTheWholeTextOnHover) {
    LedgerModel ledger;
    PlanSettings settings;
    test::RecordingPrompt prompt;
    test::AddDays(ledger, {{"1.1"}, {"1.2"}});
    ledger.SetCell(1, Column::NetInvested, Q("10000"));
    ledger.SetCell(1, Column::HeldShares, Q("7000"));
    CostCalculatorDialog form(ledger, settings, prompt);
    form.show();
    // A target a hair above the NAV: hundreds of millions of shares, negative.
    form.TargetCostBox()->setText(Q("1.20001"));
    QTest::mouseClick(form.CalculateButton(), Qt::LeftButton);
    QLineEdit* result = form.ResultBox();
    ASSERT_TRUE(result->text().startsWith(u'-')) << result->text().toStdString();
    ASSERT_GT(result->fontMetrics().horizontalAdvance(result->text()), result->width() / 2);
    EXPECT_EQ(result->cursorPosition(), 0);
    EXPECT_EQ(result->toolTip(), result->text());
}

}  // namespace
}  // namespace tovira
