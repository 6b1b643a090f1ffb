#pragma once
// The published answers of the 2026 estimate sources (tests/data/estimates-2026):
// each file holds answers between "#" comment lines.

#include <QString>
#include <QStringList>

#include "support/test_support.h"

namespace tovira::test {

// The lines of the file that are not comments, in order.
inline QStringList EstimateFixtureLines(const char* name) {
    const QString text =
        QString::fromUtf8(ReadFileBytes(DataPath("estimates-2026/") + QString::fromUtf8(name)));
    QStringList lines;
    for (const QString& line : text.split(u'\n')) {
        if (!line.isEmpty() && !line.startsWith(u'#')) lines << line;
    }
    return lines;
}

}  // namespace tovira::test
