// The fund code box over the session: the box writes the code worked with
// into the session, and leaving a plan with unsaved rows asks first.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTest>
#include <memory>

#include "gui/controllers/fund_code_controller.h"
#include "plan_bench.h"

using namespace tovira;

namespace {

struct CodeBench : test::PlanBench {
    CodeBench() : box(panel->FundCodeBox()), codes(&window, box, session, plans) {
        AddPlan("006675");
        codes.LoadHistory();
    }
    void Type(const char* code) {
        box->lineEdit()->clear();
        QTest::keyClicks(box->lineEdit(), QLatin1String(code));
    }
    QComboBox* box;
    FundCodeController codes;
};

// Every way of leaving a plan with unsaved rows, with every answer: Cancel
// keeps the rows and the codes; No drops them; Yes saves them to their own
// fund first. Either of the last two shows the new fund with the defaults.
TEST(FundCodeControllerWidget, LeavingUnsavedRowsAsksAndCancelKeepsRowsAndCode) {
    enum class Way { Typed, Picked, Deleted };
    struct Case {
        const char* name;
        Way way;
        PromptAnswer answer;
    };
    const Case cases[] = {
        {"typed, cancel", Way::Typed, PromptAnswer::Cancel},
        {"typed, no", Way::Typed, PromptAnswer::No},
        {"picked, cancel", Way::Picked, PromptAnswer::Cancel},
        {"picked, yes", Way::Picked, PromptAnswer::Yes},
        {"Ctrl+Delete, cancel", Way::Deleted, PromptAnswer::Cancel},
    };
    PlanSettings defaults;
    defaults.ApplyPreset(Preset::Default);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CodeBench b;
        b.Type("161725");  // no plan: into the list only
        b.Type("006675");
        ASSERT_EQ(b.session.Ledger().LastRow(), 240);
        b.session.Settings().SetText(Field::Multiple, QStringLiteral("1.5"));
        b.panel->SyncFromSettings();
        ASSERT_EQ(b.box->itemText(1), "161725");
        b.session.Ledger().SetCell(3, Column::DividendAction, QStringLiteral("备注"));
        EXPECT_TRUE(b.prompt.texts.isEmpty());

        b.prompt.replies = {c.answer};
        switch (c.way) {
            case Way::Typed:
                b.Type("161725");
                break;
            case Way::Picked: {
                {
                    const QSignalBlocker quiet(b.box);
                    b.box->setCurrentIndex(0);
                }
                QTest::keyClick(b.box, Qt::Key_Down);
                break;
            }
            case Way::Deleted:
                QTest::keyClick(b.box->lineEdit(), Qt::Key_Delete, Qt::ControlModifier);
                break;
        }
        EXPECT_EQ(b.prompt.texts.value(0), "是否保存数据？");
        const bool left = c.answer != PromptAnswer::Cancel;
        const QString now = left ? QStringLiteral("161725") : QStringLiteral("006675");
        EXPECT_EQ(b.box->currentText(), now);
        EXPECT_EQ(b.session.FundCode(), now);
        EXPECT_EQ(b.session.LedgerCode(), now);
        EXPECT_EQ(b.session.Ledger().LastRow(), left ? 0 : 240);
        EXPECT_EQ(b.session.HasUnsavedRows(), !left);
        EXPECT_EQ(b.box->count(), 2);  // a cancelled Ctrl+Delete keeps the entry
        if (!left) {
            EXPECT_EQ(b.session.Ledger().Cell(3, Column::DividendAction), "备注");
            EXPECT_EQ(b.session.Settings().Text(Field::Multiple), "1.5");
        } else {
            EXPECT_EQ(b.session.Settings().Text(Field::Multiple), defaults.Text(Field::Multiple));
        }
        // Only a Yes writes the rows, and into their own fund's plan.
        IniDocument stored;
        ASSERT_TRUE(stored.Load(b.PlanPath("006675")));
        EXPECT_EQ(stored.Value(QStringLiteral("第3行"), QStringLiteral("RedConversion")) == "备注",
                  c.answer == PromptAnswer::Yes);
        EXPECT_FALSE(QFile::exists(b.PlanPath("161725")));
    }
}

// A code on its way is the code worked with (commands fetch what the box
// shows), but not yet the plan's: the rows and their fund stay.
TEST(FundCodeControllerWidget, TheBoxWritesEveryCodeIntoTheSessionButOnlyAWholeOneSwitches) {
    CodeBench b;
    EXPECT_EQ(b.session.FundCode(), "210009");
    b.Type("006675");
    b.session.Ledger().SetCell(3, Column::DividendAction, QStringLiteral("备注"));
    b.Type("1617");
    EXPECT_EQ(b.session.FundCode(), "1617");
    EXPECT_EQ(b.session.LedgerCode(), "006675");
    EXPECT_EQ(b.session.Ledger().LastRow(), 240);
    EXPECT_TRUE(b.prompt.texts.isEmpty());
    // A plan that names another fund takes the box, and the session, along.
    b.AddPlan("000011");
    IniDocument plan;
    ASSERT_TRUE(plan.Load(b.PlanPath("000011")));
    plan.SetValue(QStringLiteral("设置"), QStringLiteral("基金代码"), QStringLiteral("000022"));
    ASSERT_TRUE(plan.Save(b.PlanPath("000011")));
    b.prompt.replies = {PromptAnswer::No};
    b.plans.OpenPlan(b.PlanPath("000011"), Mode::Theory);
    EXPECT_EQ(b.box->currentText(), "000022");
    EXPECT_EQ(b.session.FundCode(), "000022");
    EXPECT_EQ(b.session.LedgerCode(), "000022");
}

}  // namespace
