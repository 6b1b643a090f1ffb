// Feeds arbitrary text to the JSON NAV-history page parser.

#include <QDate>
#include <QString>
#include <cstddef>
#include <cstdint>

#include "core/marketdata/nav_history.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const tovira::NavPage page = tovira::ParseNavApiPage(text);

    // A page is taken whole or names why not.
    if (page.complete != (page.failure == tovira::NavFailure::None && page.rows > 0))
        __builtin_trap();
    if (page.complete && page.records.size() != page.rows) __builtin_trap();
    // Every record is five fields, dated, in order; record 0 is there with them.
    if (!page.records.isEmpty() && page.oldestChange.isEmpty()) __builtin_trap();
    QDate last;
    for (const QString& record : page.records) {
        if (record.count(QLatin1Char(',')) != 4 || record.contains(QLatin1Char('|')))
            __builtin_trap();
        const QDate day =
            QDate::fromString(record.section(QLatin1Char(','), 0, 0), QStringLiteral("yyyy/M/d"));
        if (!day.isValid() || (last.isValid() && day <= last)) __builtin_trap();
        last = day;
    }
    return 0;
}
