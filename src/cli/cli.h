#pragma once
// tovira-cli: loads a plan file the way the window opens it, recalculates and
// prints or exports the ledger.

#include <QString>
#include <QStringList>
#include <QTextStream>
#include <functional>

namespace tovira {

// args without the program name. Returns the process exit status.
// programFolder gives the program's folder to the commands that need one
// (Config.ini, the fund directory, the plan folder); none by default.
int RunCli(const QStringList& args, QTextStream& out, QTextStream& err,
           const std::function<QString()>& programFolder = {});

}  // namespace tovira
