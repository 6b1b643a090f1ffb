#include <gtest/gtest.h>

#include <QFile>
#include <QLabel>
#include <QRadioButton>
#include <QTemporaryDir>

#include "core/storage/file_io.h"
#include "core/storage/ini_document.h"
#include "core/storage/plan_file.h"
#include "gui/controllers/plan_commands.h"
#include "gui/ledger/ledger_view.h"
#include "gui/ledger/side_panel.h"
#include "support/test_support.h"

using namespace tovira;

namespace {

class NoFiles : public FileChooser {
  public:
    QString OpenPlan(QWidget*) override { return QString(); }
    QString SaveCsv(QWidget*, const QString&) override { return QString(); }
};

// The save question before work would be lost: every answer, both targets,
// and a save that fails, which must keep the caller from going on.
TEST(PlanCommandsWidget, TheSaveQuestionSavesWhereItShouldAndStopsOnAFailedSave) {
    using SaveTo = PlanCommands::SaveTo;
    struct Case {
        const char* name;
        PromptButtons buttons;
        PromptAnswer answer;
        SaveTo target;
        const char* unsavable;  // a character the save must refuse, or ""
        bool goOn;
        const char* savedAs;  // the plan file written, or ""
        bool unconfirmed;     // the disk does not confirm the write
    };
    const Case cases[] = {
        {"cancel", PromptButtons::YesNoCancel, PromptAnswer::Cancel, SaveTo::LedgerFund, "", false,
         "", false},
        {"no", PromptButtons::YesNo, PromptAnswer::No, SaveTo::ShownFund, "", true, "", false},
        {"yes: the rows' fund, not the half-typed code", PromptButtons::YesNoCancel,
         PromptAnswer::Yes, SaveTo::LedgerFund, "", true, "000031", false},
        {"yes: the shown code", PromptButtons::YesNo, PromptAnswer::Yes, SaveTo::ShownFund, "",
         true, "000032", false},
        {"yes, but the save is refused", PromptButtons::YesNo, PromptAnswer::Yes, SaveTo::ShownFund,
         "😀", false, "", false},
        // Written, but the user is to check the disk and save once more: the
        // caller does not go on and the rows still count as unsaved.
        {"yes, but the disk does not confirm the save", PromptButtons::YesNo, PromptAnswer::Yes,
         SaveTo::ShownFund, "", false, "000032", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        PlanSession session(dir.path());
        test::RecordingPrompt prompt;
        NoFiles chooser;
        QWidget window;
        QRadioButton theory(&window);
        QRadioButton fact(&window);
        QLabel mark(&window);
        auto* view = new LedgerView(session.Ledger(), &window);
        auto* panel = new SidePanel(session.Settings(), prompt, &window);
        session.SetFundCode(c.target == SaveTo::LedgerFund ? QStringLiteral("0003") : "000032");
        PlanCommands plans(session, prompt, chooser,
                           PlanWidgets{&window, view, panel, &theory, &fact, &mark});

        session.SetLedgerCode(QStringLiteral("000031"));
        session.PointAtFund(QStringLiteral("000031"));
        // Nothing unsaved: no question at all.
        EXPECT_TRUE(plans.ConfirmDiscard());
        EXPECT_TRUE(prompt.texts.isEmpty());

        test::AddDays(session.Ledger(), {{"1.0000"}, {"1.0100", "", "", c.unsavable}});
        EXPECT_EQ(mark.text(), "未保存的修改");
        prompt.replies = {c.answer};
        const FileSystemCalls calls = FileSystem();
        if (c.unconfirmed) {
            test::FailFolderSyncAfterWriting(PlanFilePath(dir.path(), QStringLiteral("000032")));
        }
        EXPECT_EQ(plans.AskToSave(c.buttons, c.target), c.goOn);
        FileSystem() = calls;
        EXPECT_EQ(prompt.texts.value(0), "是否保存数据？");
        EXPECT_EQ(prompt.captions.value(0), "提示");
        for (const char* code : {"000031", "000032"}) {
            const bool written = QFile::exists(PlanFilePath(dir.path(), QString::fromLatin1(code)));
            EXPECT_EQ(written, qstrcmp(code, c.savedAs) == 0) << code;
        }
        // What was saved is no longer unsaved; anything else still is.
        EXPECT_EQ(mark.text().isEmpty(), *c.savedAs != '\0' && !c.unconfirmed);
        // The rows belong to the fund whose file holds them, confirmed or not.
        EXPECT_EQ(session.LedgerCode(), *c.savedAs != '\0' ? c.savedAs : "000031");
        if (c.unconfirmed) {
            EXPECT_EQ(prompt.texts.last(),
                      "已保存，但磁盘没有确认写入完成，请检查磁盘后再保存一次！");
        }
        if (*c.unsavable) {
            EXPECT_TRUE(prompt.texts.last().contains(QString::fromUtf8(c.unsavable)));
        }
    }
}

}  // namespace
