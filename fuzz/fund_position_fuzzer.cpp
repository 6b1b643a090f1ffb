// Feeds arbitrary text to the reader of the position API's holdings.

#include <QString>
#include <cstddef>
#include <cstdint>

#include "holdings_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tovira::fuzz::CheckHoldings(
        tovira::ParseFundPosition(QString::fromUtf8(tovira::fuzz::Bytes(data, size))));
    return 0;
}
