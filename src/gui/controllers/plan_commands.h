#pragma once
// The window's plan commands over the plan session: open (a chosen or dropped
// file, with the copy offer for plans from outside 我的基金), save, export,
// refresh, delete a row, clear the list, the presets, the mode switch and the
// take-back-principal calculator; the "是否保存数据？" question before work
// would be lost, and the status bar's mark of unsaved changes. Results are
// shown through the window's Prompt.

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

#include "core/common/prompt.h"
#include "core/session/plan_session.h"

class QLabel;
class QRadioButton;
class QWidget;

namespace tovira {

class LedgerView;
class SidePanel;

// Where the file dialogs of the window come from (DialogFileChooser in
// gui/shell/file_dialogs.h); tests answer them.
class FileChooser {
  public:
    virtual ~FileChooser() = default;
    // Empty when cancelled.
    virtual QString OpenPlan(QWidget* parent) = 0;
    virtual QString SaveCsv(QWidget* parent, const QString& proposedName) = 0;
};

struct PlanWidgets {
    QWidget* window;  // parent of the file dialogs
    LedgerView* view;
    SidePanel* panel;
    QRadioButton* theory;
    QRadioButton* fact;
    QLabel* unsavedMark;
};

class PlanCommands : public QObject {
    Q_OBJECT
  public:
    // Where a Yes to "是否保存数据？" saves.
    enum class SaveTo {
        LedgerFund,  // the fund the rows belong to (leaving the plan)
        ShownFund,   // the code worked with, as the save command does
    };

    PlanCommands(PlanSession& session, Prompt& prompt, FileChooser& chooser,
                 const PlanWidgets& widgets, QObject* parent = nullptr);

    // Loads the session's plan file in the given mode, which becomes the one
    // shown; the panel and the mode buttons follow.
    void OpenPlan(Mode mode);
    // The same for a plan file.
    void OpenPlan(const QString& path, Mode mode);
    // 打开: a plan file chosen by the user, when the list is empty.
    void Open();
    // Plan files dropped on the ledger: the first is opened as 打开 would.
    void OpenDropped(const QStringList& paths);
    // A plan file the user chose. One from outside 我的基金 naming a fund
    // that has no plan there is offered a copy there; it then shows as that
    // fund's plan.
    void OpenChosenPlan(const QString& path);
    // 保存: the plan, in the mode shown, into the plan file of the code
    // worked with.
    bool Save();
    void Refresh();
    void Export();
    void DeleteRow();
    void ClearList();
    void ApplyPreset(Preset preset);
    // A click on a mode button. The selected mode is no switch; a switch
    // reloads the plan file, after the save question (which saves in the
    // mode shown until then).
    void ModeClicked(Mode mode);
    // 做Ｔ拿回本金.
    void TakeBackPrincipal();

    // Asks "是否保存数据？" before unsaved input cells or parameters would be
    // lost. Yes saves what is shown, in the mode it is shown in. Returns
    // false when the user cancels (or the save failed).
    bool ConfirmDiscard();
    // The question itself, with YesNo or YesNoCancel: false on Cancel or
    // when the save of a Yes failed.
    bool AskToSave(PromptButtons buttons, SaveTo target);

    // Ends an open cell edit (keeping its text) and any number still being
    // typed into the side panel, so a command sees what the user typed.
    void FinishEditing();
    void UpdateUnsavedMark();

  signals:
    // A chosen plan from outside 我的基金 names this fund: it is to show as
    // the fund worked with (box, title, history) without its plan folder's
    // plan being loaded; the rows belong to it.
    void PlanFundShown(const QString& code);

  private:
    // Reports a save; one refused because another program changed the file
    // asks whether to reload it, overwrite it (calling overwrite) or cancel.
    // True when the plan is saved.
    bool Saved(SaveOutcome outcome, const std::function<SaveOutcome()>& overwrite);
    void CheckModeButton(Mode mode);
    void Inform(const QString& text);

    PlanSession& session_;
    Prompt& prompt_;
    FileChooser& chooser_;
    PlanWidgets widgets_;
};

}  // namespace tovira
