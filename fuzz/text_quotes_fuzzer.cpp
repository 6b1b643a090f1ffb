// Feeds arbitrary bytes to the reader of the text quote service, and its quotes to the estimate.

#include <QString>
#include <cstddef>
#include <cstdint>

#include "holdings_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tovira::fuzz::CheckQuotes(tovira::ParseTextQuotes(tovira::fuzz::Bytes(data, size)));
    return 0;
}
