// tovira-cli export: the recalculated ledger as the window's CSV export.

#include "cli/commands/cli_messages.h"
#include "cli/commands/command.h"
#include "cli/commands/plan_input.h"
#include "core/storage/csv_export.h"

namespace tovira {
namespace {

int RunExport(const CommandRun& run) {
    const std::optional<Mode> mode = ReadModeOption(run);
    if (!mode) return kStatusUsage;
    if (run.words.size() != 2) {
        run.err << MistakeUsage(CommandGroup::Plan);
        return kStatusUsage;
    }
    const QString& planPath = run.words[0];
    const QString& outPath = run.words[1];
    if (!PlanFileIsThere(planPath, run.err) || !OutputMayTakePath(outPath, planPath, run.err)) {
        return kStatusFailed;
    }
    const std::optional<PlanFigures> plan = ReadPlanFigures(planPath, *mode, run.err);
    if (!plan) return kStatusFailed;
    const ExportOutcome exported = ExportCsvFile(outPath, plan->table.View());
    if (exported.result != ExportResult::Exported) {
        run.err << (exported.result == ExportResult::Failed
                        ? QString::fromUtf8(kMsgCannotWrite).arg(outPath)
                        : MessageFor(exported))
                << Qt::endl;
        return kStatusFailed;
    }
    return kStatusDone;
}

}  // namespace

Command ExportCommand() {
    return {QStringLiteral("export"),
            QStringLiteral("把重新计算后的列表导出为 CSV 文件，与窗口的导出相同"),
            QStringLiteral("  tovira-cli export PLAN.ini OUT.csv [--mode theory|fact]\n"),
            CommandGroup::Plan,
            {ModeOption()},
            RunExport};
}

}  // namespace tovira
