#pragma once
// Small file helpers shared across the program.

#include <QString>

namespace tovira {

// The stored value, or the empty text when the file, section or key is
// missing. Values are cut at 9999 bytes of their GBK form.
QString ReadIniValue(const QString& path, const QString& section, const QString& key);

// Writes or replaces one key, creating the file and the section when missing.
// Returns false when the file could not be written.
bool WriteIniValue(const QString& path, const QString& section, const QString& key,
                   const QString& value);

// Creates or truncates the file and writes the text as GBK followed by CR LF,
// through a temporary file renamed over the target. Returns false when the text
// cannot be encoded in GBK or the file cannot be written.
bool WriteTextFile(const QString& path, const QString& text);

// Appends the text as GBK followed by CR LF, creating the file when absent.
bool AppendTextToFile(const QString& path, const QString& text);

// Int(r * (a - b + 1) + b) with r a single-precision uniform number in [0, 1),
// reseeded from the clock on every call. Called with 100000000 and 999999999
// it gives a nine-digit number.
double RandomInteger(int a, int b);

}  // namespace tovira
