#pragma once
// The published answers in tests/data/estimates-2026: each file holds one or
// more bodies between '#' comment lines.

#include <QByteArray>
#include <QByteArrayList>

#include "support/test_support.h"

namespace tovira::test {

// The bodies of a fixture file in order: runs of lines that are not
// comments, joined by their line ends (a body may span lines).
inline QByteArrayList FixtureBodies(const char* file) {
    const QByteArray bytes = ReadFileBytes(DataPath("estimates-2026/") + QString::fromUtf8(file));
    QByteArrayList bodies;
    QByteArray current;
    for (const QByteArray& line : bytes.split('\n')) {
        if (line.startsWith('#') || line.trimmed().isEmpty()) {
            if (!current.isEmpty()) bodies.append(current.trimmed());
            current.clear();
        } else {
            current += line + '\n';
        }
    }
    if (!current.isEmpty()) bodies.append(current.trimmed());
    return bodies;
}

}  // namespace tovira::test
