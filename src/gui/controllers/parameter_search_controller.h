#pragma once
// 高级 › 参数寻优 in the window: opens the search dialog (non-modal, one at a
// time) and types a chosen cell's two values into the side panel, as the
// user would, before recalculating the plan.

#include <QObject>
#include <QPointer>

#include "core/common/prompt.h"
#include "core/session/plan_session.h"
#include "gui/dialogs/parameter_search_dialog.h"

class QWidget;

namespace tovira {

class PlanCommands;
class SidePanel;

class ParameterSearchController : public QObject {
    Q_OBJECT
  public:
    // runner: see ParameterSearchDialog (empty: RunSweep).
    ParameterSearchController(QWidget* window, PlanSession& session, SidePanel* panel,
                              PlanCommands& plans, Prompt& prompt, SweepRunner runner = {},
                              QObject* parent = nullptr);

    // Opens the dialog, or raises the one open. An empty ledger gets
    // "请导入净值！" and no dialog.
    void Open();
    ParameterSearchDialog* Dialog() const { return dialog_.data(); }
    // Types the two texts into their boxes and recalculates.
    void ApplyCell(Field xField, const QString& xText, Field yField, const QString& yText);

  private:
    void TypeInto(Field field, const QString& text);

    QWidget* window_;
    PlanSession& session_;
    SidePanel* panel_;
    PlanCommands& plans_;
    Prompt& prompt_;
    SweepRunner runner_;
    QPointer<ParameterSearchDialog> dialog_;
    // The fund whose rows the last search ran on: its cells belong to it.
    QString searchedFund_;
};

}  // namespace tovira
