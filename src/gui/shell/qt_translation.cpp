#include "gui/shell/qt_translation.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

namespace tovira {

QStringList QtTranslationFolders(const QString& programDir) {
    QStringList folders{QLibraryInfo::path(QLibraryInfo::TranslationsPath),
                        QDir(programDir).filePath(QStringLiteral("../share/qt6/translations")),
                        QStringLiteral("/usr/share/qt6/translations")};
    for (QString& folder : folders) folder = QDir::cleanPath(folder);
    folders.removeDuplicates();
    return folders;
}

bool InstallQtTranslation(const QString& programDir) {
    auto* translator = new QTranslator(QCoreApplication::instance());
    for (const QString& folder : QtTranslationFolders(programDir)) {
        if (translator->load(QStringLiteral("qtbase_zh_CN"), folder)) {
            return QCoreApplication::installTranslator(translator);
        }
    }
    delete translator;
    return false;
}

}  // namespace tovira
