// Feeds arbitrary text to the NAV-history page parser.

#include <QString>
#include <cstddef>
#include <cstdint>

#include "core/marketdata/nav_history.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    const tovira::NavPage page = tovira::ParseNavPage(text);
    bool complete = false;
    const QString history = tovira::ParseNavHistory(text, &complete);

    // The two views of one page agree.
    if (complete != page.complete) __builtin_trap();
    if (page.oldestChange.isNull() && !history.isEmpty()) __builtin_trap();
    if (!history.startsWith(page.oldestChange)) __builtin_trap();
    if (!page.oldestChange.isNull() && history.count(QLatin1Char('|')) < page.records.size())
        __builtin_trap();
    if (page.complete && page.records.isEmpty()) __builtin_trap();
    return 0;
}
