#pragma once
// Where the program keeps its plan folder, lists and settings.

#include <QString>

namespace tovira {

// The executable's folder when the program runs from where it was built or
// unpacked and may write there; the user's data folder (created on demand)
// when the folder is read-only or the program is installed, that is when a
// share/applications/tovira.desktop sits beside its bin folder: an installed
// program never writes into bin/, not even when run as root.
QString ChooseProgramFolder(const QString& exeDir, const QString& userDataDir);

}  // namespace tovira
