// tovira-cli show: the recalculated ledger as an aligned table and a
// summary line.

#include <vector>

#include "cli/commands/command.h"
#include "cli/commands/plan_input.h"
#include "core/common/text_table.h"

namespace tovira {
namespace {

// The ledger's columns, the redemption columns only when the plan sells on
// rises, then the summary line.
void PrintLedger(const FigureView& ledger, bool showRedeem, QTextStream& out) {
    std::vector<Column> columns;
    for (int c = 0; c < kColumnCount; ++c) {
        const Column col = static_cast<Column>(c);
        if (!showRedeem && (col == Column::RedeemShares || col == Column::RedeemAmount)) continue;
        columns.push_back(col);
    }
    const int n = ledger.LastRow();
    CellScratch scratch;
    TextTable table;
    QStringList cells;
    for (Column c : columns) cells << QString::fromUtf8(ColumnOf(c).caption);
    table.AddRow(cells);
    for (int row = 1; row <= n; ++row) {
        cells.clear();
        for (Column c : columns) cells << ledger.Cell(row, c, scratch).toString();
        table.AddRow(cells);
    }
    table.Write(out);
    const auto last = [&](Column c) { return ledger.Cell(n, c, scratch).toString(); };
    out << QStringLiteral("共 %1 行；总投入 %2，资产市值 %3，净盈亏 %4，净收益率 %5%")
               .arg(n)
               .arg(last(Column::NetInvested), last(Column::MarketValue), last(Column::Profit),
                    last(Column::ReturnPct))
        << '\n';
}

int RunShow(const CommandRun& run) {
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
    PrintLedger(plan->table.View(), plan->settings.Checked(Switch::SellOnRises), run.out);
    return kStatusDone;
}

}  // namespace

Command ShowCommand() {
    return {QStringLiteral("show"),
            QStringLiteral("打印重新计算后的列表（按显示宽度对齐）和一行汇总"),
            QStringLiteral("  tovira-cli show PLAN.ini [--mode theory|fact]\n"),
            CommandGroup::Plan,
            {ModeOption()},
            RunShow};
}

}  // namespace tovira
