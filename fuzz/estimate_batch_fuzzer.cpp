// Feeds arbitrary answers to the batch valuation's reader.

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

#include "core/marketdata/estimate_batch.h"
#include "live_estimate_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray body(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const tovira::ValuationBatch batch = tovira::ReadValuationRows(body);
    // A failed answer gives no rows; every row carries its code.
    if (batch.failure && !batch.rows.isEmpty()) __builtin_trap();
    if (batch.failure && batch.failure->estimate) __builtin_trap();
    for (const tovira::ValuationRow& row : batch.rows) {
        if (row.code.isEmpty()) __builtin_trap();
        if (row.nav && !(*row.nav > 0)) __builtin_trap();
        tovira::fuzz::CheckAttempt(tovira::EstimateFromValuationRow(row),
                                   tovira::EstimateSource::Tiantian);
    }
    tovira::fuzz::CheckAttempt(tovira::ReadValuationBatch(body, QStringLiteral("161725")),
                               tovira::EstimateSource::Tiantian);
    return 0;
}
