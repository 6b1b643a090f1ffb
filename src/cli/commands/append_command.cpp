// tovira-cli append: the days after a plan's last row, added to its end;
// every byte of the plan before them stays.

#include <QFileInfo>

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

int RunAppend(const CommandRun& run) {
    if (run.words.size() != 1) {
        run.err << MistakeUsage(CommandGroup::MarketData);
        return kStatusUsage;
    }
    const QString path = run.words[0];
    if (!QFileInfo(path).isFile()) {
        run.err << Text(kMsgPlanNotFound).arg(path) << Qt::endl;
        return kStatusFailed;
    }
    LedgerModel ledger;
    PlanSettings settings;
    QString storedCode;
    const FileStamp read = StampOf(path);
    const OpenOutcome opened = OpenToChange(path, ledger, settings, &storedCode);
    if (opened.result != OpenResult::Opened) {
        run.err << MessageFor(opened) << Qt::endl;
        return kStatusFailed;
    }
    // The code the plan names, else the one its file is named after.
    const QString code = IsFundCode(storedCode) ? storedCode : QFileInfo(path).completeBaseName();
    if (!IsFundCode(code)) {
        run.err << Text(kMsgBadFundCode) << Qt::endl;
        return kStatusFailed;
    }
    const int n = ledger.LastRow();
    const std::optional<QDate> last = LastRowDate(ledger);
    if (n == 0 || !last) {
        run.err << Text(kMsgNoStartDate) << Qt::endl;
        return kStatusFailed;
    }
    const QDate today = QDate::currentDate();
    int added = 0;
    if (*last < today) {
        Network net(run.Folder());
        const NavSource source = net.config.HistorySource();
        const NavDownloadResult result =
            DownloadRange(net, source, code, last->addDays(1), today, run.err);
        // No day after the last row yet is no failure: nothing to add.
        if (!result.complete && !result.noDays) {
            run.err << NavFailureMessage(result) << Qt::endl;
            return NavFailureStatus(result);
        }
        const ImportOutcome appended = AppendNavHistory(ledger, result.history);
        if (appended.hitRowLimit) {
            run.err << Text(kMsgRowLimit) << Qt::endl;
            return kStatusFailed;
        }
        added = appended.added;
    }
    // Nothing new: the file stays as it is.
    if (added > 0) {
        if (const int status = SavePlan(ledger, settings, WriteBackMode(path, ledger.LastRow()),
                                        path, code, read, run.err)) {
            return status;
        }
    }
    run.out << QStringLiteral("已追加 %1").arg(AddedRows(ledger, n + 1, added)) << Qt::endl;
    return kStatusDone;
}

}  // namespace

Command AppendCommand() {
    return {QStringLiteral("append"),
            QStringLiteral("把方案最后一行之后的净值下载并追加到方案末尾"),
            QStringLiteral("  tovira-cli append PLAN.ini\n"),
            CommandGroup::MarketData,
            {},
            RunAppend};
}

}  // namespace tovira
