#include "gui/shell/component_check.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "core/storage/edit_file.h"

#ifdef Q_OS_WIN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <shellapi.h>
#include <windows.h>
#endif

namespace tovira {

namespace {

const char* const kComponents[] = {"MSCOMCTL.OCX", "MSCOMCT2.OCX", "COMDLG32.OCX"};

const char* const kScript64 = "以管理员身份运行我.bat";
const char* const kScript32 = "注册OCX.bat";
const char* const kRunAsAdministrator =
    "请右键单击“以管理员身份运行我.bat”，选择以管理员身份运行，然后重新启动程序！";

// The folder the files are looked up in, and the one the script's lines
// name: the lines write "sysWOW64" with a small s.
QString CheckedFolder(bool windows64) {
    return QString::fromLatin1(windows64 ? "C:\\Windows\\SysWOW64\\" : "C:\\Windows\\System32\\");
}
QString ScriptFolder(bool windows64) {
    return QString::fromLatin1(windows64 ? "C:\\Windows\\sysWOW64\\" : "C:\\Windows\\System32\\");
}

}  // namespace

ComponentCheckResult CheckComponents(const std::function<bool(const QString&)>& fileExists,
                                     bool windows64, const QString& programFolder) {
    ComponentCheckResult result;
    result.scriptPath =
        QDir(programFolder).filePath(QString::fromUtf8(windows64 ? kScript64 : kScript32));

    for (const char* name : kComponents) {
        const QString file = QString::fromLatin1(name);
        if (!fileExists(CheckedFolder(windows64) + file)) result.missing << file;
    }

    // A script from an earlier start is no longer needed. While files are
    // still missing it is kept, and the lines are appended to it again.
    if (result.missing.isEmpty() && QFileInfo::exists(result.scriptPath)) {
        QFile::remove(result.scriptPath);
    }

    const QString target = ScriptFolder(windows64);
    for (const QString& file : result.missing) {
        // "%~dp0" is the script's own folder: the copies come from "OCX控件" beside it.
        AppendTextToFile(result.scriptPath, QStringLiteral("copy /y \"%~dp0OCX控件\\") + file +
                                                QStringLiteral("\" ") + target +
                                                QStringLiteral("\r\nregsvr32 /s ") + target + file);
    }

    if (!QFileInfo::exists(result.scriptPath)) return result;
    if (windows64) {
        // Writing to the system folder needs the administrator, which the
        // user has to grant by hand.
        result.action = ComponentAction::ShowFolderAndQuit;
        result.message = QString::fromUtf8(kRunAsAdministrator);
    } else {
        result.action = ComponentAction::RunScript;
    }
    return result;
}

bool RunsUnderWindows64() {
#ifdef Q_OS_WIN
    using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, PBOOL);
    const HMODULE kernel = GetModuleHandleW(L"kernel32");
    if (!kernel) return false;
    // Older systems lack the function: then the answer is no.
    const FARPROC found = GetProcAddress(kernel, "IsWow64Process");
    if (!found) return false;
    const auto isWow64Process =
        reinterpret_cast<IsWow64ProcessFunction>(reinterpret_cast<void (*)()>(found));
    BOOL wow64 = FALSE;
    return isWow64Process(GetCurrentProcess(), &wow64) && wow64;
#else
    return false;
#endif
}

bool RunStartupComponentCheck(const QString& programFolder, Prompt& prompt) {
#ifdef Q_OS_WIN
    const ComponentCheckResult result =
        CheckComponents([](const QString& path) { return QFileInfo::exists(path); },
                        RunsUnderWindows64(), programFolder);
    switch (result.action) {
        case ComponentAction::Continue:
            return true;
        case ComponentAction::RunScript: {
            const std::wstring script = QDir::toNativeSeparators(result.scriptPath).toStdWString();
            ShellExecuteW(nullptr, L"open", script.c_str(), nullptr, nullptr, SW_SHOWMINIMIZED);
            return true;
        }
        case ComponentAction::ShowFolderAndQuit: {
            const std::wstring folder =
                L"\"" + QDir::toNativeSeparators(programFolder).toStdWString() + L"\"";
            ShellExecuteW(nullptr, L"open", L"explorer", folder.c_str(), nullptr, SW_SHOWNORMAL);
            prompt.Inform(result.message);
            return false;
        }
    }
    return true;
#else
    Q_UNUSED(programFolder);
    Q_UNUSED(prompt);
    return true;
#endif
}

}  // namespace tovira
