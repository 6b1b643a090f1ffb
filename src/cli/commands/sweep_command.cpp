// tovira-cli sweep: the parameter search over two of the plan's parameters,
// the best ten combinations on the output, every one into a CSV file when
// asked.

#include <QLocale>
#include <vector>

#include "cli/commands/cli_messages.h"
#include "cli/commands/command.h"
#include "cli/commands/plan_input.h"
#include "core/common/messages.h"
#include "core/common/text_table.h"
#include "core/report/parameter_sweep.h"
#include "core/storage/file_guards.h"
#include "core/storage/file_io.h"

namespace tovira {
namespace {

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

// The names the search takes, for the message about one it does not.
QString ParameterNames() {
    QStringList names;
    for (const SweepParameter& p : SweepParameters()) names << QString::fromLatin1(p.name);
    return names.join(QStringLiteral("、"));
}

// The two axes of the search; none (after the message) when a range is bad.
std::optional<std::vector<SweepAxis>> ReadAxes(const QStringList& vary, QTextStream& err) {
    std::vector<SweepAxis> axes;
    for (const QString& text : vary) {
        QString error;
        std::optional<SweepAxis> axis = ParseSweepAxis(text, &error);
        if (!axis) {
            if (error.startsWith(QString::fromUtf8(kMsgSweepUnknownParameter))) {
                error += QString::fromUtf8(kMsgSweepParameters).arg(ParameterNames());
            }
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

// The best ten cells, empty figures shown as "—".
void PrintBest(const SweepResult& result, SweepMetric metric, QTextStream& out) {
    TextTable table;
    const auto add = [&](QStringList row) {
        for (QString& cell : row) {
            if (cell.isEmpty()) cell = QStringLiteral("—");
        }
        table.AddRow(std::move(row));
    };
    add(SweepHeader(result));
    for (const auto& [i, j] : BestSweepCells(result, metric, 10)) add(SweepRow(result, i, j));
    table.Write(out);
}

int RunSweepCommand(const CommandRun& run) {
    const std::optional<Mode> mode = ReadModeOption(run);
    if (!mode) return kStatusUsage;
    SweepMetric metric = SweepMetric::Xirr;
    if (run.Has(QStringLiteral("metric"))) {
        const QString value = run.Value(QStringLiteral("metric"));
        const std::optional<SweepMetric> parsed = ParseSweepMetric(value);
        if (!parsed) {
            run.err << QString::fromUtf8(kMsgUnknownMetric).arg(value) << Qt::endl;
            return kStatusUsage;
        }
        metric = *parsed;
    }
    int threads = 0;
    if (run.Has(QStringLiteral("threads"))) {
        const QString value = run.Value(QStringLiteral("threads"));
        bool ok = false;
        threads = value.toInt(&ok);
        if (!ok || threads < 1 || threads > 1024) {
            run.err << QString::fromUtf8(kMsgBadThreads).arg(value) << Qt::endl;
            return kStatusUsage;
        }
    }
    // The search varies exactly two parameters, in 理论计算.
    const QStringList vary = run.options.values(QStringLiteral("vary"));
    if (run.words.size() != 1 || vary.size() != 2 || *mode != Mode::Theory) {
        run.err << MistakeUsage(CommandGroup::Plan);
        return kStatusUsage;
    }
    // Bad ranges are told before the plan is read.
    const std::optional<std::vector<SweepAxis>> axes = ReadAxes(vary, run.err);
    if (!axes) return kStatusUsage;

    const QString& planPath = run.words[0];
    const QString outPath = run.Value(QStringLiteral("o"));
    if (!PlanFileIsThere(planPath, run.err) || !OutputMayTakePath(outPath, planPath, run.err)) {
        return kStatusFailed;
    }
    PlanSession session;
    const OpenOutcome opened = session.Open(planPath, *mode);
    if (opened.result != OpenResult::Opened) {
        if (const QString message = MessageFor(opened); !message.isEmpty()) {
            run.err << message << Qt::endl;
        }
        return kStatusFailed;
    }
    if (session.Ledger().LastRow() == 0) {
        run.err << QString::fromUtf8(kMsgNoData) << Qt::endl;
        return kStatusFailed;
    }
    const std::vector<SweepAxis>& a = *axes;
    ReportClamped(a[0], run.err);
    ReportClamped(a[1], run.err);
    const SweepResult result =
        RunSweep(session.Ledger(), session.Settings(), a[0], a[1], threads, nullptr, {});
    if (!outPath.isEmpty() && !WriteSweepCsv(result, outPath)) {
        run.err << QString::fromUtf8(kMsgCannotWrite).arg(outPath) << Qt::endl;
        return kStatusFailed;
    }
    PrintBest(result, metric, run.out);
    return kStatusDone;
}

}  // namespace

Command SweepCommand() {
    return {
        QStringLiteral("sweep"),
        QStringLiteral("参数搜索：在理论计算中变动两个参数，打印最好的十组"),
        QStringLiteral("  tovira-cli sweep PLAN.ini --vary A=from:to:step --vary B=from:to:step\n"
                       "                  [--metric xirr|profit|return] [--threads N] [-o "
                       "result.csv]\n"),
        CommandGroup::Plan,
        {{QStringLiteral("vary"), QStringLiteral("NAME=from:to:step"),
          QStringLiteral("要变动的参数及其范围，给两次"), true},
         {QStringLiteral("metric"), QStringLiteral("xirr|profit|return"),
          QStringLiteral("排序所依据的指标（默认 xirr）")},
         {QStringLiteral("threads"), QStringLiteral("N"),
          QStringLiteral("计算用的线程数，1 到 1024（默认每个处理器核一个）")},
         {QStringLiteral("o"), QStringLiteral("result.csv"),
          QStringLiteral("把每一组的结果写入这个 CSV 文件")},
         {QStringLiteral("mode"), QStringLiteral("theory"),
          QStringLiteral("只能是理论计算（theory）")}},
        RunSweepCommand};
}

}  // namespace tovira
