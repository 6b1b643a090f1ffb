// tovira-cli sweep: the parameter search over two of the plan's parameters,
// the best ten combinations on the output, every one into a CSV file when
// asked.

#include <unistd.h>

#include <QLocale>
#include <chrono>
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

// Notes, on the error stream, one line per axis whose values the boxes'
// rules changed.
void ReportClamped(const SweepAxis& axis, const SweepAxis& other, QTextStream& err) {
    if (const std::optional<QString> line = SweepClampSummary(axis, other.Count())) {
        err << *line << Qt::endl;
    }
}

// The search's progress on a terminal (never into a redirected stream): one
// line rewritten in place, with the time left, cleared at the end.
class TerminalProgress {
  public:
    explicit TerminalProgress(QTextStream& err)
        : err_(err), shown_(err.string() == nullptr && isatty(2) == 1) {}
    ~TerminalProgress() {
        if (drawn_) err_ << QStringLiteral("\r\x1b[K") << Qt::flush;
    }
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;

    SweepProgress Callback() {
        if (!shown_) return {};
        return [this](long long done, long long total) {
            const double elapsed =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
            err_ << QStringLiteral("\r\x1b[K") << SweepProgressText(done, total, elapsed)
                 << Qt::flush;
            drawn_ = true;
        };
    }

  private:
    QTextStream& err_;
    bool shown_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// The two axes of the search; none (after the message) when a range is bad.
std::optional<std::vector<SweepAxis>> ReadAxes(const QStringList& vary, QTextStream& err) {
    std::vector<SweepAxis> axes;
    for (const QString& text : vary) {
        QString error;
        std::optional<SweepAxis> axis = ParseSweepAxis(text, &error);
        if (!axis) {
            if (error.startsWith(QString::fromUtf8(kMsgSweepUnknownParameter))) {
                error += QString::fromUtf8(kMsgSweepParameters).arg(SweepParameterNames());
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
    // A parameter the plan's switches leave unused would fill the grid with
    // copies of one result: refused, as the dialog does not offer it.
    for (const SweepAxis& axis : a) {
        if (const std::optional<QString> idle =
                SweepParameterIdle(session.Settings(), axis.field)) {
            run.err << *idle << QStringLiteral("，不能作为寻优参数") << Qt::endl;
            return kStatusUsage;
        }
    }
    ReportClamped(a[0], a[1], run.err);
    ReportClamped(a[1], a[0], run.err);
    SweepResult result;
    {
        TerminalProgress progress(run.err);
        result = RunSweep(session.Ledger(), session.Settings(), a[0], a[1], threads, nullptr,
                          progress.Callback());
    }
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
          QStringLiteral("要变动的参数（标题如 投入倍数，或名称如 Multiple）及其范围，给两次"),
          true},
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
