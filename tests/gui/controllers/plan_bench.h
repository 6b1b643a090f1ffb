#pragma once
// The plan commands over a session with the widgets they work on, standing
// alone (no main window), for the tests of the controllers built on them.

#include <QDir>
#include <QLabel>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QWidget>

#include "core/storage/ini_document.h"
#include "core/storage/plan_file.h"
#include "gui/controllers/plan_commands.h"
#include "gui/ledger/ledger_view.h"
#include "gui/ledger/side_panel.h"
#include "support/test_support.h"

namespace tovira::test {

class NoFiles : public FileChooser {
  public:
    QString OpenPlan(QWidget*) override { return QString(); }
    QString SaveCsv(QWidget*, const QString&) override { return QString(); }
};

struct PlanBench {
    PlanBench()
        : session(dir.path()),
          view(new LedgerView(session.Ledger(), &window)),
          panel(new SidePanel(session.Settings(), prompt, &window)),
          plans(session, prompt, chooser,
                PlanWidgets{&window, view, panel, &theory, &fact, &mark}) {
        QDir().mkpath(PlanFolder(dir.path()));
    }

    // The example plan (240 rows) as the plan folder's plan of code.
    void AddPlan(const char* code) const {
        IniDocument plan;
        EXPECT_TRUE(plan.Load(QStringLiteral(TOVIRA_TEST_DATA "/../../examples/006675.ini")));
        plan.SetValue(QStringLiteral("设置"), QStringLiteral("基金代码"), QLatin1String(code));
        EXPECT_TRUE(plan.Save(PlanPath(code)));
    }
    QString PlanPath(const char* code) const {
        return PlanFilePath(dir.path(), QLatin1String(code));
    }

    QTemporaryDir dir;
    PlanSession session;
    RecordingPrompt prompt;
    NoFiles chooser;
    QWidget window;
    QRadioButton theory{&window};
    QRadioButton fact{&window};
    QLabel mark{&window};
    LedgerView* view;
    SidePanel* panel;
    PlanCommands plans;
};

}  // namespace tovira::test
