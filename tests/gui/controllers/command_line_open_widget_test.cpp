// `tovira PATH`: the plan named on the command line, opened once the window is up.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "gui/controllers/command_line_open.h"
#include "support/window_fixture.h"

using namespace tovira;

namespace {

class CommandLineOpenTest : public test::WindowFixture {
  protected:
    // The example plan with its fund code and row count replaced.
    void WritePlan(const QString& path, const char* code, int rows) {
        IniDocument plan;
        ASSERT_TRUE(plan.Load(test::ExamplePlan()));
        plan.SetValue(QStringLiteral("设置"), QStringLiteral("基金代码"), QLatin1String(code));
        plan.SetValue(QStringLiteral("特殊数据"), QStringLiteral("行数"), QString::number(rows));
        ASSERT_TRUE(plan.Save(path));
    }
    QString Outside(const char* name) const { return dir.filePath(QLatin1String(name)); }
};

}  // namespace

TEST(PlanFileArgumentTest, TakesTheFirstArgumentThatIsNoOption) {
    EXPECT_EQ(PlanFileArgument({"tovira"}), "");
    EXPECT_EQ(PlanFileArgument({"tovira", "-v", "a/../x.ini", "y.ini"}),
              QDir::currentPath() + "/x.ini");
    EXPECT_EQ(PlanFileArgument({"tovira", "file:///tmp/%E6%88%91.ini"}), "/tmp/我.ini");
}

TEST_F(CommandLineOpenTest, ThePlanReplacesTheOneShownAtStart) {
    WritePlan(PlanPath("210009"), "210009", 240);  // the code shown at start
    WritePlan(Outside("short.ini"), "006675", 3);
    MainWindow& w = Window();
    ASSERT_EQ(w.Ledger().LastRow(), 240);

    // Unsaved input: the save question comes first, and Cancel keeps it.
    w.Ledger().SetCell(2, Column::NetValue, QStringLiteral("1.3000"));
    prompt.replies = {PromptAnswer::Cancel};
    w.OpenPlanFromCommandLine(Outside("short.ini"));
    EXPECT_EQ(prompt.texts, QStringList{"是否保存数据？"});
    EXPECT_EQ(w.Ledger().LastRow(), 240);
    EXPECT_EQ(w.Ledger().Cell(2, Column::NetValue), "1.3000");

    // No to saving, No to the copy: the file is shown as it is, on its own.
    prompt.texts.clear();
    prompt.replies = {PromptAnswer::No, PromptAnswer::No};
    w.OpenPlanFromCommandLine(Outside("short.ini"));
    EXPECT_EQ(prompt.texts.value(1),
              "“我的基金”中没有基金006675的计划，是否将此计划复制到“我的基金”？");
    EXPECT_EQ(CodeBox()->currentText(), "006675");
    EXPECT_EQ(w.Ledger().LastRow(), 3);
    EXPECT_EQ(w.CurrentPlanPath(), Outside("short.ini"));
    EXPECT_FALSE(QFile::exists(PlanPath("006675")));
}

TEST_F(CommandLineOpenTest, APathThatIsNoPlanSaysSo) {
    ASSERT_TRUE(QFile::copy(test::ExamplePlan(), Outside("plan.txt")));
    MainWindow& w = Window();
    for (const auto& [path, message] :
         {std::pair{Outside("missing.ini"), "找不到计划文件：" + Outside("missing.ini")},
          std::pair{Outside("plan.txt"), QStringLiteral("文件格式不对，请重新选择！")}}) {
        prompt.texts.clear();
        w.OpenPlanFromCommandLine(path);
        EXPECT_EQ(prompt.texts, QStringList{message});
        EXPECT_EQ(w.Ledger().LastRow(), 0);
    }
}
