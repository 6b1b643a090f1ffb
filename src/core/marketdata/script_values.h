#pragma once
// Reading values out of the provider's JavaScript data files (the fund data
// script "pingzhongdata/CODE.js" and its kind): where a variable's value
// starts, and where a JSON array or object that starts there ends.

#include <QString>

namespace tovira {

// Where the value assigned to the variable `name` starts ("name = value",
// any blanks around "="), or -1 when the script assigns no such variable.
// A longer name that merely starts or ends with `name` does not count, and
// "==" is a comparison, not an assignment.
qsizetype ScriptAssignedValue(const QString& text, const QString& name);

// The index of the bracket that closes the "[" or "{" at `open`, or -1 when
// the text ends first (an answer cut short). Brackets inside JSON strings do
// not count.
qsizetype ScriptValueEnd(const QString& text, qsizetype open);

}  // namespace tovira
