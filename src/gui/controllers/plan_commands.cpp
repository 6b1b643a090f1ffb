#include "gui/controllers/plan_commands.h"

#include <QAbstractItemModel>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QRadioButton>

#include "core/engine/calculators.h"
#include "core/storage/csv_export.h"
#include "core/storage/edit_file.h"
#include "core/storage/plan_file.h"
#include "gui/ledger/cell_editor.h"
#include "gui/ledger/ledger_view.h"
#include "gui/ledger/side_panel.h"

namespace tovira {

namespace {

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

}  // namespace

PlanCommands::PlanCommands(PlanSession& session, Prompt& prompt, FileChooser& chooser,
                           const PlanWidgets& widgets, QObject* parent)
    : QObject(parent), session_(session), prompt_(prompt), chooser_(chooser), widgets_(widgets) {
    connect(widgets_.panel, &SidePanel::EditedByUser, &session_, &PlanSession::MarkSettingsChanged);
    connect(&session_, &PlanSession::UnsavedRowsChanged, this, &PlanCommands::UpdateUnsavedMark);
    connect(&session_, &PlanSession::SettingsReset, widgets_.panel, &SidePanel::SyncFromSettings);
}

void PlanCommands::Inform(const QString& text) {
    if (!text.isEmpty()) prompt_.Inform(text);
}

void PlanCommands::CheckModeButton(Mode mode) {
    (mode == Mode::Fact ? widgets_.fact : widgets_.theory)->setChecked(true);
}

void PlanCommands::OpenPlan(Mode mode) {
    // A plan that names another fund switches to that fund, as typing the
    // code would (the fund code box keeps that from going round in circles).
    const OpenOutcome outcome = session_.Open(mode);
    Inform(MessageFor(outcome));
    CheckModeButton(mode);
    widgets_.panel->SyncFromSettings();
    UpdateUnsavedMark();
}

void PlanCommands::OpenPlan(const QString& path, Mode mode) {
    session_.SetPlanPath(path);
    OpenPlan(mode);
}

void PlanCommands::Open() {
    if (session_.Ledger().LastRow() > 0) {
        prompt_.Inform(Text(kMsgClearFirst));
        return;
    }
    const QString path = chooser_.OpenPlan(widgets_.window);
    if (path.isEmpty()) return;
    OpenChosenPlan(path);
}

void PlanCommands::OpenDropped(const QStringList& paths) {
    if (paths.isEmpty()) return;
    if (session_.Ledger().LastRow() > 0) {
        prompt_.Inform(Text(kMsgClearFirst));
        return;
    }
    OpenChosenPlan(paths.first());
}

void PlanCommands::OpenChosenPlan(const QString& chosen) {
    const QString& programFolder = session_.ProgramFolder();
    QString path = chosen;
    const QFileInfo info(path);
    const bool outside = info.absoluteDir() != QDir(PlanFolder(programFolder));
    const QString stored =
        outside && info.isFile() && path.endsWith(QStringLiteral(".ini"))
            ? ReadIniValue(path, QStringLiteral("设置"), QStringLiteral("基金代码"))
            : QString();
    if (!IsFundCode(stored)) {
        // A plan of the plan folder, or one that names no fund: as it is.
        OpenPlan(path, session_.ShownMode());
        return;
    }
    // A plan from elsewhere: offer to keep a copy in the plan folder, where
    // typing its code finds it; never over a plan that is already there.
    const QString own = PlanFilePath(programFolder, stored);
    if (!QFileInfo::exists(own)) {
        const PromptAnswer a =
            prompt_.Ask(Text(kMsgOfferCopy).arg(stored), Text(kMsgQuestionCaption),
                        PromptButtons::YesNo, PromptIcon::Question);
        if (a == PromptAnswer::Yes) {
            if (QDir().mkpath(PlanFolder(programFolder)) && QFile::copy(path, own)) {
                path = own;
            } else {
                prompt_.Inform(Text(kMsgCopyFailed));
            }
        }
    }
    // Show the plan's fund without loading the plan folder's file of it:
    // the user asked for this file.
    emit PlanFundShown(stored);
    OpenPlan(path, session_.ShownMode());
}

bool PlanCommands::Save() {
    FinishEditing();
    const QString code = session_.FundCode();
    return Saved(session_.Save(code), [this, code] { return session_.Save(code, true); });
}

bool PlanCommands::Saved(SaveOutcome outcome, const std::function<SaveOutcome()>& overwrite) {
    if (outcome.result == SaveResult::ChangedOnDisk) {
        // Another program wrote the plan file after it was read here: the
        // user decides which plan stays. Either way nothing is lost without
        // being asked, and a reload or a cancel stops what the save was for.
        const PromptAnswer a = prompt_.Ask(Text(kMsgPlanChangedQuestion), Text(kMsgQuestionCaption),
                                           PromptButtons::YesNoCancel, PromptIcon::Warning);
        if (a == PromptAnswer::Yes) {
            OpenPlan(session_.PlanPath(), session_.ShownMode());
            return false;
        }
        if (a != PromptAnswer::No) return false;
        outcome = overwrite();
    }
    Inform(MessageFor(outcome));
    UpdateUnsavedMark();
    return outcome.Saved();
}

void PlanCommands::Refresh() {
    if (!session_.Recalculate()) prompt_.Inform(Text(kMsgImportFirst));
}

void PlanCommands::Export() {
    const LedgerModel& ledger = session_.Ledger();
    if (ledger.LastRow() == 0) {
        prompt_.Inform(Text(kMsgNoData));
        return;
    }
    const QString path =
        chooser_.SaveCsv(widgets_.window, DefaultCsvName(session_.FundCode(), ledger));
    if (path.isEmpty()) return;
    Inform(MessageFor(session_.Export(path)));
}

void PlanCommands::DeleteRow() { session_.DeleteRow(widgets_.view->SelectedRow()); }

void PlanCommands::ClearList() { session_.ClearRows(); }

void PlanCommands::ApplyPreset(Preset preset) {
    // The panel and the mark follow the session's signals.
    session_.ApplyPreset(preset);
}

void PlanCommands::ModeClicked(Mode mode) {
    // Clicking the option that is already selected switches nothing.
    if (mode == session_.ShownMode()) {
        CheckModeButton(mode);
        return;
    }
    // The plan shown is reloaded from where it was read, which need not be the
    // plan folder (a plan opened from elsewhere and not copied).
    const QString path = session_.PlanPath().isEmpty()
                             ? PlanFilePath(session_.ProgramFolder(), session_.FundCode())
                             : session_.PlanPath();
    // Reloading the plan file replaces the input cells: ask first. A Yes
    // saves what is shown, in the mode it was shown in (the session's until
    // the reload).
    if (QFileInfo::exists(path) && !ConfirmDiscard()) {
        CheckModeButton(session_.ShownMode());
        return;
    }
    OpenPlan(path, mode);
}

void PlanCommands::TakeBackPrincipal() {
    const TakeBackOffer offer =
        OfferTakeBackPrincipal(session_.Ledger(), session_.Settings(), session_.ShownMode());
    if (offer.kind != TakeBackOffer::Kind::Book) {
        prompt_.Inform(MessageFor(offer));
        return;
    }
    if (prompt_.Ask(MessageFor(offer), Text(kMsgTakeBackCaption), PromptButtons::YesNo,
                    PromptIcon::Question) == PromptAnswer::Yes) {
        BookTakeBackPrincipal(session_.Ledger(), session_.Settings(), session_.ShownMode(), offer);
    }
}

bool PlanCommands::ConfirmDiscard() {
    FinishEditing();
    if (!session_.HasUnsavedRows()) return true;
    return AskToSave(PromptButtons::YesNoCancel, SaveTo::LedgerFund);
}

bool PlanCommands::AskToSave(PromptButtons buttons, SaveTo target) {
    const PromptAnswer a =
        prompt_.Ask(Text(kMsgSaveQuestion), Text(kMsgQuestionCaption), buttons, PromptIcon::None);
    if (a == PromptAnswer::Cancel) return false;
    if (a != PromptAnswer::Yes) return true;
    if (target == SaveTo::ShownFund) return Save();
    // The rows belong to the fund they were loaded for, not to a code half
    // typed into the box (the code worked with).
    return Saved(session_.SaveToLedgerCode(), [this] { return session_.SaveToLedgerCode(true); });
}

void PlanCommands::FinishEditing() {
    widgets_.view->Editor()->End(true);
    widgets_.panel->FinishTyping();
}

void PlanCommands::UpdateUnsavedMark() {
    QLabel* mark = widgets_.unsavedMark;
    if (!mark) return;
    const QString text = session_.HasUnsavedRows() ? QStringLiteral("未保存的修改") : QString();
    if (mark->text() != text) mark->setText(text);
}

}  // namespace tovira
