#pragma once
// Qt's own Chinese texts (file dialogs, standard buttons, the line editor's
// menu), from the translations of qt6-translations-l10n.

#include <QString>
#include <QStringList>

namespace tovira {

// Where qtbase_zh_CN.qm is looked for, in order: Qt's own translations
// folder, the folder of an installed program's share/, Debian's folder (a
// program run from its build folder, or with a Qt of its own).
QStringList QtTranslationFolders(const QString& programDir);

// Installs the first qtbase_zh_CN found into the running application; false
// (English dialogs) when there is none.
bool InstallQtTranslation(const QString& programDir);

}  // namespace tovira
