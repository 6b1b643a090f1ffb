#include "core/marketdata/trading_calendar.h"

#include <QTime>
#include <algorithm>
#include <cstddef>
#include <iterator>

#include "core/common/beijing_time.h"

namespace tovira {

namespace {

struct Day {
    int year;
    int month;
    int day;
};

// Weekday closures as the Shanghai exchange announced them (notice of
// 2025-12-22); 242 trading days in 2026. In date order.
constexpr Day kWeekdayClosures[] = {
    {2026, 1, 1},  {2026, 1, 2},  {2026, 2, 16}, {2026, 2, 17}, {2026, 2, 18},
    {2026, 2, 19}, {2026, 2, 20}, {2026, 2, 23}, {2026, 4, 6},  {2026, 5, 1},
    {2026, 5, 4},  {2026, 5, 5},  {2026, 6, 19}, {2026, 9, 25}, {2026, 10, 1},
    {2026, 10, 2}, {2026, 10, 5}, {2026, 10, 6}, {2026, 10, 7},
};

constexpr int kLastKnownYear = 2026;

constexpr bool Before(const Day& a, const Day& b) {
    if (a.year != b.year) return a.year < b.year;
    if (a.month != b.month) return a.month < b.month;
    return a.day < b.day;
}

constexpr bool InDateOrder() {
    for (std::size_t i = 1; i < std::size(kWeekdayClosures); ++i)
        if (!Before(kWeekdayClosures[i - 1], kWeekdayClosures[i])) return false;
    return true;
}
static_assert(InDateOrder(), "the closures are searched by halving: keep them in date order");

bool IsWeekdayClosure(const QDate& date) {
    return std::binary_search(std::begin(kWeekdayClosures), std::end(kWeekdayClosures),
                              Day{date.year(), date.month(), date.day()}, Before);
}

}  // namespace

int LastKnownTradingYear() { return kLastKnownYear; }

bool IsTradingDay(const QDate& date) {
    if (!date.isValid() || date.dayOfWeek() >= 6) return false;
    return !IsWeekdayClosure(date);
}

bool IsPollingTime(const QDateTime& moment) {
    const QDateTime beijing = ToBeijing(moment);
    if (!beijing.isValid() || !IsTradingDay(beijing.date())) return false;
    const QTime t = beijing.time();
    const QTime minute(t.hour(), t.minute());
    return minute >= QTime(9, 25) && minute <= QTime(15, 5);
}

}  // namespace tovira
