#include "core/session/plan_session.h"

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

OpenOutcome PlanSession::Open(Mode mode, std::function<bool(const QString&)> storedFundCode) {
    OpenPlanOptions options;
    options.mode = mode;
    options.setFundCode = std::move(storedFundCode);
    const OpenOutcome outcome = OpenPlanFile(planPath_, ledger_, settings_, options);
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

SaveOutcome PlanSession::SaveAs(const QString& fundCode) {
    const SaveOutcome outcome =
        SavePlanFile(ledger_, settings_, shownMode_, programFolder_, fundCode);
    if (outcome.Saved()) settingsModified_ = false;
    return outcome;
}

SaveOutcome PlanSession::Save(const QString& fundCode) {
    const SaveOutcome outcome = SaveAs(fundCode);
    if (!outcome.path.isEmpty()) planPath_ = outcome.path;
    // Also when the disk has not confirmed the write: the file holds the rows.
    if (outcome.Written()) SetLedgerCode(fundCode);
    return outcome;
}

SaveOutcome PlanSession::SaveToLedgerCode() { return SaveAs(ledgerCode_); }

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
