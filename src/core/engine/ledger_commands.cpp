#include "core/engine/ledger_commands.h"

namespace tovira {

void DeleteThisLine(LedgerModel& ledger, std::optional<int> selectedRow,
                    const PlanSettings& settings, Mode mode) {
    if (ledger.LastRow() > 0 && selectedRow) ledger.RemoveRow(*selectedRow);
    Recalculate(ledger, settings, mode);
}

void ClearList(LedgerModel& ledger) { ledger.ClearRows(); }

}  // namespace tovira
