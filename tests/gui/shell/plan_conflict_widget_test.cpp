// Two writers, one plan file: what another program writes into the shown
// plan's file after the window read it is never overwritten without asking,
// and the shown plan is reloaded from where it was read, wherever that is.

#include <QRadioButton>

#include "core/storage/plan_file.h"
#include "support/window_fixture.h"

namespace tovira {
namespace {

class PlanConflictTest : public test::WindowFixture {
  protected:
    void SetUp() override {
        WindowFixture::SetUp();
        ASSERT_TRUE(QFile::copy(QStringLiteral(TOVIRA_TEST_DATA "/golden/006675-fact.ini"),
                                PlanPath("006675")));
        QFile::setPermissions(PlanPath("006675"), QFile::ReadOwner | QFile::WriteOwner);
        ClearBox();
        Type(QStringLiteral("006675"));
        ASSERT_EQ(Window().Ledger().LastRow(), 240);
    }
    // Another program (a command-line append, another window) saves the plan.
    void AnotherProgramWrites(const QString& path, const char* amount) {
        IniDocument plan;
        ASSERT_TRUE(plan.Load(path));
        plan.SetValue(QStringLiteral("第2行"), QStringLiteral("PurchaseAmount"),
                      QString::fromLatin1(amount));
        ASSERT_TRUE(plan.Save(path));
    }
    static QString Stored(const QString& path, int row, const char* key) {
        IniDocument plan;
        EXPECT_TRUE(plan.Load(path));
        return plan.Value(QStringLiteral("第%1行").arg(row), QString::fromUtf8(key));
    }
    QString Question() const { return QString::fromUtf8(kMsgPlanChangedQuestion); }
};

TEST_F(PlanConflictTest, TheSaveAsksAndEveryAnswerKeepsOneOfTheTwoPlansWhole) {
    MainWindow& w = Window();
    const QString path = PlanPath("006675");
    w.Ledger().SetCell(3, Column::DividendAction, QStringLiteral("备注"));
    AnotherProgramWrites(path, "777");
    const QByteArray theirs = test::ReadFileBytes(path);

    // 取消: their file stays, the window keeps its edit, still unsaved.
    prompt.replies = {PromptAnswer::Cancel};
    EXPECT_FALSE(w.OnSave());
    EXPECT_EQ(prompt.texts.last(), Question());
    EXPECT_EQ(test::ReadFileBytes(path), theirs);
    EXPECT_EQ(w.Ledger().Cell(3, Column::DividendAction), "备注");
    EXPECT_TRUE(w.Session().HasUnsavedRows());
    EXPECT_EQ(QDir(dir.filePath("我的基金")).entryList(QDir::Files), QStringList{"006675.ini"});

    // 否: the window's plan replaces theirs, and the next save asks nothing.
    prompt.replies = {PromptAnswer::No};
    EXPECT_TRUE(w.OnSave());
    EXPECT_EQ(prompt.texts.last(), "保存成功！");
    EXPECT_EQ(Stored(path, 3, "RedConversion"), "备注");
    const int asked = prompt.texts.size();
    w.Ledger().SetCell(4, Column::DividendAction, QStringLiteral("又一个"));
    EXPECT_TRUE(w.OnSave());
    EXPECT_EQ(prompt.texts.size(), asked + 1);  // only "保存成功！"

    // 是: their plan is reloaded, the window's edit given up as asked.
    w.Ledger().SetCell(5, Column::DividendAction, QStringLiteral("放弃"));
    AnotherProgramWrites(path, "888");
    const QByteArray second = test::ReadFileBytes(path);
    prompt.replies = {PromptAnswer::Yes};
    EXPECT_FALSE(w.OnSave());
    EXPECT_EQ(test::ReadFileBytes(path), second);
    EXPECT_EQ(w.Ledger().Cell(5, Column::DividendAction), "");
    EXPECT_FALSE(w.Session().HasUnsavedRows());
    Find<QRadioButton>("factButton")->click();
    EXPECT_EQ(w.Ledger().Cell(2, Column::PurchaseAmount), "888");
}

TEST_F(PlanConflictTest, TheSaveQuestionOfAModeSwitchAsksTooAndACancelStopsTheSwitch) {
    MainWindow& w = Window();
    const QString path = PlanPath("006675");
    w.Ledger().SetCell(3, Column::DividendAction, QStringLiteral("备注"));
    AnotherProgramWrites(path, "777");
    const QByteArray theirs = test::ReadFileBytes(path);
    prompt.replies = {PromptAnswer::Yes, PromptAnswer::Cancel};  // save, then the conflict
    Find<QRadioButton>("factButton")->click();
    EXPECT_EQ(prompt.texts.last(), Question());
    EXPECT_EQ(test::ReadFileBytes(path), theirs);
    EXPECT_EQ(w.CurrentMode(), Mode::Theory);
    EXPECT_TRUE(Find<QRadioButton>("theoryButton")->isChecked());
    EXPECT_EQ(w.Ledger().Cell(3, Column::DividendAction), "备注");
}

TEST_F(PlanConflictTest, APlanFromElsewhereStaysTheShownPlanAcrossModesAndSaves) {
    // 我的基金 has its own 006675 plan; another one is opened from elsewhere.
    MainWindow& w = Window();
    w.OnClearList();
    QTemporaryDir elsewhere;
    const QString other = elsewhere.filePath(QStringLiteral("006675.ini"));
    ASSERT_TRUE(QFile::copy(PlanPath("006675"), other));
    QFile::setPermissions(other, QFile::ReadOwner | QFile::WriteOwner);
    IniDocument plan;
    ASSERT_TRUE(plan.Load(other));
    plan.SetValue(QStringLiteral("第1行"), QStringLiteral("PurchaseAmount"),
                  QStringLiteral("4321"));
    ASSERT_TRUE(plan.Save(other));
    const QByteArray own = test::ReadFileBytes(PlanPath("006675"));
    chooser.openPath = other;
    w.OnOpen();
    const QString firstPurchase = w.Ledger().Cell(1, Column::PurchaseAmount);

    // The mode switch reloads the shown plan: its typed amounts, not the
    // plan folder's.
    Find<QRadioButton>("factButton")->click();
    EXPECT_EQ(w.Ledger().Cell(1, Column::PurchaseAmount), "4321");
    Find<QRadioButton>("theoryButton")->click();
    EXPECT_EQ(w.Ledger().Cell(1, Column::PurchaseAmount), firstPurchase);

    // A save writes it back where it came from; the plan folder's plan of
    // the same fund is left alone.
    w.Ledger().SetCell(3, Column::DividendAction, QStringLiteral("备注"));
    EXPECT_TRUE(w.OnSave());
    EXPECT_EQ(Stored(other, 3, "RedConversion"), "备注");
    EXPECT_EQ(test::ReadFileBytes(PlanPath("006675")), own);
}

}  // namespace
}  // namespace tovira
