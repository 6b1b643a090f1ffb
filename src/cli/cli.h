#pragma once
// tovira-cli: loads a plan file the way the window opens it, recalculates and
// prints or exports the ledger.

#include <QStringList>
#include <QTextStream>

namespace tovira {

// args without the program name. Returns the process exit status.
int RunCli(const QStringList& args, QTextStream& out, QTextStream& err);

}  // namespace tovira
