#pragma once
// Small file helpers shared across the program.

#include <QString>

namespace tovira {

// The stored value, or the empty text when the file, section or key is
// missing. Values are cut at 9999 bytes of their GBK form.
QString ReadIniValue(const QString& path, const QString& section, const QString& key);

}  // namespace tovira
