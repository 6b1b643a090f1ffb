#include "cli/cli.h"

#include <QFileInfo>
#include <algorithm>
#include <vector>

#include "core/common/display_width.h"
#include "core/common/messages.h"
#include "core/report/backtest_report.h"
#include "core/session/plan_session.h"

namespace tovira {
namespace {

const char* const kUsage =
    "用法:\n"
    "  tovira-cli export PLAN.ini OUT.csv [--mode theory|fact]\n"
    "  tovira-cli show PLAN.ini [--mode theory|fact]\n"
    "  tovira-cli report PLAN.ini [--mode theory|fact] [--json]\n";

void PrintTable(const LedgerModel& ledger, bool showRedeem, QTextStream& out) {
    std::vector<int> columns;
    for (int c = 0; c < kColumnCount; ++c) {
        const Column col = static_cast<Column>(c);
        if (!showRedeem && (col == Column::RedeemShares || col == Column::RedeemAmount)) continue;
        columns.push_back(c);
    }
    const int n = ledger.LastRow();
    std::vector<int> widths;
    for (int c : columns) {
        int w = DisplayWidth(QString::fromUtf8(Columns()[static_cast<size_t>(c)].caption));
        for (int row = 1; row <= n; ++row) {
            w = std::max(w, DisplayWidth(ledger.Cell(row, static_cast<Column>(c))));
        }
        widths.push_back(w);
    }
    auto printLine = [&](auto cellText) {
        QString line;
        for (size_t k = 0; k < columns.size(); ++k) {
            if (k > 0) line += QStringLiteral("  ");
            line += PadRight(cellText(columns[k]), widths[k]);
        }
        while (line.endsWith(u' ')) line.chop(1);
        out << line << '\n';
    };
    printLine([](int c) { return QString::fromUtf8(Columns()[static_cast<size_t>(c)].caption); });
    for (int row = 1; row <= n; ++row) {
        printLine([&](int c) { return ledger.Cell(row, static_cast<Column>(c)); });
    }
}

}  // namespace

int RunCli(const QStringList& args, QTextStream& out, QTextStream& err) {
    QStringList positional;
    Mode mode = Mode::Theory;
    bool json = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QStringLiteral("--mode") || a.startsWith(QStringLiteral("--mode="))) {
            QString value;
            if (a == QStringLiteral("--mode")) {
                if (i + 1 >= args.size()) {
                    err << QString::fromUtf8(kUsage);
                    return 2;
                }
                value = args[++i];
            } else {
                value = a.mid(7);
            }
            if (value == QStringLiteral("theory")) {
                mode = Mode::Theory;
            } else if (value == QStringLiteral("fact")) {
                mode = Mode::Fact;
            } else {
                err << QStringLiteral("未知的模式：%1（应为 theory 或 fact）").arg(value)
                    << Qt::endl;
                return 2;
            }
        } else if (a == QStringLiteral("--json")) {
            json = true;
        } else if (a == QStringLiteral("-h") || a == QStringLiteral("--help")) {
            out << QString::fromUtf8(kUsage);
            return 0;
        } else {
            positional << a;
        }
    }
    const bool isExport = positional.value(0) == QStringLiteral("export") && positional.size() == 3;
    const bool isShow = positional.value(0) == QStringLiteral("show") && positional.size() == 2;
    const bool isReport = positional.value(0) == QStringLiteral("report") && positional.size() == 2;
    // --json belongs to the report alone.
    if ((!isExport && !isShow && !isReport) || (json && !isReport)) {
        err << QString::fromUtf8(kUsage);
        return 2;
    }

    const QString planPath = positional[1];
    const QFileInfo info(planPath);
    // Only a regular file (links followed): a pipe or a device would hang the read.
    if (!info.isFile()) {
        err << QStringLiteral("找不到方案文件：%1").arg(planPath) << Qt::endl;
        return 1;
    }

    PlanSession session;
    const LedgerModel& ledger = session.Ledger();
    // Messages go to standard error instead of a message box.
    const OpenOutcome opened = session.Open(planPath, mode);
    if (opened.result != OpenResult::Opened) {
        if (const QString message = MessageFor(opened); !message.isEmpty()) {
            err << message << Qt::endl;
        }
        return 1;
    }
    if (ledger.LastRow() == 0) {
        err << QString::fromUtf8(kMsgNoData) << Qt::endl;
        return 1;
    }

    if (isExport) {
        const QString outPath = positional[2];
        const ExportOutcome exported = session.Export(outPath);
        if (exported.result != ExportResult::Exported) {
            err << (exported.result == ExportResult::Failed
                        ? QStringLiteral("无法写入文件：%1").arg(outPath)
                        : MessageFor(exported))
                << Qt::endl;
            return 1;
        }
        return 0;
    }

    if (isReport) {
        const std::optional<BacktestReport> report =
            BuildBacktestReport(ledger, session.Settings(), mode);
        if (!report) {
            err << QString::fromUtf8(kMsgNoData) << Qt::endl;
            return 1;
        }
        if (json) {
            out << QString::fromUtf8(BacktestReportJsonText(*report));
        } else {
            out << BacktestReportTable(*report);
        }
        return 0;
    }

    PrintTable(ledger, session.Settings().Checked(Switch::SellOnRises), out);
    const int n = ledger.LastRow();
    out << QStringLiteral("共 %1 行；总投入 %2，资产市值 %3，净盈亏 %4，净收益率 %5%")
               .arg(n)
               .arg(ledger.Cell(n, Column::NetInvested), ledger.Cell(n, Column::MarketValue),
                    ledger.Cell(n, Column::Profit), ledger.Cell(n, Column::ReturnPct))
        << '\n';
    return 0;
}

}  // namespace tovira
