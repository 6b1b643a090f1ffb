#pragma once
// One open plan: the ledger, the plan settings, the mode its figures are
// shown in, the plan file it was loaded from, the fund code the user works
// with and the fund the rows belong to, and whether anything is unsaved.
// The window and the command line run their plan commands through it; it
// returns results and shows nothing (see core/common/messages.h for the
// texts). The window's controllers follow it through its signals.

#include <QDate>
#include <QObject>
#include <QString>
#include <functional>
#include <optional>

#include "core/common/messages.h"
#include "core/engine/figure_table.h"
#include "core/engine/recalculate.h"
#include "core/ledger/ledger_model.h"
#include "core/ledger/plan_settings.h"
#include "core/storage/file_io.h"
#include "core/storage/ini_document.h"

namespace tovira {

// A plan read for its figures only, as printing, exporting and the report
// need it: the settings as the window's open applies them and the figures of
// every row, recalculated, without a ledger of text cells.
struct PlanFigures {
    OpenOutcome opened;
    PlanSettings settings;
    FigureTable table;
};

class PlanSession : public QObject {
    Q_OBJECT
  public:
    explicit PlanSession(QString programFolder = QString(), QObject* parent = nullptr);

    LedgerModel& Ledger() { return ledger_; }
    const LedgerModel& Ledger() const { return ledger_; }
    PlanSettings& Settings() { return settings_; }
    const PlanSettings& Settings() const { return settings_; }
    const QString& ProgramFolder() const { return programFolder_; }

    // The mode the ledger's figures and input cells are in.
    Mode ShownMode() const { return shownMode_; }
    // The plan file the next open reads (and the last save wrote).
    const QString& PlanPath() const { return planPath_; }
    void SetPlanPath(const QString& path) { planPath_ = path; }
    // Points the plan path at the plan folder's file of a fund code.
    void PointAtFund(const QString& fundCode);
    // The fund code the rows belong to: the code they were loaded, saved or
    // cleared for.
    const QString& LedgerCode() const { return ledgerCode_; }
    void SetLedgerCode(const QString& code);
    // The fund code the user works with: the text of the window's fund code
    // box, a code on its way included. Commands that fetch or name a fund
    // take this one.
    const QString& FundCode() const { return fundCode_; }
    void SetFundCode(const QString& code);

    // The date the commands take as today: the clock, unless set otherwise.
    QDate Today() const { return today_ ? today_() : QDate::currentDate(); }
    void SetToday(std::function<QDate()> today) { today_ = std::move(today); }

    // Loads the plan at PlanPath() in the given mode, which becomes the mode
    // shown. A file that names a fund other than FundCode() is announced
    // (PlanNamesFund); when that moved the fund worked with, the window has
    // switched to that fund's plan and this open ends there (see
    // OpenPlanOptions). With no file to load the rows stay and show the
    // figures of the mode. Parameters loaded from a file, or left with no
    // rows to keep them, count as unchanged.
    OpenOutcome Open(Mode mode);
    // The same for a given file.
    OpenOutcome Open(const QString& path, Mode mode);

    // The save command: writes the plan, in the mode shown, into the plan
    // file of fundCode, which the plan path then names; on success the rows
    // belong to fundCode and nothing is unsaved.
    //
    // A save into the file the plan was read from is refused (ChangedOnDisk)
    // when another program changed that file since; overwrite writes all the
    // same, once the user has said so.
    SaveOutcome Save(const QString& fundCode, bool overwrite = false);
    // The save that answers "是否保存数据？": the rows go to the fund they
    // belong to (not to a code half typed elsewhere); the plan path stays.
    SaveOutcome SaveToLedgerCode(bool overwrite = false);

    ExportOutcome Export(const QString& csvPath) const;

    // Reads the plan file at path in the given mode for its figures (see
    // PlanFigures); the rows are recalculated once the file opened. The file
    // is read in pieces, never into a ledger, so a long plan prints fast.
    static PlanFigures ReadFigures(const QString& path, Mode mode);

    // Recalculates in the mode shown; false (nothing done) with no rows.
    bool Recalculate();
    // Removes the row (if any) and recalculates.
    void DeleteRow(std::optional<int> row);
    void ClearRows();
    // A preset chosen by the user: the parameters count as changed.
    void ApplyPreset(Preset preset);
    // The parameters of a fund newly taken up: the default preset, as
    // nothing the user changed.
    void ResetSettings();

    // A parameter or switch changed by the user since the plan was loaded or
    // saved.
    void MarkSettingsChanged();
    bool SettingsModified() const { return settingsModified_; }
    // Unsaved changes: input cells, or parameters the user changed.
    bool Modified() const { return ledger_.InputsModified() || settingsModified_; }
    // Whether leaving the plan would lose something: rows with unsaved changes.
    bool HasUnsavedRows() const { return ledger_.LastRow() > 0 && Modified(); }

  signals:
    // The fund code the user works with changed.
    void FundCodeChanged(const QString& code);
    // The rows came to belong to another fund.
    void LedgerCodeChanged(const QString& previous, const QString& code);
    // A plan being opened names this fund, which is not the one worked with:
    // the window switches to it as typing the code would (or leaves it,
    // while it is switching funds already).
    void PlanNamesFund(const QString& code);
    // The figures are now shown in another mode.
    void ModeChanged(tovira::Mode mode);
    // The parameters were replaced by a preset (ApplyPreset, ResetSettings).
    void SettingsReset();
    // HasUnsavedRows() changed.
    void UnsavedRowsChanged(bool unsaved);

  private:
    SaveOutcome SaveAs(const QString& fundCode, bool overwrite);
    // Announces a change of HasUnsavedRows() since it was last announced.
    void CheckUnsaved();

    QString programFolder_;
    LedgerModel ledger_;
    PlanSettings settings_;
    Mode shownMode_ = Mode::Theory;
    QString planPath_;
    QString ledgerCode_;
    QString fundCode_;
    // Changes of fundCode_ so far: an announced fund that moved it was followed.
    int fundCodeMoves_ = 0;
    std::function<QDate()> today_;
    bool settingsModified_ = false;
    bool unsavedShown_ = false;
    // The file the shown plan was last read from or saved to, as it was then.
    QString readPath_;
    FileStamp readStamp_;
};

}  // namespace tovira
