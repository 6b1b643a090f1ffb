#include "cli/commands/plan_input.h"

#include <QFileInfo>

#include "cli/commands/cli_messages.h"
#include "core/common/messages.h"
#include "core/storage/file_guards.h"
#include "core/storage/plan_file.h"

namespace tovira {

CommandOption ModeOption() {
    return {QStringLiteral("mode"), QStringLiteral("theory|fact"),
            QStringLiteral("理论计算（theory，默认）或实际操作（fact）")};
}

std::optional<Mode> ReadModeOption(const CommandRun& run) {
    const QString value = run.Value(QStringLiteral("mode"));
    if (value.isNull() || value == QStringLiteral("theory")) return Mode::Theory;
    if (value == QStringLiteral("fact")) return Mode::Fact;
    run.err << QString::fromUtf8(kMsgUnknownMode).arg(value) << Qt::endl;
    return std::nullopt;
}

bool PlanFileIsThere(const QString& planPath, QTextStream& err) {
    if (QFileInfo(planPath).isFile()) return true;
    err << QString::fromUtf8(kMsgPlanNotFound).arg(planPath) << Qt::endl;
    return false;
}

bool OutputMayTakePath(const QString& outPath, const QString& planPath, QTextStream& err) {
    if (outPath.isEmpty()) return true;
    if (IsSameFile(outPath, planPath) || PlanFileKindOf(outPath) == PlanFileKind::Plan) {
        err << QString::fromUtf8(kMsgOutputIsPlan).arg(outPath) << Qt::endl;
        return false;
    }
    return true;
}

std::optional<PlanFigures> ReadPlanFigures(const QString& planPath, Mode mode, QTextStream& err) {
    // The plan is read as the window opens it and run through the same pass:
    // every text comes out as the window's ledger shows it. Messages go to
    // the error stream instead of a message box.
    PlanFigures plan = PlanSession::ReadFigures(planPath, mode);
    if (plan.opened.result != OpenResult::Opened) {
        if (const QString message = MessageFor(plan.opened); !message.isEmpty()) {
            err << message << Qt::endl;
        }
        return std::nullopt;
    }
    if (plan.table.LastRow() == 0) {
        err << QString::fromUtf8(kMsgNoData) << Qt::endl;
        return std::nullopt;
    }
    return plan;
}

}  // namespace tovira
