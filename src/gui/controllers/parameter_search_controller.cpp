#include "gui/controllers/parameter_search_controller.h"

#include <QLineEdit>

#include "core/common/messages.h"
#include "gui/controllers/plan_commands.h"
#include "gui/ledger/side_panel.h"

namespace tovira {

ParameterSearchController::ParameterSearchController(QWidget* window, PlanSession& session,
                                                     SidePanel* panel, PlanCommands& plans,
                                                     Prompt& prompt, SweepRunner runner,
                                                     QObject* parent)
    : QObject(parent),
      window_(window),
      session_(session),
      panel_(panel),
      plans_(plans),
      prompt_(prompt),
      runner_(std::move(runner)) {}

void ParameterSearchController::Open() {
    if (dialog_) {
        dialog_->showNormal();
        dialog_->raise();
        dialog_->activateWindow();
        return;
    }
    if (session_.Ledger().LastRow() == 0) {
        prompt_.Inform(QString::fromUtf8(kMsgImportFirst));
        return;
    }
    dialog_ = new ParameterSearchDialog(session_.Ledger(), session_.Settings(), runner_, window_);
    dialog_->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog_, &ParameterSearchDialog::CellChosen, this,
            &ParameterSearchController::ApplyCell);
    connect(dialog_, &ParameterSearchDialog::SearchStarted, this,
            [this] { searchedFund_ = session_.LedgerCode(); });
    // The parameters on offer and whether the result still fits the plan
    // follow the side panel; the rows are watched by the dialog itself. The
    // panel tells of an edit before the settings take it: looked at after.
    ParameterSearchDialog* dialog = dialog_.data();
    const auto changed = [dialog] { dialog->PlanChanged(); };
    connect(panel_, &SidePanel::EditedByUser, dialog, changed, Qt::QueuedConnection);
    connect(panel_, &SidePanel::SwitchClicked, dialog, changed, Qt::QueuedConnection);
    connect(&session_, &PlanSession::SettingsReset, dialog, changed);
    dialog_->SetShownMode(session_.ShownMode());
    connect(&session_, &PlanSession::ModeChanged, dialog, &ParameterSearchDialog::SetShownMode);
    dialog_->show();
}

void ParameterSearchController::TypeInto(Field field, const QString& text) {
    QLineEdit* box = panel_->Box(field);
    if (!box->isEnabled()) {
        // The user could not type it either (a switch greys the box out).
        prompt_.Inform(QString::fromUtf8(kMsgSearchBoxDisabled).arg(FieldName(field)));
        return;
    }
    // As typed: the box's change reaction clamps, the plan counts as changed.
    box->selectAll();
    box->insert(text);
    panel_->FinishTyping();
    if (const std::optional<QString> message = PlanSettings::Validate(field, box->text())) {
        prompt_.Inform(*message);
    }
}

void ParameterSearchController::ApplyCell(Field xField, const QString& xText, Field yField,
                                          const QString& yText) {
    // Values found on another fund's history are no answer for this plan.
    if (session_.LedgerCode() != searchedFund_) {
        prompt_.Inform(QString::fromUtf8(kMsgSearchOtherPlan).arg(searchedFund_));
        return;
    }
    plans_.FinishEditing();
    TypeInto(xField, xText);
    TypeInto(yField, yText);
    plans_.Refresh();
}

}  // namespace tovira
