// Feeds arbitrary text to the NAV-history page parser.

#include <QDate>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>

#include "core/common/numbers.h"
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
    // A page not taken whole names why.
    if (!page.complete && page.failure == tovira::NavFailure::None) __builtin_trap();
    // Every record is one day of five fields: a date and a positive NAV first.
    for (const QString& record : page.records) {
        const QStringList fields = record.split(QLatin1Char(','));
        if (fields.size() != 5 || record.contains(QLatin1Char('|'))) __builtin_trap();
        if (!QDate::fromString(fields[0], QStringLiteral("yyyy/M/d")).isValid()) __builtin_trap();
        const std::optional<double> nav = tovira::StrictNumber(fields[1]);
        if (!nav || !(*nav > 0)) __builtin_trap();
    }
    return 0;
}
