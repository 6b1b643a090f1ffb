// tovira-cli report: the back-test report of the plan, as a table or JSON.

#include "cli/commands/command.h"
#include "cli/commands/plan_input.h"
#include "core/common/messages.h"
#include "core/report/backtest_report.h"

namespace tovira {
namespace {

int RunReport(const CommandRun& run) {
    const std::optional<Mode> mode = ReadModeOption(run);
    if (!mode) return kStatusUsage;
    if (run.words.size() != 1) {
        run.err << MistakeUsage(CommandGroup::Plan);
        return kStatusUsage;
    }
    const QString& planPath = run.words[0];
    if (!PlanFileIsThere(planPath, run.err)) return kStatusFailed;
    const std::optional<PlanFigures> plan = ReadPlanFigures(planPath, *mode, run.err);
    if (!plan) return kStatusFailed;
    const std::optional<BacktestReport> report = BuildBacktestReport(plan->table, plan->settings);
    if (!report) {
        run.err << QString::fromUtf8(kMsgNoData) << Qt::endl;
        return kStatusFailed;
    }
    if (run.Has(QStringLiteral("json"))) {
        run.out << QString::fromUtf8(BacktestReportJsonText(*report));
    } else {
        run.out << BacktestReportTable(*report);
    }
    return kStatusDone;
}

}  // namespace

Command ReportCommand() {
    return {QStringLiteral("report"),
            QStringLiteral("回测报告：本计划、一次性买入与每月定投的对比，以及基金本身的涨跌"),
            QStringLiteral("  tovira-cli report PLAN.ini [--mode theory|fact] [--json]\n"),
            CommandGroup::Plan,
            {ModeOption(),
             {QStringLiteral("json"), QString(), QStringLiteral("以 JSON 输出，而不是表格")}},
            RunReport};
}

}  // namespace tovira
