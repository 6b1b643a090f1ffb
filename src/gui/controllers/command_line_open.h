#pragma once
// `tovira PATH`: a plan file named when the program starts (the desktop entry
// passes the file the user opened with it).

#include <QString>
#include <QStringList>

namespace tovira {

class PlanCommands;
class PlanSession;
class Prompt;

// The plan file among the program's arguments once Qt took its own options:
// the first that is no option, as an absolute path (a file: URL as its local
// path); empty when there is none.
QString PlanFileArgument(const QStringList& arguments);

// Opens it as 打开 would (with the copy offer for a plan from outside 我的基金),
// in place of the plan the window started with. A file that is not there is
// reported and the window stays as it was.
void OpenPlanFromCommandLine(PlanCommands& plans, PlanSession& session, Prompt& prompt,
                             const QString& path);

}  // namespace tovira
