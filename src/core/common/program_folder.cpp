#include "core/common/program_folder.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

namespace tovira {

QString ChooseProgramFolder(const QString& exeDir, const QString& userDataDir) {
    const bool installed = QFileInfo::exists(
        QDir(exeDir).filePath(QStringLiteral("../share/applications/tovira.desktop")));
    if (!installed) {
        QTemporaryFile probe(QDir(exeDir).filePath(QStringLiteral("write-probe-XXXXXX")));
        if (probe.open()) return exeDir;
    }
    QDir().mkpath(userDataDir);
    return userDataDir;
}

}  // namespace tovira
