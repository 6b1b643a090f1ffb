#pragma once
// The fund directory: the provider's fund list script turned into
// FundCode.ini ("基金代码": code = name), built in Cache.ini first.

#include <QObject>
#include <QString>
#include <QVector>
#include <functional>
#include <optional>
#include <utility>

#include "core/common/messages.h"

namespace tovira {

class HttpClient;

// The entries of the script between the first "[[" and the following "]]":
// piece 1 and piece 5 of each entry split at double quotes. Nothing when the
// script has no list or an entry has fewer than three quoted texts.
std::optional<QVector<std::pair<QString, QString>>> ParseFundDirectory(const QString& script);

// Writes the entries into Cache.ini (merging into what an earlier failed
// attempt left) as one document, then replaces FundCode.ini by it.
bool WriteFundDirectory(const QString& programFolder,
                        const QVector<std::pair<QString, QString>>& entries);

enum class DirectoryResult { Updated, Failed, TimedOut };
// GET baseUrl + "/js/fundcode_search.js", parse, write. progress hears the
// bytes received and the announced size (-1 when none) as they come.
void DownloadFundDirectory(HttpClient& client, const QString& baseUrl, const QString& programFolder,
                           std::function<void(DirectoryResult)> done, QObject* context = nullptr,
                           std::function<void(qint64 received, qint64 total)> progress = {});

}  // namespace tovira
