#include "cli/cli.h"

#include <QFileInfo>
#include <QLocale>
#include <algorithm>
#include <vector>

#include "cli/market_data_cli.h"
#include "core/common/display_width.h"
#include "core/common/messages.h"
#include "core/report/backtest_report.h"
#include "core/report/parameter_sweep.h"
#include "core/session/plan_session.h"
#include "core/storage/csv_export.h"
#include "core/storage/file_guards.h"
#include "core/storage/ini_document.h"
#include "core/storage/plan_file.h"

namespace tovira {
namespace {

const char* const kUsage =
    "用法:\n"
    "  tovira-cli export PLAN.ini OUT.csv [--mode theory|fact]\n"
    "  tovira-cli show PLAN.ini [--mode theory|fact]\n"
    "  tovira-cli report PLAN.ini [--mode theory|fact] [--json]\n"
    "  tovira-cli sweep PLAN.ini --vary A=from:to:step --vary B=from:to:step\n"
    "                  [--metric xirr|profit|return] [--threads N] [-o result.csv]\n";

QString Usage() { return QString::fromUtf8(kUsage) + MarketDataUsage(); }

// The options of `sweep`.
struct SweepOptions {
    QStringList vary;
    SweepMetric metric = SweepMetric::Xirr;
    int threads = 0;
    QString outPath;
    bool any = false;  // one of them was given
};

// A figure of the search as plain decimal text (no exponent); empty when absent.
QString SweepNumber(std::optional<double> v) {
    if (!v) return {};
    return QString::number(*v, 'f', QLocale::FloatingPointShortest);
}

QStringList SweepRow(const SweepResult& r, int i, int j) {
    const SweepMetrics& m = r.At(i, j);
    return {SweepNumber(r.x.used[static_cast<size_t>(i)]),
            SweepNumber(r.y.used[static_cast<size_t>(j)]),
            QString::number(m.purchases),
            QString::number(m.redemptions),
            SweepNumber(m.maxCapital),
            SweepNumber(m.profit),
            SweepNumber(m.returnOnCapitalPct),
            SweepNumber(m.xirrPct),
            SweepNumber(m.worstProfit)};
}

QStringList SweepHeader(const SweepResult& r) {
    QStringList header{r.x.name, r.y.name};
    for (const char* key : kSweepMetricKeys) header << QString::fromLatin1(key);
    return header;
}

// Every cell of the search as CSV, through the atomic writer: a full disk or
// a kill part way leaves the old file as it was, never a file cut mid-line.
bool WriteSweepCsv(const SweepResult& r, const QString& path) {
    constexpr qsizetype kPiece = 64 * 1024;
    return WriteFileAtomically(path, [&](const ByteSink& write) {
        QByteArray bytes = SweepHeader(r).join(u',').toUtf8() + '\n';
        for (int j = 0; j < r.y.Count(); ++j) {
            for (int i = 0; i < r.x.Count(); ++i) {
                bytes += SweepRow(r, i, j).join(u',').toUtf8() + '\n';
                if (bytes.size() >= kPiece) {
                    if (!write(bytes)) return false;
                    bytes.clear();
                }
            }
        }
        return write(bytes);
    });
}

// Notes, on the error stream, each value the boxes' rules changed.
void ReportClamped(const SweepAxis& axis, QTextStream& err) {
    for (int k = 0; k < axis.Count(); ++k) {
        if (!axis.Clamped(k)) continue;
        err << axis.name << QStringLiteral(" ") << axis.texts[static_cast<size_t>(k)]
            << QStringLiteral(": ") << QString::fromUtf8(kMsgSweepClamped)
            << SweepNumber(axis.used[static_cast<size_t>(k)]) << Qt::endl;
    }
}

// tovira-cli sweep, once the plan is open: the best ten cells on out, every
// cell into the CSV file when asked.
// The two axes of `sweep`; none (after the message) when a range is bad.
std::optional<std::vector<SweepAxis>> ParseSweepAxes(const SweepOptions& options,
                                                     QTextStream& err) {
    std::vector<SweepAxis> axes;
    for (const QString& text : options.vary) {
        QString error;
        std::optional<SweepAxis> axis = ParseSweepAxis(text, &error);
        if (!axis) {
            err << error << Qt::endl;
            return std::nullopt;
        }
        axes.push_back(std::move(*axis));
    }
    if (const std::optional<QString> refused = CheckSweepGrid(axes[0], axes[1])) {
        err << *refused << Qt::endl;
        return std::nullopt;
    }
    return axes;
}

int RunSweepCommand(const PlanSession& session, const std::vector<SweepAxis>& axes,
                    const SweepOptions& options, QTextStream& out, QTextStream& err) {
    ReportClamped(axes[0], err);
    ReportClamped(axes[1], err);
    const SweepResult result = RunSweep(session.Ledger(), session.Settings(), axes[0], axes[1],
                                        options.threads, nullptr, {});
    if (!options.outPath.isEmpty() && !WriteSweepCsv(result, options.outPath)) {
        err << QStringLiteral("无法写入文件：%1").arg(options.outPath) << Qt::endl;
        return 1;
    }
    std::vector<QStringList> rows{SweepHeader(result)};
    for (const auto& [i, j] : BestSweepCells(result, options.metric, 10)) {
        rows.push_back(SweepRow(result, i, j));
    }
    std::vector<int> widths(rows[0].size(), 0);
    for (const QStringList& row : rows) {
        for (qsizetype k = 0; k < row.size(); ++k) {
            const QString text = row[k].isEmpty() ? QStringLiteral("—") : row[k];
            widths[static_cast<size_t>(k)] =
                std::max(widths[static_cast<size_t>(k)], DisplayWidth(text));
        }
    }
    for (const QStringList& row : rows) {
        QString line;
        for (qsizetype k = 0; k < row.size(); ++k) {
            if (k > 0) line += QStringLiteral("  ");
            line += PadRight(row[k].isEmpty() ? QStringLiteral("—") : row[k],
                             widths[static_cast<size_t>(k)]);
        }
        while (line.endsWith(u' ')) line.chop(1);
        out << line << '\n';
    }
    return 0;
}

// The recalculated ledger as an aligned table, wide characters counting two
// cells, then the summary line.
void PrintTable(const FigureView& ledger, bool showRedeem, QTextStream& out) {
    std::vector<Column> columns;
    for (int c = 0; c < kColumnCount; ++c) {
        const Column col = static_cast<Column>(c);
        if (!showRedeem && (col == Column::RedeemShares || col == Column::RedeemAmount)) continue;
        columns.push_back(col);
    }
    const int n = ledger.LastRow();
    CellScratch scratch;
    std::vector<int> widths;
    for (Column c : columns) {
        int w = DisplayWidth(QString::fromUtf8(ColumnOf(c).caption));
        for (int row = 1; row <= n; ++row) {
            w = std::max(w, DisplayWidth(ledger.Cell(row, c, scratch)));
        }
        widths.push_back(w);
    }
    // One line at a time into one buffer; blanks at the end are dropped.
    QString line;
    auto endLine = [&] {
        while (line.endsWith(u' ')) line.chop(1);
        line += u'\n';
        out << line;
        line.clear();
    };
    for (size_t k = 0; k < columns.size(); ++k) {
        if (k > 0) line += QStringLiteral("  ");
        const QString caption = QString::fromUtf8(ColumnOf(columns[k]).caption);
        line += caption;
        line += QString(std::max(0, widths[k] - DisplayWidth(caption)), u' ');
    }
    endLine();
    for (int row = 1; row <= n; ++row) {
        for (size_t k = 0; k < columns.size(); ++k) {
            if (k > 0) line += QStringLiteral("  ");
            const QStringView text = ledger.Cell(row, columns[k], scratch);
            line += text;
            line += QString(std::max(0, widths[k] - DisplayWidth(text)), u' ');
        }
        endLine();
    }
    const auto last = [&](Column c) { return ledger.Cell(n, c, scratch).toString(); };
    out << QStringLiteral("共 %1 行；总投入 %2，资产市值 %3，净盈亏 %4，净收益率 %5%")
               .arg(n)
               .arg(last(Column::NetInvested), last(Column::MarketValue), last(Column::Profit),
                    last(Column::ReturnPct))
        << '\n';
}

}  // namespace

int RunCli(const QStringList& args, QTextStream& out, QTextStream& err,
           const std::function<QString()>& programFolder) {
    if (const std::optional<int> status = RunMarketDataCli(args, programFolder, out, err)) {
        return *status;
    }
    QStringList positional;
    Mode mode = Mode::Theory;
    bool json = false;
    SweepOptions sweep;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QStringLiteral("--mode") || a.startsWith(QStringLiteral("--mode="))) {
            QString value;
            if (a == QStringLiteral("--mode")) {
                if (i + 1 >= args.size()) {
                    err << Usage();
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
        } else if (a == QStringLiteral("--vary") || a == QStringLiteral("--metric") ||
                   a == QStringLiteral("--threads") || a == QStringLiteral("-o")) {
            if (i + 1 >= args.size()) {
                err << Usage();
                return 2;
            }
            const QString& value = args[++i];
            sweep.any = true;
            if (a == QStringLiteral("--vary")) {
                sweep.vary << value;
            } else if (a == QStringLiteral("--metric")) {
                const std::optional<SweepMetric> metric = ParseSweepMetric(value);
                if (!metric) {
                    err << QStringLiteral("未知的指标：%1（应为 xirr、profit 或 return）")
                               .arg(value)
                        << Qt::endl;
                    return 2;
                }
                sweep.metric = *metric;
            } else if (a == QStringLiteral("--threads")) {
                bool ok = false;
                sweep.threads = value.toInt(&ok);
                if (!ok || sweep.threads < 1 || sweep.threads > 1024) {
                    err << QStringLiteral("线程数应为 1 到 1024 的整数：%1").arg(value) << Qt::endl;
                    return 2;
                }
            } else {
                sweep.outPath = value;
            }
        } else if (a == QStringLiteral("--json")) {
            json = true;
        } else if (a == QStringLiteral("-h") || a == QStringLiteral("--help")) {
            out << Usage();
            return 0;
        } else {
            positional << a;
        }
    }
    const bool isExport = positional.value(0) == QStringLiteral("export") && positional.size() == 3;
    const bool isShow = positional.value(0) == QStringLiteral("show") && positional.size() == 2;
    const bool isReport = positional.value(0) == QStringLiteral("report") && positional.size() == 2;
    const bool isSweep = positional.value(0) == QStringLiteral("sweep") && positional.size() == 2;
    // --json belongs to the report alone, the search's options to the search;
    // the search varies exactly two parameters in 理论计算.
    if ((!isExport && !isShow && !isReport && !isSweep) || (json && !isReport) ||
        (sweep.any && !isSweep) || (isSweep && (sweep.vary.size() != 2 || mode != Mode::Theory))) {
        err << Usage();
        return 2;
    }

    // Bad ranges are told before the plan is read.
    std::optional<std::vector<SweepAxis>> axes;
    if (isSweep) {
        axes = ParseSweepAxes(sweep, err);
        if (!axes) return 2;
    }

    const QString planPath = positional[1];
    const QFileInfo info(planPath);
    // Only a regular file (links followed): a pipe or a device would hang the read.
    if (!info.isFile()) {
        err << QStringLiteral("找不到方案文件：%1").arg(planPath) << Qt::endl;
        return 1;
    }
    // An output never takes a plan's place: neither the plan read, under any
    // name or link, nor any other plan file.
    const QString outPath = isExport ? positional[2] : sweep.outPath;
    if (!outPath.isEmpty() &&
        (IsSameFile(outPath, planPath) || PlanFileKindOf(outPath) == PlanFileKind::Plan)) {
        err << QString::fromUtf8(kMsgOutputIsPlan).arg(outPath) << Qt::endl;
        return 1;
    }

    if (isSweep) {
        PlanSession session;
        // Messages go to standard error instead of a message box.
        const OpenOutcome opened = session.Open(planPath, mode);
        if (opened.result != OpenResult::Opened) {
            if (const QString message = MessageFor(opened); !message.isEmpty()) {
                err << message << Qt::endl;
            }
            return 1;
        }
        if (session.Ledger().LastRow() == 0) {
            err << QString::fromUtf8(kMsgNoData) << Qt::endl;
            return 1;
        }
        return RunSweepCommand(session, *axes, sweep, out, err);
    }

    // Printing, exporting and the report need the figures, not a ledger of
    // text cells: the plan is read as the window opens it and run through the
    // same pass, and every text comes out as the window's ledger shows it.
    PlanFigures plan = PlanSession::ReadFigures(planPath, mode);
    const OpenOutcome& opened = plan.opened;
    const PlanSettings& settings = plan.settings;
    FigureTable& table = plan.table;
    if (opened.result != OpenResult::Opened) {
        if (const QString message = MessageFor(opened); !message.isEmpty()) {
            err << message << Qt::endl;
        }
        return 1;
    }
    if (table.LastRow() == 0) {
        err << QString::fromUtf8(kMsgNoData) << Qt::endl;
        return 1;
    }
    if (isExport) {
        const ExportOutcome exported = ExportCsvFile(outPath, table.View());
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
        const std::optional<BacktestReport> report = BuildBacktestReport(table, settings);
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

    PrintTable(table.View(), settings.Checked(Switch::SellOnRises), out);
    return 0;
}

}  // namespace tovira
