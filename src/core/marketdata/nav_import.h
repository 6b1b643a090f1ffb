#pragma once
// Filling the ledger from a NAV history string: a date-range import into an
// empty ledger, and appending the days after the last row.

#include <QDate>
#include <QString>
#include <optional>

#include "core/common/ledger_date.h"
#include "core/common/messages.h"
#include "core/ledger/ledger_model.h"

namespace tovira {

struct ImportOutcome {
    int added = 0;             // rows added
    bool hitRowLimit = false;  // days were left out because the ledger is full
};

// Rows 1..N from records 1..N (numbered 1..N), record 0 into row 1's
// Increase. Meant for an empty ledger.
ImportOutcome ImportNavHistory(LedgerModel& ledger, const QString& history);

// Records 1..N appended below the last row and numbered on from the row
// count. Record 0 is not used. Days not after the last row's date are
// skipped, so no day is ever added twice.
ImportOutcome AppendNavHistory(LedgerModel& ledger, const QString& history);

// AppendNavHistory below row `after` when rows were added below it while the
// days were downloading (today's provisional estimate row): the new days go
// right after row `after`, the later rows follow them renumbered, except
// those dated on or before the last new day, which the official days replace.
ImportOutcome AppendNavHistoryAfter(LedgerModel& ledger, int after, const QString& history);

// The append of 追加至今 when its download is in: row `after` was the last
// row when it started and held the NAV afterNav. If today's estimate added a
// row meanwhile, it wrote the previous official NAV (previousNav) into row
// `after`; that figure belongs to the last downloaded day, so row `after`
// gets its own NAV back before the days go in below it.
ImportOutcome MergeAppendedDays(LedgerModel& ledger, int after, const QString& afterNav,
                                const QString& previousNav, const QString& history);

// The last row's Date cell read as a date (yyyy/M/d and similar forms).
std::optional<QDate> LastRowDate(const LedgerModel& ledger);

}  // namespace tovira
