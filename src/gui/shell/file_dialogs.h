#pragma once
// The window's file dialogs: open a plan, export the ledger. They open at a
// size that shows the file list's columns (name, size, type, date) whole.

#include <QSize>

#include "gui/controllers/plan_commands.h"

class QWidget;

namespace tovira {

class DialogFileChooser : public FileChooser {
  public:
    QString OpenPlan(QWidget* parent) override;
    QString SaveCsv(QWidget* parent, const QString& proposedName) override;
};

// The size a file dialog opens at: room for its columns, within the screen
// the dialog shows on.
QSize FileDialogSize(const QWidget* dialog);

}  // namespace tovira
