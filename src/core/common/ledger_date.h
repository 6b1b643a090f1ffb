#pragma once
// A ledger Date cell read back as a date, the one reading for every part of
// the program that compares or steps days.

#include <QDate>
#include <QString>
#include <QStringView>
#include <optional>

namespace tovira {

// The program writes its dates as yyyy/M/d (2017/3/27). A date typed into the
// cell, or left there by another program, may use '-' or '.' instead of '/'
// and carry leading zeros (2017-03-01, 2017.3.1). So a date is a four-digit
// year, a month and a day of one or two digits each, separated twice by the
// same one of '/', '-' and '.', blanks around it ignored, and a day the
// calendar has. Anything else is no date, a bare number such as 20170301
// among them: it reads as a figure, not a day.
std::optional<QDate> ReadLedgerDate(QStringView text);
std::optional<QDate> ReadLedgerDate(const QString& text);

}  // namespace tovira
