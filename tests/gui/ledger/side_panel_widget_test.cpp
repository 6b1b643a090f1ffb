#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>

#include "gui/ledger/side_panel.h"
#include "support/test_support.h"

namespace tovira {
namespace {

QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

class SidePanelTest : public ::testing::Test {
  protected:
    PlanSettings settings;
    test::RecordingPrompt prompt;
    SidePanel panel{settings, prompt};

    // Replaces the whole text of a box as the user would: select all, type.
    void Type(Field f, const char* keys) {
        QLineEdit* box = panel.Box(f);
        box->selectAll();
        QTest::keyClicks(box, Q(keys));
    }

    void ShowAndActivate() {
        panel.show();
        panel.activateWindow();
        QApplication::setActiveWindow(&panel);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&panel));
    }

    // Moves the focus from one box to another; the offscreen platform does
    // not always deliver the focus change, so send it when it did not.
    void MoveFocus(QWidget* from, QWidget* to) {
        to->setFocus(Qt::TabFocusReason);
        if (from->hasFocus()) {
            QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
            QApplication::sendEvent(from, &out);
        }
        QApplication::processEvents();  // the deferred refocus
    }

    bool Enabled(Field f) { return panel.Box(f)->isEnabled(); }
};

TEST_F(SidePanelTest, StartsWithTheSettingsTextsAndEnabledStates) {
    for (const FieldInfo& info : Fields()) {
        EXPECT_EQ(panel.Box(info.field)->text(), settings.Text(info.field)) << info.name;
        // Only the boxes a switch governs start disabled, with their captions.
        const bool on = settings.Enabled(ControlOf(info.field));
        EXPECT_EQ(Enabled(info.field), on) << info.name;
        EXPECT_EQ(panel.Caption(info.field)->isEnabled(), on) << info.name;
    }
    EXPECT_EQ(panel.FundCodeBox()->currentText(), Q("210009"));
    EXPECT_FALSE(panel.SpinUp(Field::RiskPositionPct)->isEnabled());
    EXPECT_FALSE(panel.SpinDown(Field::RiskPositionPct)->isEnabled());
    EXPECT_TRUE(panel.SpinUp(Field::StartBuyPct)->isEnabled());
    for (const SwitchInfo& info : Switches()) {
        EXPECT_FALSE(panel.SwitchBox(info.sw)->isChecked()) << info.key;
        EXPECT_EQ(panel.SwitchBox(info.sw)->isEnabled(), info.sw != Switch::BreakAlert) << info.key;
    }
}

// Tests and the window find the widgets by object name: each name of the
// table must reach its own field's box or switch's check box, captioned and
// explained as the table says.
TEST_F(SidePanelTest, EachTableRowNamesItsOwnWidget) {
    for (const FieldInfo& info : Fields()) {
        QLineEdit* box = panel.findChild<QLineEdit*>(Q(info.objectName));
        EXPECT_EQ(box, panel.Box(info.field)) << info.objectName;
        EXPECT_EQ(panel.Caption(info.field)->text(), Q(FieldCaptionText(info.field)));
        EXPECT_EQ(panel.Caption(info.field)->buddy(), box) << info.objectName;
        EXPECT_EQ(panel.Box(info.field)->toolTip(), Q(info.tooltip)) << info.objectName;
        EXPECT_EQ(panel.SpinUp(info.field) != nullptr, info.clamp.step > 0) << info.objectName;
    }
    for (const SwitchInfo& info : Switches()) {
        QCheckBox* box = panel.findChild<QCheckBox*>(Q(info.objectName));
        EXPECT_EQ(box, panel.SwitchBox(info.sw)) << info.objectName;
        EXPECT_EQ(box->text(), Q(info.caption)) << info.objectName;
    }
}

TEST_F(SidePanelTest, TypingIntoAClampedBoxEndsWithTheTypedValue) {
    // Keys typed one by one after select-all, then Enter: the box ends with
    // the typed value, clamped to the bounds and in the box's pattern.
    const struct {
        Field field;
        const char* keys;
        const char* settled;
    } cases[] = {
        {Field::StartBuyPct, "-1", "-1.00"},  {Field::StartBuyPct, "-0.3", "-0.30"},
        {Field::StartBuyPct, "1.5", "1.50"},  {Field::StartBuyPct, "12", "9.00"},
        {Field::StartBuyPct, "-", "-0.50"},   {Field::Multiple, "1.55", "1.55"},
        {Field::Multiple, "0.8", "1"},        {Field::Multiple, "x", "1.2"},
        {Field::MultipleStep, "0.31", "0.3"}, {Field::MultipleStep, "0.25", "0.25"},
    };
    for (const auto& c : cases) {
        QLineEdit* box = panel.Box(c.field);
        Type(c.field, c.keys);
        // Nothing is rewritten under the user's fingers.
        EXPECT_EQ(box->text(), Q(c.keys)) << c.keys;
        QTest::keyClick(box, Qt::Key_Return);
        EXPECT_EQ(box->text(), Q(c.settled)) << c.keys;
        EXPECT_EQ(settings.Text(c.field), Q(c.settled)) << c.keys;
    }
    // A complete number reaches the settings (clamped) while still typing.
    Type(Field::StartBuyPct, "-12");
    EXPECT_EQ(settings.Text(Field::StartBuyPct), Q("-9.00"));
    panel.FinishTyping();
    EXPECT_EQ(panel.Box(Field::StartBuyPct)->text(), Q("-9.00"));

    // Boxes without clamping take the text as typed, even a bad one.
    Type(Field::TotalCapital, "12x");
    EXPECT_EQ(panel.Box(Field::TotalCapital)->text(), Q("12x"));
    EXPECT_EQ(settings.Text(Field::TotalCapital), Q("12x"));
}

TEST_F(SidePanelTest, ArrowKeysAndTheWheelSpinAndEveryUserEditIsReported) {
    QSignalSpy edited(&panel, &SidePanel::EditedByUser);
    QLineEdit* box = panel.Box(Field::StartBuyPct);
    QTest::keyClick(box, Qt::Key_Up);
    EXPECT_EQ(box->text(), Q("-0.40"));
    QTest::keyClick(box, Qt::Key_Down);
    QTest::keyClick(box, Qt::Key_Down);
    EXPECT_EQ(box->text(), Q("-0.60"));
    QWheelEvent wheel(QPointF(5, 5), box->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, 120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(box, &wheel);
    EXPECT_EQ(box->text(), Q("-0.50"));
    // A switched-off spin control does not answer.
    QTest::keyClick(panel.Box(Field::RiskPositionPct), Qt::Key_Up);
    EXPECT_EQ(settings.Text(Field::RiskPositionPct), panel.Box(Field::RiskPositionPct)->text());
    EXPECT_EQ(edited.count(), 4);

    Type(Field::TotalCapital, "8");
    panel.SwitchBox(Switch::SellOnRises)->click();
    EXPECT_EQ(edited.count(), 6);
    // Code changing the settings is no user edit.
    settings.ApplyPreset(Preset::Brave);
    panel.SyncFromSettings();
    EXPECT_EQ(edited.count(), 6);
}

TEST_F(SidePanelTest, SpinButtonsStepAndClamp) {
    settings.SetChecked(Switch::BuyFirst, true);
    settings.SetText(Field::RiskPositionPct, Q("95"));
    panel.SyncFromSettings();
    ASSERT_TRUE(panel.SpinUp(Field::RiskPositionPct)->isEnabled());

    QTest::mouseClick(panel.SpinUp(Field::RiskPositionPct), Qt::LeftButton);
    EXPECT_EQ(panel.Box(Field::RiskPositionPct)->text(), Q("100"));
    EXPECT_EQ(settings.Text(Field::RiskPositionPct), Q("100"));

    QTest::mouseClick(panel.SpinDown(Field::StartBuyPct), Qt::LeftButton);
    EXPECT_EQ(panel.Box(Field::StartBuyPct)->text(), Q("-0.60"));
    QTest::mouseClick(panel.SpinUp(Field::MultipleStep), Qt::LeftButton);
    EXPECT_EQ(panel.Box(Field::MultipleStep)->text(), Q("0.15"));
}

TEST_F(SidePanelTest, LeavingABadBoxWarnsAndTakesTheFocusBack) {
    ShowAndActivate();
    QLineEdit* capital = panel.Box(Field::TotalCapital);
    capital->setFocus(Qt::TabFocusReason);
    Type(Field::TotalCapital, "999");

    MoveFocus(capital, panel.Box(Field::PurchaseFeePct));

    ASSERT_EQ(prompt.texts, QStringList{Q("资金总量错误，请重新输入！")});
    EXPECT_EQ(prompt.captions, QStringList{Q(kAppCaption)});
    EXPECT_TRUE(capital->hasFocus());
    EXPECT_EQ(capital->text(), Q("999"));
    EXPECT_EQ(capital->selectedText(), Q("999"));

    // Once corrected, leaving the box is quiet.
    Type(Field::TotalCapital, "1000");
    MoveFocus(capital, panel.Box(Field::PurchaseFeePct));
    EXPECT_EQ(prompt.texts.size(), 1);
    EXPECT_TRUE(panel.Box(Field::PurchaseFeePct)->hasFocus());
}

TEST_F(SidePanelTest, TwoBadBoxesDoNotTakeTheFocusFromEachOther) {
    ShowAndActivate();
    QLineEdit* fee = panel.Box(Field::PurchaseFeePct);
    QLineEdit* capital = panel.Box(Field::TotalCapital);
    Type(Field::PurchaseFeePct, "9");  // above 5, typed without the focus
    capital->setFocus(Qt::TabFocusReason);
    Type(Field::TotalCapital, "1");

    // Leaving the capital for the bad fee box: only the capital is reported,
    // the refocus that leaves the fee box again is not validated.
    MoveFocus(capital, fee);
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    EXPECT_EQ(prompt.texts, QStringList{Q("资金总量错误，请重新输入！")});
    EXPECT_TRUE(capital->hasFocus());
}

TEST_F(SidePanelTest, FocusLostToAMenuOrAnotherWindowIsNotLeavingTheBox) {
    QLineEdit* capital = panel.Box(Field::TotalCapital);
    Type(Field::TotalCapital, "999");
    for (Qt::FocusReason reason : {Qt::PopupFocusReason, Qt::ActiveWindowFocusReason}) {
        QFocusEvent out(QEvent::FocusOut, reason);
        QApplication::sendEvent(capital, &out);
    }
    QApplication::processEvents();
    EXPECT_TRUE(prompt.texts.isEmpty());
}

TEST_F(SidePanelTest, UncheckingTheTakeProfitAlertAlsoUnticksTheBreakAlert) {
    QSignalSpy clicked(&panel, &SidePanel::SwitchClicked);
    QCheckBox* remind = panel.SwitchBox(Switch::TakeProfitAlert);
    QCheckBox* broken = panel.SwitchBox(Switch::BreakAlert);

    remind->click();
    EXPECT_TRUE(broken->isEnabled());
    broken->click();
    EXPECT_TRUE(Enabled(Field::BreakMaDays));
    EXPECT_FALSE(Enabled(Field::TakeProfitPct));

    remind->click();
    EXPECT_FALSE(broken->isChecked());
    EXPECT_FALSE(broken->isEnabled());
    EXPECT_FALSE(Enabled(Field::TakeProfitPct));
    EXPECT_FALSE(Enabled(Field::BreakMaDays));
    EXPECT_FALSE(Enabled(Field::BreakAmplitudePct));
    EXPECT_FALSE(panel.Caption(Field::BreakAmplitudePct)->isEnabled());

    // One signal per click, the cascade does not count as a click.
    ASSERT_EQ(clicked.count(), 3);
    EXPECT_EQ(clicked.at(2).at(0).value<Switch>(), Switch::TakeProfitAlert);
    EXPECT_FALSE(clicked.at(2).at(1).toBool());
}

TEST_F(SidePanelTest, BuyFirstAndSellOnRisesSwitchTheirBoxesAndSpinButtons) {
    panel.SwitchBox(Switch::BuyFirst)->click();
    EXPECT_TRUE(Enabled(Field::RiskPositionPct));
    EXPECT_TRUE(panel.Caption(Field::RiskPositionPct)->isEnabled());
    EXPECT_TRUE(panel.SpinDown(Field::RiskPositionPct)->isEnabled());

    panel.SwitchBox(Switch::SellOnRises)->click();
    EXPECT_TRUE(Enabled(Field::StartSellPct));
    EXPECT_TRUE(panel.Caption(Field::MinKeepShares)->isEnabled());
}

TEST_F(SidePanelTest, SyncShowsWhatAPresetChanged) {
    settings.ApplyPreset(Preset::Brave);
    panel.SyncFromSettings();

    EXPECT_EQ(panel.Box(Field::StartBuyPct)->text(), Q("-0.30"));
    EXPECT_EQ(panel.Box(Field::RiskPositionPct)->text(), Q("30"));
    EXPECT_TRUE(panel.SwitchBox(Switch::TakeProfitAlert)->isChecked());
    EXPECT_TRUE(panel.SwitchBox(Switch::GrowingTopUp)->isChecked());
    EXPECT_TRUE(panel.SwitchBox(Switch::BreakAlert)->isEnabled());
    EXPECT_TRUE(Enabled(Field::RiskPositionPct));

    // Syncing runs no handler: nothing is reported as clicked.
    QSignalSpy clicked(&panel, &SidePanel::SwitchClicked);
    settings.ApplyPreset(Preset::Default);
    panel.SyncFromSettings();
    EXPECT_EQ(clicked.count(), 0);
    EXPECT_FALSE(panel.SwitchBox(Switch::TakeProfitAlert)->isChecked());
    EXPECT_EQ(panel.Box(Field::MinRedeemShares)->text(), Q("50"));
}

TEST_F(SidePanelTest, ClickingTheToggleAsksForTheSlide) {
    QSignalSpy toggled(&panel, &SidePanel::ToggleClicked);
    QTest::mouseClick(panel.Toggle(), Qt::LeftButton);
    EXPECT_EQ(toggled.count(), 1);
    EXPECT_EQ(panel.Toggle()->cursor().shape(), Qt::PointingHandCursor);
}

}  // namespace
}  // namespace tovira
