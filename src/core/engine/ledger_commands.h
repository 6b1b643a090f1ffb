#pragma once
// Row operations of the ledger's context menu.

#include <optional>

#include "core/engine/recalculate.h"

namespace tovira {

// Removes the selected row, if any, and recalculates either way.
void DeleteThisLine(LedgerModel& ledger, std::optional<int> selectedRow,
                    const PlanSettings& settings, Mode mode);

// Removes every row; nothing else changes and nothing is recalculated.
void ClearList(LedgerModel& ledger);

}  // namespace tovira
