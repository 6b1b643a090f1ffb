// Feeds arbitrary answers to 10jqka's chart reader.

#include <QByteArray>
#include <cstddef>
#include <cstdint>

#include "core/marketdata/jqka_chart.h"
#include "live_estimate_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray body(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const tovira::JqkaChart chart = tovira::ReadJqkaChart(body);
    tovira::fuzz::CheckAttempt(chart.latest, tovira::EstimateSource::Jqka);
    // A curve is given whole with its latest point, or not at all.
    if (chart.points.isEmpty() != !chart.latest.estimate) __builtin_trap();
    if (chart.points.isEmpty()) return 0;
    const tovira::EstimatePoint& last = chart.points.last();
    if (last.time != chart.latest.estimate->time || last.nav != chart.latest.estimate->nav)
        __builtin_trap();
    for (const tovira::EstimatePoint& p : chart.points)
        if (!p.time.isValid() || !(p.nav > 0) || p.time.date() != last.time.date())
            __builtin_trap();
    return 0;
}
