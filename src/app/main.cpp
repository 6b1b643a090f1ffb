#include <QApplication>
#include <QStandardPaths>
#include <QTimer>

#include "core/common/program_folder.h"
#include "core/common/version.h"
#include "gui/dialogs/import_range_dialog.h"
#include "gui/layout/twips.h"
#include "gui/shell/main_window.h"
#include "gui/shell/qt_translation.h"
#include "gui/shell/tray_icon.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tovira"));
    QApplication::setApplicationVersion(QStringLiteral(TOVIRA_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("tovira"));
    QApplication::setWindowIcon(tovira::AppIcon());
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setFont(tovira::WindowFont());
    // Qt's own dialogs and buttons speak Chinese like the rest of the window,
    // installed or run from the build folder (the translations come with
    // qt6-translations-l10n; English without it).
    tovira::InstallQtTranslation(QCoreApplication::applicationDirPath());
    // The user's data folder is ~/.local/share/Tovira.
    const QString folder = tovira::ChooseProgramFolder(
        QCoreApplication::applicationDirPath(),
        QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    tovira::MainWindow window(folder);
    window.show();
    window.StartUpdateCheck();
    // `tovira PATH` (the desktop entry's %f): that plan, once the window shows.
    const QString planFile = tovira::PlanFileArgument(QCoreApplication::arguments());
    if (!planFile.isEmpty()) {
        QTimer::singleShot(0, &window,
                           [&window, planFile] { window.OpenPlanFromCommandLine(planFile); });
    }
    return app.exec();
}
