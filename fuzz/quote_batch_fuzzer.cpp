// Feeds arbitrary text to the reader of the batch quote API, and its quotes to the estimate.

#include <QString>
#include <cstddef>
#include <cstdint>

#include "holdings_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tovira::fuzz::CheckQuotes(
        tovira::ParseQuoteBatch(QString::fromUtf8(tovira::fuzz::Bytes(data, size))));
    return 0;
}
