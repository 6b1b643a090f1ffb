// Feeds arbitrary answers to Sina's estimate reader.

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

#include "core/marketdata/sina_estimate.h"
#include "live_estimate_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray body(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const tovira::EstimateAttempt a = tovira::ReadSinaEstimate(body, QStringLiteral("000001"));
    tovira::fuzz::CheckAttempt(a, tovira::EstimateSource::Sina);
    // The change is a fraction below 100 % either way.
    if (a.estimate && !(std::fabs(a.estimate->changePct) < 100)) __builtin_trap();
    return 0;
}
