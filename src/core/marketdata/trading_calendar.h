#pragma once
// The Shanghai and Shenzhen exchanges' trading days, and the part of a
// trading day in which the estimate sources are worth asking.

#include <QDate>
#include <QDateTime>

namespace tovira {

// The last year whose weekday closures are built in. Weekdays of later years
// (and of years before the table) count as trading days until the table is
// extended: the exchanges announce each year's closures in December.
int LastKnownTradingYear();

// Weekends are always closed, whatever the date; the make-up working
// Saturdays and Sundays around the holidays are not trading days either.
// Weekdays are closed on the built-in holidays.
bool IsTradingDay(const QDate& date);

// Whether the sources publish a running estimate at this moment: a trading
// day, from 09:25 (the call auction) to 15:05 (the last estimates after the
// close), both minutes included. The moment is taken in Beijing time whatever
// zone it carries.
bool IsPollingTime(const QDateTime& moment);

}  // namespace tovira
