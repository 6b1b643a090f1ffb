#include "core/session/plan_session.h"

#include <QFileInfo>
#include <utility>

#include "core/engine/ledger_commands.h"
#include "core/storage/csv_export.h"
#include "core/storage/file_io.h"
#include "core/storage/plan_file.h"

namespace tovira {

PlanSession::PlanSession(QString programFolder, QObject* parent)
    : QObject(parent), programFolder_(std::move(programFolder)) {
    // Typing into a cell, new rows and a cleared list change what is unsaved.
    const LedgerModel* ledger = &ledger_;
    connect(ledger, &QAbstractItemModel::modelReset, this, &PlanSession::CheckUnsaved);
    connect(ledger, &QAbstractItemModel::dataChanged, this, &PlanSession::CheckUnsaved);
    connect(ledger, &QAbstractItemModel::rowsInserted, this, &PlanSession::CheckUnsaved);
    connect(ledger, &QAbstractItemModel::rowsRemoved, this, &PlanSession::CheckUnsaved);
}

void PlanSession::CheckUnsaved() {
    const bool unsaved = HasUnsavedRows();
    if (unsaved == unsavedShown_) return;
    unsavedShown_ = unsaved;
    emit UnsavedRowsChanged(unsaved);
}

void PlanSession::PointAtFund(const QString& fundCode) {
    planPath_ = PlanFilePath(programFolder_, fundCode);
}

void PlanSession::SetLedgerCode(const QString& code) {
    if (code == ledgerCode_) return;
    const QString previous = std::exchange(ledgerCode_, code);
    emit LedgerCodeChanged(previous, code);
}

void PlanSession::SetFundCode(const QString& code) {
    if (code == fundCode_) return;
    fundCode_ = code;
    ++fundCodeMoves_;
    emit FundCodeChanged(code);
}

PlanFigures PlanSession::ReadFigures(const QString& path, Mode mode) {
    PlanFigures plan;
    plan.opened = ReadPlanFigures(path, plan.settings, mode, plan.table);
    if (plan.opened.result == OpenResult::Opened) plan.table.Recalculate(plan.settings);
    return plan;
}

OpenOutcome PlanSession::Open(Mode mode) {
    OpenPlanOptions options;
    options.mode = mode;
    // A plan that names another fund: the window may switch to that fund
    // (loading its plan in this one's place), as typing its code would.
    options.setFundCode = [this](const QString& stored) {
        if (stored == fundCode_) return false;
        const int moves = fundCodeMoves_;
        emit PlanNamesFund(stored);
        return fundCodeMoves_ != moves;
    };
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
    const bool switched = std::exchange(shownMode_, mode) != mode;
    if (outcome.result != OpenResult::Opened && ledger_.LastRow() > 0) {
        // Nothing reloaded (no file, or one that could not be read): still
        // show the figures of the chosen mode.
        tovira::Recalculate(ledger_, settings_, mode);
    }
    // Loaded parameters are the file's; with no rows there is nothing a save
    // could keep them in.
    if (outcome.result == OpenResult::Opened || ledger_.LastRow() == 0) settingsModified_ = false;
    CheckUnsaved();
    if (switched) emit ModeChanged(mode);
    return outcome;
}

OpenOutcome PlanSession::Open(const QString& path, Mode mode) {
    planPath_ = path;
    return Open(mode);
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
    CheckUnsaved();
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
    emit SettingsReset();
    CheckUnsaved();
}

void PlanSession::ResetSettings() {
    settings_.ApplyPreset(Preset::Default);
    emit SettingsReset();
}

void PlanSession::MarkSettingsChanged() {
    settingsModified_ = true;
    CheckUnsaved();
}

}  // namespace tovira
