#pragma once
// What import and append share in changing a plan file: opening it so that
// everything else of it is kept, the mode it is written back in, and the
// save that refuses to overwrite a file changed meanwhile.

#include <QString>
#include <QTextStream>

#include "core/ledger/ledger_model.h"
#include "core/ledger/plan_settings.h"
#include "core/storage/file_guards.h"
#include "core/storage/file_io.h"
#include "core/storage/plan_file.h"

namespace tovira {

// Opens a plan file for a change that must keep everything else of it: in
// 实际操作, where every input cell is read and written back, and without the
// recalculation, which would rewrite the typed amounts as figures ("" as
// "0", "1000.00" as "1000"); nothing it computes is stored, so leaving it
// out loses nothing. storedCode gets the file's fund code.
OpenOutcome OpenToChange(const QString& path, LedgerModel& ledger, PlanSettings& settings,
                         QString* storedCode);

// The mode a changed plan is written back in. A plan with typed amounts
// (实际操作 keys) in any of its rows 1..rows is written in 实际操作: every
// input cell goes back as it was read, and rows that take the place of
// older ones do not inherit their amounts. Any other plan is written in
// 理论计算, which leaves its rows exactly as they were and adds no empty
// amounts to them.
Mode WriteBackMode(const QString& path, int rows);

// Saves the plan into path unless the file is no longer what was read (read):
// 0, or (after the message) the exit status.
int SavePlan(LedgerModel& ledger, const PlanSettings& settings, Mode mode, const QString& path,
             const QString& code, const FileStamp& read, QTextStream& err);

// "23 行（2017/3/1 至 2017/3/31）": the rows from `first` to the last one.
QString AddedRows(const LedgerModel& ledger, int first, int added);

}  // namespace tovira
