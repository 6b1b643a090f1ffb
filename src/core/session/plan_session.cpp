#include "core/session/plan_session.h"

#include <QFileInfo>
#include <utility>

#include "core/engine/ledger_commands.h"
#include "core/storage/csv_export.h"
#include "core/storage/plan_file.h"

namespace tovira {

PlanSession::PlanSession(QString programFolder) : programFolder_(std::move(programFolder)) {}

void PlanSession::PointAtFund(const QString& fundCode) {
    planPath_ = PlanFilePath(programFolder_, fundCode);
}

void PlanSession::SetLedgerCode(const QString& code) {
    if (code == ledgerCode_) return;
    const QString previous = std::exchange(ledgerCode_, code);
    if (onLedgerCodeChanged) onLedgerCodeChanged(previous, code);
}

PlanFigures PlanSession::ReadFigures(const QString& path, Mode mode) {
    PlanFigures plan;
    plan.opened = ReadPlanFigures(path, plan.settings, mode, plan.table);
    if (plan.opened.result == OpenResult::Opened) plan.table.Recalculate(plan.settings);
    return plan;
}

OpenOutcome PlanSession::Open(Mode mode, std::function<bool(const QString&)> storedFundCode) {
    OpenPlanOptions options;
    options.mode = mode;
    options.setFundCode = std::move(storedFundCode);
    // Taken before the read: a change that comes while it reads counts too.
    const FileStamp before = StampOf(planPath_);
    const QString path = planPath_;
    const OpenOutcome outcome = OpenPlanFile(path, ledger_, settings_, options);
    // The stored code may have opened another plan instead; then that open
    // noted its own file.
    if (planPath_ == path && outcome.result != OpenResult::Unreadable) {
        readPath_ = path;
        readStamp_ = before;
    }
    shownMode_ = mode;
    if (outcome.result != OpenResult::Opened && ledger_.LastRow() > 0) {
        // Nothing reloaded (no file, or one that could not be read): still
        // show the figures of the chosen mode.
        tovira::Recalculate(ledger_, settings_, mode);
    }
    // Loaded parameters are the file's; with no rows there is nothing a save
    // could keep them in.
    if (outcome.result == OpenResult::Opened || ledger_.LastRow() == 0) settingsModified_ = false;
    return outcome;
}

OpenOutcome PlanSession::Open(const QString& path, Mode mode,
                              std::function<bool(const QString&)> storedFundCode) {
    planPath_ = path;
    return Open(mode, std::move(storedFundCode));
}

SaveOutcome PlanSession::SaveAs(const QString& fundCode, bool overwrite) {
    // The rows of this fund go back into the file they came from, wherever it
    // is (a plan opened from outside the plan folder stays there, and never
    // lands on the plan folder's own plan of the fund); rows saved for another
    // code go into that code's plan.
    const QString path = fundCode == ledgerCode_ && !readPath_.isEmpty()
                             ? readPath_
                             : PlanFilePath(programFolder_, fundCode);
    // Only the file the plan came from is known as it was; another fund's
    // file is written into as it is found.
    const bool known =
        !overwrite && !readPath_.isEmpty() &&
        QFileInfo(path).absoluteFilePath() == QFileInfo(readPath_).absoluteFilePath();
    const SaveOutcome outcome = SavePlanFileAt(ledger_, settings_, shownMode_, path, fundCode,
                                               known ? &readStamp_ : nullptr);
    if (outcome.Saved()) settingsModified_ = false;
    // The file now holds these rows, confirmed by the disk or not: the next
    // save must not take this write for another program's.
    if (outcome.Written()) {
        readPath_ = path;
        readStamp_ = StampOf(path);
    }
    return outcome;
}

SaveOutcome PlanSession::Save(const QString& fundCode, bool overwrite) {
    const SaveOutcome outcome = SaveAs(fundCode, overwrite);
    if (!outcome.path.isEmpty()) planPath_ = outcome.path;
    // Also when the disk has not confirmed the write: the file holds the rows.
    if (outcome.Written()) SetLedgerCode(fundCode);
    return outcome;
}

SaveOutcome PlanSession::SaveToLedgerCode(bool overwrite) { return SaveAs(ledgerCode_, overwrite); }

ExportOutcome PlanSession::Export(const QString& csvPath) const {
    return ExportCsvFile(csvPath, ledger_);
}

bool PlanSession::Recalculate() {
    if (ledger_.LastRow() == 0) return false;
    tovira::Recalculate(ledger_, settings_, shownMode_);
    return true;
}

void PlanSession::DeleteRow(std::optional<int> row) {
    DeleteThisLine(ledger_, row, settings_, shownMode_);
}

void PlanSession::ClearRows() { ClearList(ledger_); }

void PlanSession::ApplyPreset(Preset preset) {
    settings_.ApplyPreset(preset);
    settingsModified_ = true;
}

}  // namespace tovira
