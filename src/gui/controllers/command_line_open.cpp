#include "gui/controllers/command_line_open.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include "core/common/messages.h"
#include "core/common/prompt.h"
#include "core/session/plan_session.h"
#include "gui/controllers/plan_commands.h"

namespace tovira {

QString PlanFileArgument(const QStringList& arguments) {
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (arg.isEmpty() || arg.startsWith(u'-')) continue;
        const QString path = arg.startsWith(QLatin1String("file:")) ? QUrl(arg).toLocalFile() : arg;
        return path.isEmpty() ? QString() : QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    }
    return {};
}

void OpenPlanFromCommandLine(PlanCommands& plans, PlanSession& session, Prompt& prompt,
                             const QString& path) {
    if (path.isEmpty()) return;
    // Opening a path with nothing there would say nothing at all; the user
    // asked for this file by name.
    if (!QFileInfo(path).isFile()) {
        prompt.Inform(QString::fromUtf8(kMsgPlanFileMissing).arg(QDir::toNativeSeparators(path)));
        return;
    }
    // The plan shown at start gives way, after the save question when it
    // has changes (the plan file would overwrite its rows in place).
    if (session.Ledger().LastRow() > 0) {
        if (!plans.ConfirmDiscard()) return;
        session.ClearRows();
    }
    plans.OpenChosenPlan(path);
}

}  // namespace tovira
