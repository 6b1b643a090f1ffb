// Feeds arbitrary text to the reader of the stock share in the fund data
// script.

#include <QString>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "holdings_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::optional<tovira::StockShare> share =
        tovira::ParseStockShare(QString::fromUtf8(tovira::fuzz::Bytes(data, size)));
    if (share && (!std::isfinite(share->pct) || share->pct < 0 || share->pct > 200)) {
        __builtin_trap();
    }
    return 0;
}
