#pragma once
// The start-up check of the three common-control component files the
// Windows build's windows need, and the installer script that copies and
// registers missing ones. The decision is made by CheckComponents, which is
// given the file look-up, so it runs (and is tested) on every platform.

#include <QString>
#include <QStringList>
#include <functional>

#include "core/common/prompt.h"

namespace tovira {

enum class ComponentAction {
    Continue,           // nothing missing (any script left from before is deleted)
    RunScript,          // 32-bit Windows: run scriptPath minimised, don't wait, go on starting
    ShowFolderAndQuit,  // 64-bit Windows: open the program folder, show message, end the process
};

struct ComponentCheckResult {
    ComponentAction action = ComponentAction::Continue;
    // "以管理员身份运行我.bat" (64-bit) or "注册OCX.bat" (32-bit) in the
    // program folder, whether or not it was written.
    QString scriptPath;
    // The component files that were not found, in the order they are checked.
    QStringList missing;
    // What to show before ending the process (ShowFolderAndQuit only).
    QString message;
};

// The start-up check of the Windows build: looks up MSCOMCTL.OCX, MSCOMCT2.OCX and
// COMDLG32.OCX in the system folder ("C:\Windows\SysWOW64\" when
// `windows64`, else "C:\Windows\System32\") through `fileExists`, deletes an
// old script when all three are there, appends two lines per missing file to
// the script and says what to do next.
ComponentCheckResult CheckComponents(const std::function<bool(const QString&)>& fileExists,
                                     bool windows64, const QString& programFolder);

// Whether this is a 32-bit process on 64-bit Windows (IsWow64Process, looked
// up at run time); false elsewhere.
bool RunsUnderWindows64();

// The whole start-up check on Windows: looks up the files, opens the folder or
// runs the script, shows the message through `prompt`. Returns false when
// the process should end. Elsewhere the components are the linked Qt
// libraries: it does nothing and returns true.
bool RunStartupComponentCheck(const QString& programFolder, Prompt& prompt);

}  // namespace tovira
