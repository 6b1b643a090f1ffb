#pragma once
// Plan files: one INI file per fund in the plan folder "我的基金", holding the
// plan settings and the input cells of every ledger row. The computed columns
// are never stored; opening a plan ends with a recalculation.

#include <QString>
#include <functional>

#include "core/common/messages.h"
#include "core/engine/figure_table.h"
#include "core/engine/recalculate.h"
#include "core/ledger/ledger_model.h"
#include "core/ledger/plan_settings.h"
#include "core/storage/file_io.h"
#include "core/storage/ini_document.h"

namespace tovira {

QString PlanFolder(const QString& programFolder);
// programFolder + "/我的基金/" + code + ".ini"
QString PlanFilePath(const QString& programFolder, const QString& fundCode);
// Six characters that read as a number as a whole: a fund code, six digits in
// practice.
bool IsFundCode(const QString& text);
// A fund code a plan file may be named after: digits only, not empty.
bool IsUsableFundCode(const QString& fundCode);

// Writes the plan of the shown fund code into its plan file. The outcome names
// that file (also when nothing is saved, unless the code is unusable). A text
// GBK cannot hold is refused before anything is written. Keys and sections the
// save does not write survive; the file is replaced whole, never left half
// written. SavedUnconfirmed: the file holds the plan, but the disk did not
// confirm the write, and the rows still count as unsaved.
SaveOutcome SavePlanFile(LedgerModel& ledger, const PlanSettings& settings, Mode mode,
                         const QString& programFolder, const QString& fundCode);
// The same into the plan file at path, wherever it is (fundCode is still the
// code the plan names).
// With `expected` (the file as the writer read it), a file that another
// program changed since is left as it is: ChangedOnDisk.
SaveOutcome SavePlanFileAt(LedgerModel& ledger, const PlanSettings& settings, Mode mode,
                           const QString& path, const QString& fundCode,
                           const FileStamp* expected = nullptr);

struct OpenPlanOptions {
    Mode mode = Mode::Theory;
    // Called with the stored fund code ("设置"/"基金代码") at the point where
    // the window sets its fund code box; may clear the ledger and open
    // another plan, and then returns true: this open ends there, the other
    // plan's rows are not this file's. Not called when absent.
    std::function<bool(const QString& storedFundCode)> setFundCode;
    // Whether the open ends with the recalculation (only measurements turn
    // it off).
    bool recalculate = true;
};

// Loads the plan file at path into the settings and the ledger (rows 1..N are
// overwritten or appended, later rows left alone) and recalculates. A missing
// file (or anything that is not a regular file) does nothing; a path not
// ending in ".ini", a file that cannot be read and a row count above 32767 are
// refused, and nothing is changed.
OpenOutcome OpenPlanFile(const QString& path, LedgerModel& ledger, PlanSettings& settings,
                         const OpenPlanOptions& options);

// The same open without a ledger, for printing and exporting: the settings as
// OpenPlanFile applies them, the rows' stored texts into table (in `mode`,
// which decides whether the typed amounts are read), not recalculated.
OpenOutcome ReadPlanFigures(const QString& path, PlanSettings& settings, Mode mode,
                            FigureTable& table);

// "U+1F600": how a message names a character that may not show.
QString CodePointText(const QString& character);

}  // namespace tovira
