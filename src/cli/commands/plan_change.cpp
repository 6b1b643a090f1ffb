#include "cli/commands/plan_change.h"

#include "cli/commands/command.h"
#include "core/common/messages.h"
#include "core/storage/file_io.h"
#include "core/storage/ini_document.h"

namespace tovira {

OpenOutcome OpenToChange(const QString& path, LedgerModel& ledger, PlanSettings& settings,
                         QString* storedCode) {
    OpenPlanOptions options;
    options.mode = Mode::Fact;
    options.recalculate = false;
    options.setFundCode = [storedCode](const QString& code) {
        *storedCode = code;
        return false;
    };
    return OpenPlanFile(path, ledger, settings, options);
}

Mode WriteBackMode(const QString& path, int rows) {
    IniDocument doc;
    if (!doc.Load(path)) return Mode::Theory;
    for (int row = 1; row <= rows; ++row) {
        const QString section = QStringLiteral("第%1行").arg(row);
        if (doc.Find(section, QStringLiteral("PurchaseAmount")) ||
            doc.Find(section, QStringLiteral("RedeemShares"))) {
            return Mode::Fact;
        }
    }
    return Mode::Theory;
}

int SavePlan(LedgerModel& ledger, const PlanSettings& settings, Mode mode, const QString& path,
             const QString& code, const FileStamp& read, QTextStream& err) {
    const SaveOutcome saved = SavePlanFileAt(ledger, settings, mode, path, code, &read);
    if (saved.Saved()) return kStatusDone;
    err << MessageFor(saved) << Qt::endl;
    return saved.result == SaveResult::ChangedOnDisk ? kStatusChanged : kStatusFailed;
}

QString AddedRows(const LedgerModel& ledger, int first, int added) {
    if (added == 0) return QStringLiteral("0 行");
    return QStringLiteral("%1 行（%2 至 %3）")
        .arg(added)
        .arg(ledger.Cell(first, Column::Date), ledger.Cell(ledger.LastRow(), Column::Date));
}

}  // namespace tovira
