// tovira-cli import: a range of NAV history into a new plan, or in place of
// an existing plan's rows; the plan's settings and typed amounts stay.

#include <QHash>
#include <vector>

#include "cli/commands/cli_messages.h"
#include "cli/commands/command.h"
#include "cli/commands/network.h"
#include "cli/commands/plan_change.h"
#include "core/common/messages.h"
#include "core/marketdata/nav_import.h"
#include "core/storage/file_io.h"

namespace tovira {
namespace {

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

// --source: the configured source when not given.
std::optional<NavSource> SourceByOption(const QString& name, const Config& config) {
    if (name.isNull()) return config.HistorySource();
    if (name == QStringLiteral("api")) return NavSource::Api;
    if (name == QStringLiteral("table")) return NavSource::Table;
    if (name == QStringLiteral("trend")) return NavSource::Trend;
    return std::nullopt;
}

std::optional<QDate> ReadDateOption(const QString& text, QTextStream& err) {
    const QDate date = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
    if (!date.isValid()) {
        err << Text(kMsgBadDate).arg(text) << Qt::endl;
        return std::nullopt;
    }
    return date;
}

// A day with amounts typed in 实际操作.
struct TypedDay {
    QDate date;
    QString dateText;
    QString purchase;
    QString redeem;
};

std::vector<TypedDay> TypedDays(const LedgerModel& ledger) {
    std::vector<TypedDay> days;
    for (int row = 1; row <= ledger.LastRow(); ++row) {
        const QString& purchase = ledger.Cell(row, Column::PurchaseAmount);
        const QString& redeem = ledger.Cell(row, Column::RedeemShares);
        if (purchase.isEmpty() && redeem.isEmpty()) continue;
        const QString& dateText = ledger.Cell(row, Column::Date);
        days.push_back({ReadLedgerDate(dateText).value_or(QDate()), dateText, purchase, redeem});
    }
    return days;
}

struct TypedOutcome {
    int kept = 0;       // typed days written into the new rows
    int lost = 0;       // typed days the new rows do not hold
    QString firstLost;  // the first of them, as its row showed it
};

// Writes the typed amounts into the new rows of the same days.
TypedOutcome KeepTypedDays(const std::vector<TypedDay>& typed, LedgerModel& ledger) {
    QHash<QDate, int> rowOf;
    for (int row = 1; row <= ledger.LastRow(); ++row) {
        if (const std::optional<QDate> d = ReadLedgerDate(ledger.Cell(row, Column::Date))) {
            rowOf.insert(*d, row);
        }
    }
    TypedOutcome outcome;
    for (const TypedDay& day : typed) {
        const int row = day.date.isValid() ? rowOf.value(day.date, 0) : 0;
        if (row == 0) {
            if (outcome.lost++ == 0) outcome.firstLost = day.dateText;
            continue;
        }
        ledger.SetCell(row, Column::PurchaseAmount, day.purchase);
        ledger.SetCell(row, Column::RedeemShares, day.redeem);
        ++outcome.kept;
    }
    return outcome;
}

int RunImport(const CommandRun& run) {
    const QString source = run.Value(QStringLiteral("source"));
    if (run.words.size() != 1 || !run.Has(QStringLiteral("from")) ||
        !run.Has(QStringLiteral("to")) ||
        !(source.isNull() || source == QStringLiteral("api") || source == QStringLiteral("table") ||
          source == QStringLiteral("trend"))) {
        run.err << MistakeUsage(CommandGroup::MarketData);
        return kStatusUsage;
    }
    const QString code = run.words[0];
    if (!IsFundCode(code)) {
        run.err << Text(kMsgBadFundCode) << Qt::endl;
        return kStatusUsage;
    }
    const std::optional<QDate> from = ReadDateOption(run.Value(QStringLiteral("from")), run.err);
    if (!from) return kStatusUsage;
    const std::optional<QDate> to = ReadDateOption(run.Value(QStringLiteral("to")), run.err);
    if (!to) return kStatusUsage;
    if (*from > *to) {
        run.err << Text(kMsgStartAfterEnd) << Qt::endl;
        return kStatusUsage;
    }

    const QString folder = run.Folder();
    const QString planOption = run.Value(QStringLiteral("plan"));
    const QString path = planOption.isEmpty() ? PlanFilePath(folder, code) : planOption;
    if (!path.endsWith(QStringLiteral(".ini"))) {
        run.err << Text(kMsgWrongFormat) << Qt::endl;
        return kStatusFailed;
    }
    // Plan sections go only into a plan file or a new one, never into another
    // program's file that merely ends in ".ini". An empty file counts as new.
    const PlanFileKind kind = PlanFileKindOf(path);
    if (kind == PlanFileKind::NotPlan) {
        run.err << Text(kMsgNotAPlanFile).arg(path) << Qt::endl;
        return kStatusFailed;
    }
    // An existing plan keeps its settings (and all else the save does not
    // write); a new one gets the default preset the window applies to a fund
    // code typed in, and is written in 理论计算, as the window's first save.
    PlanSettings settings;
    // What the file is now; the save checks that nobody changed it meanwhile.
    const FileStamp read = StampOf(path);
    const bool exists = kind != PlanFileKind::Missing && kind != PlanFileKind::Empty;
    // The amounts typed in 实际操作, by the day they were typed for.
    std::vector<TypedDay> typed;
    if (!exists) {
        settings.ApplyPreset(Preset::Default);
    } else {
        LedgerModel old;
        QString storedCode;
        const OpenOutcome opened = OpenToChange(path, old, settings, &storedCode);
        if (opened.result != OpenResult::Opened) {
            const QString message = MessageFor(opened);
            run.err << (message.isEmpty() ? Text(kMsgPlanNotFound).arg(path) : message) << Qt::endl;
            return kStatusFailed;
        }
        if (old.LastRow() > 0 && !run.Has(QStringLiteral("replace"))) {
            run.err << Text(kMsgPlanHasRows) << Qt::endl;
            return kStatusFailed;
        }
        typed = TypedDays(old);
    }

    Network net(folder);
    const NavDownloadResult result =
        DownloadRange(net, *SourceByOption(source, net.config), code, *from, *to, run.err);
    if (!result.complete) {
        run.err << NavFailureMessage(result) << Qt::endl;
        return NavFailureStatus(result);
    }
    LedgerModel ledger;
    const ImportOutcome imported = ImportNavHistory(ledger, result.history);
    if (imported.hitRowLimit) {
        run.err << Text(kMsgRowLimit) << Qt::endl;
        return kStatusFailed;
    }
    // Typed amounts stay with their days; one whose day the new rows no
    // longer hold would be lost, which only --discard-typed allows.
    const TypedOutcome kept = KeepTypedDays(typed, ledger);
    if (kept.lost > 0 && !run.Has(QStringLiteral("discard-typed"))) {
        run.err << Text(kMsgTypedDaysLost).arg(kept.lost).arg(kept.firstLost) << Qt::endl;
        return kStatusFailed;
    }
    // Amounts kept on their days are written in 实际操作, wherever their rows
    // now stand.
    const Mode mode = kept.kept > 0 ? Mode::Fact
                      : exists      ? WriteBackMode(path, ledger.LastRow())
                                    : Mode::Theory;
    if (const int status = SavePlan(ledger, settings, mode, path, code, read, run.err)) {
        return status;
    }
    run.out << QStringLiteral("已导入 %1：%2").arg(AddedRows(ledger, 1, imported.added), path)
            << Qt::endl;
    if (result.withoutStatus) run.err << Text(kMsgNavFromTrend) << Qt::endl;
    return kStatusDone;
}

}  // namespace

Command ImportCommand() {
    return {
        QStringLiteral("import"),
        QStringLiteral("下载一段日期的净值，存为新方案，或（--replace）取代方案中原有的行"),
        QStringLiteral(
            "  tovira-cli import CODE --from YYYY-MM-DD --to YYYY-MM-DD [--plan PATH] [--replace]\n"
            "                    [--source api|table|trend] [--discard-typed]\n"),
        CommandGroup::MarketData,
        {{QStringLiteral("from"), QStringLiteral("YYYY-MM-DD"), QStringLiteral("开始日期")},
         {QStringLiteral("to"), QStringLiteral("YYYY-MM-DD"), QStringLiteral("结束日期")},
         {QStringLiteral("plan"), QStringLiteral("PATH"),
          QStringLiteral("方案文件（默认为方案文件夹中以基金代码命名的文件）")},
         {QStringLiteral("replace"), QString(), QStringLiteral("取代方案中原有的行")},
         {QStringLiteral("source"), QStringLiteral("api|table|trend"),
          QStringLiteral("净值数据源（默认为 Config.ini 所设）")},
         {QStringLiteral("discard-typed"), QString(),
          QStringLiteral("新的行中没有的日期上输入的金额可以舍去")}},
        RunImport};
}

}  // namespace tovira
