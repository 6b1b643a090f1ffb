#pragma once
// What the plan commands (export, show, report, sweep) share: the --mode
// option, the checks of the plan and output paths, and the plan read as the
// window opens it.

#include <QString>
#include <QTextStream>
#include <optional>

#include "cli/commands/command.h"
#include "core/session/plan_session.h"

namespace tovira {

CommandOption ModeOption();

// --mode as given, 理论计算 without it; none (after the message) for any
// other word than theory or fact.
std::optional<Mode> ReadModeOption(const CommandRun& run);

// Whether the plan is a regular file (links followed): a pipe or a device
// would hang the read. Says so when it is not.
bool PlanFileIsThere(const QString& planPath, QTextStream& err);

// Whether an output may be written at outPath: never in a plan's place,
// neither the plan read, under any name or link, nor any other plan file.
// Says so when not.
bool OutputMayTakePath(const QString& outPath, const QString& planPath, QTextStream& err);

// The plan's figures recalculated in mode; none (after the message) when it
// does not open or holds no row.
std::optional<PlanFigures> ReadPlanFigures(const QString& planPath, Mode mode, QTextStream& err);

}  // namespace tovira
