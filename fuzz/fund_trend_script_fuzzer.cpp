// Feeds arbitrary text to the trend-script parser.

#include <QDate>
#include <QString>
#include <cstddef>
#include <cstdint>

#include "core/marketdata/fund_trend_script.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QDate start(2000, 1, 1);
    const QDate end(2030, 12, 31);
    const tovira::NavPage page = tovira::ParseFundTrendScript(text, start, end);

    // A page is taken whole or not at all.
    const bool failed = page.failure != tovira::NavFailure::None;
    if (page.complete == failed) __builtin_trap();
    if (failed && !page.records.isEmpty()) __builtin_trap();
    if (page.complete && (page.records.isEmpty() || page.oldestChange.isEmpty())) __builtin_trap();
    if (page.rows != page.records.size()) __builtin_trap();

    // Every day is a five-field record within the range, oldest first.
    QDate previous;
    for (const QString& record : page.records) {
        if (record.count(QLatin1Char(',')) != 4 || record.contains(QLatin1Char('|')))
            __builtin_trap();
        const QDate date =
            QDate::fromString(record.section(QLatin1Char(','), 0, 0), QStringLiteral("yyyy/M/d"));
        if (!date.isValid() || date < start || date > end) __builtin_trap();
        if (previous.isValid() && date <= previous) __builtin_trap();
        previous = date;
    }
    return 0;
}
