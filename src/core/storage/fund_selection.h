#pragma once
// The fund code box's files: the fund directory that names the funds
// (FundCode.ini) and the query history of codes entered (History.ini).

#include <QString>
#include <QStringList>

#include "core/storage/plan_file.h"  // IsFundCode

namespace tovira {

// The fund's name from FundCode.ini in the program folder; empty when the
// file or the code is missing.
QString FundName(const QString& programFolder, const QString& code);

// "Zororad" + version + " - " + code + " " + name.
QString WindowTitle(const QString& code, const QString& name);

// The list of History.ini ("查询历史", FundCode1, FundCode2, ...), up to the
// first missing or empty key.
QStringList LoadQueryHistory(const QString& programFolder);

// Writes the entries as FundCode1 ... FundCodeN in one go. Keys beyond N that
// an earlier, longer list wrote stay (as the key-by-key writes left them);
// `fresh` starts from an empty file instead. Returns false when the file could
// not be written.
bool SaveQueryHistory(const QString& programFolder, const QStringList& entries, bool fresh = false);

}  // namespace tovira
