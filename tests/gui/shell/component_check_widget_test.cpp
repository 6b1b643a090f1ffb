// The start-up check of the component files and its installer script, for
// every combination of missing files on both word sizes.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "gui/shell/component_check.h"
#include "support/test_support.h"

using namespace tovira;

namespace {

const char* const kFiles[] = {"MSCOMCTL.OCX", "MSCOMCT2.OCX", "COMDLG32.OCX"};

QString ScriptName(bool windows64) {
    return windows64 ? QStringLiteral("以管理员身份运行我.bat") : QStringLiteral("注册OCX.bat");
}

// The script's two lines for one file, written out by hand.
QByteArray LinesFor(const char* file, bool windows64) {
    const QByteArray folder = windows64 ? "C:\\Windows\\sysWOW64\\" : "C:\\Windows\\System32\\";
    // "OCX控件" in GBK.
    return "copy /y \"%~dp0OCX\xBF\xD8\xBC\xFE\\" + QByteArray(file) + "\" " + folder + "\r\n" +
           "regsvr32 /s " + folder + file + "\r\n";
}

struct CheckRun {
    ComponentCheckResult result;
    QStringList lookedUp;
};

// `present` has bit i set when kFiles[i] is in the system folder.
CheckRun Check(const QString& folder, bool windows64, int present) {
    CheckRun run;
    const QString system = windows64 ? QStringLiteral("C:\\Windows\\SysWOW64\\")
                                     : QStringLiteral("C:\\Windows\\System32\\");
    run.result = CheckComponents(
        [&](const QString& path) {
            run.lookedUp << path;
            for (int i = 0; i < 3; ++i) {
                if (path == system + QString::fromLatin1(kFiles[i])) return (present >> i & 1) != 0;
            }
            return false;
        },
        windows64, folder);
    return run;
}

TEST(ComponentCheck, ScriptHoldsTwoLinesPerMissingFileOnBothWordSizes) {
    for (bool windows64 : {true, false}) {
        for (int present = 0; present < 8; ++present) {
            SCOPED_TRACE(testing::Message() << "64-bit " << windows64 << " present " << present);
            QTemporaryDir dir;
            ASSERT_TRUE(dir.isValid());
            const CheckRun run = Check(dir.path(), windows64, present);

            const QString system = windows64 ? QStringLiteral("C:\\Windows\\SysWOW64\\")
                                             : QStringLiteral("C:\\Windows\\System32\\");
            EXPECT_EQ(run.lookedUp, QStringList({system + "MSCOMCTL.OCX", system + "MSCOMCT2.OCX",
                                                 system + "COMDLG32.OCX"}));

            const QString script = dir.filePath(ScriptName(windows64));
            EXPECT_EQ(run.result.scriptPath, script);
            QByteArray expected;
            QStringList missing;
            for (int i = 0; i < 3; ++i) {
                if (present >> i & 1) continue;
                expected += LinesFor(kFiles[i], windows64);
                missing << QString::fromLatin1(kFiles[i]);
            }
            EXPECT_EQ(run.result.missing, missing);
            // Only the script for this word size is ever written.
            EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), present == 7 ? 0 : 1);

            if (present == 7) {
                EXPECT_FALSE(QFile::exists(script));
                EXPECT_EQ(run.result.action, ComponentAction::Continue);
                EXPECT_TRUE(run.result.message.isEmpty());
                continue;
            }
            EXPECT_EQ(test::ReadFileBytes(script), expected);
            if (windows64) {
                EXPECT_EQ(run.result.action, ComponentAction::ShowFolderAndQuit);
                EXPECT_EQ(
                    run.result.message,
                    "请右键单击“以管理员身份运行我.bat”，选择以管理员身份运行，然后重新启动程序！");
            } else {
                EXPECT_EQ(run.result.action, ComponentAction::RunScript);
                EXPECT_TRUE(run.result.message.isEmpty());
            }
        }
    }
}

TEST(ComponentCheck, OldScriptIsDeletedOnceAllFilesAreThere) {
    QTemporaryDir dir;
    const QString script = dir.filePath(ScriptName(true));
    ASSERT_TRUE(Check(dir.path(), true, 0b010).result.action == ComponentAction::ShowFolderAndQuit);
    ASSERT_TRUE(QFile::exists(script));

    const CheckRun run = Check(dir.path(), true, 0b111);
    EXPECT_EQ(run.result.action, ComponentAction::Continue);
    EXPECT_FALSE(QFile::exists(script));
}

TEST(ComponentCheck, ScriptOfAnEarlierStartIsAppendedToWhileFilesAreMissing) {
    QTemporaryDir dir;
    const QString script = dir.filePath(ScriptName(false));
    Check(dir.path(), false, 0b101);
    const CheckRun run = Check(dir.path(), false, 0b011);
    EXPECT_EQ(run.result.action, ComponentAction::RunScript);
    EXPECT_EQ(test::ReadFileBytes(script),
              LinesFor("MSCOMCT2.OCX", false) + LinesFor("COMDLG32.OCX", false));
}

TEST(ComponentCheck, StartupCheckOutsideWindowsLetsTheProgramRun) {
#ifndef Q_OS_WIN
    QTemporaryDir dir;
    test::RecordingPrompt prompt;
    EXPECT_TRUE(RunStartupComponentCheck(dir.path(), prompt));
    EXPECT_FALSE(RunsUnderWindows64());
    EXPECT_TRUE(prompt.texts.isEmpty());
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
#endif
}

}  // namespace
