#pragma once
// What every estimate source's reading must keep to, whatever the answer.

#include <cmath>

#include "core/common/beijing_time.h"
#include "core/marketdata/live_estimate.h"

namespace tovira::fuzz {

inline void CheckAttempt(const EstimateAttempt& a, EstimateSource source) {
    if (!a.estimate) {
        // A failure names itself; an estimate is never half given.
        if (a.failure == EstimateFailure::Unreadable && a.detail.isEmpty()) __builtin_trap();
        return;
    }
    const SourceEstimate& e = *a.estimate;
    if (e.source != source) __builtin_trap();
    if (!e.time.isValid() || e.time.offsetFromUtc() != kBeijingOffsetSeconds) __builtin_trap();
    if (!std::isfinite(e.nav) || !(e.nav > 0)) __builtin_trap();
    if (!std::isfinite(e.changePct)) __builtin_trap();
    if (e.previousNav && (!std::isfinite(*e.previousNav) || !(*e.previousNav > 0)))
        __builtin_trap();
    if (e.previousNavDate && !e.previousNavDate->isValid()) __builtin_trap();
}

}  // namespace tovira::fuzz
