#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

#include "core/common/version.h"
#include "gui/dialogs/import_range_dialog.h"
#include "gui/layout/twips.h"
#include "gui/shell/component_check.h"
#include "gui/shell/main_window.h"
#include "gui/shell/qt_prompt.h"

namespace {

// The program keeps its plan folder and lists beside the executable when it
// may write there, else in the user's data folder.
QString ProgramFolder() {
    const QString exeDir = QCoreApplication::applicationDirPath();
    QTemporaryFile probe(QDir(exeDir).filePath(QStringLiteral("write-probe-XXXXXX")));
    if (probe.open()) return exeDir;
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(data);
    return data;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tovira"));
    QApplication::setApplicationVersion(QStringLiteral(TOVIRA_VERSION));
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setFont(tovira::WindowFont());
    const QString folder = ProgramFolder();
    {
        // The common-control files exist only on Windows; elsewhere the
        // check has nothing to do.
        tovira::QtPrompt prompt(nullptr);
        if (!tovira::RunStartupComponentCheck(folder, prompt)) return 0;
    }
    tovira::MainWindow window(folder);
    window.show();
    window.StartUpdateCheck();
    return app.exec();
}
