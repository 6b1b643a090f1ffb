#include "core/marketdata/fund_directory.h"

#include <QFile>
#include <QStringTokenizer>
#include <QUrl>

#include "core/common/single_line_text.h"
#include "core/marketdata/http_client.h"
#include "core/storage/file_io.h"
#include "core/storage/ini_document.h"

namespace tovira {

namespace {

const char* const kDirectorySection = "基金代码";

}  // namespace

std::optional<QVector<std::pair<QString, QString>>> ParseFundDirectory(const QString& script) {
    const qsizetype open = script.indexOf(QLatin1String("[["));
    if (open < 0) return std::nullopt;
    const qsizetype from = open + 2;
    const qsizetype close = script.indexOf(QLatin1String("]]"), from);
    if (close < 0) return std::nullopt;
    const QStringView list = QStringView(script).mid(from, close - from);

    QVector<std::pair<QString, QString>> entries;
    entries.reserve(list.count(QLatin1String("],[")) + 1);
    for (const QStringView entry : QStringTokenizer(list, QLatin1String("],["))) {
        // Pieces at double quotes: piece 1 is the code, piece 5 the name. The
        // name runs to the sixth quote or, without one, to the entry's end.
        qsizetype quotes[6];
        int found = 0;
        for (qsizetype at = entry.indexOf(QLatin1Char('"')); at >= 0 && found < 6;
             at = entry.indexOf(QLatin1Char('"'), at + 1)) {
            quotes[found++] = at;
        }
        if (found < 5) return std::nullopt;
        const qsizetype nameEnd = found == 6 ? quotes[5] : entry.size();
        // A line break in a code or name would break FundCode.ini's lines.
        entries.append(
            {StripControlCharacters(entry.mid(quotes[0] + 1, quotes[1] - quotes[0] - 1).toString()),
             StripControlCharacters(entry.mid(quotes[4] + 1, nameEnd - quotes[4] - 1).toString())});
    }
    return entries;
}

bool WriteFundDirectory(const QString& programFolder,
                        const QVector<std::pair<QString, QString>>& entries) {
    const QString cachePath = programFolder + QStringLiteral("/Cache.ini");
    const QString directoryPath = programFolder + QStringLiteral("/FundCode.ini");

    // Cache.ini left by a failed attempt is merged into, not started afresh.
    IniDocument cache;
    cache.Load(cachePath);
    const QString section = QString::fromUtf8(kDirectorySection);
    for (const auto& [code, name] : entries) cache.SetValue(section, code, name);

    const std::optional<QByteArray> bytes = cache.ToBytes();
    if (!bytes || !WriteFileAtomically(cachePath, *bytes)) return false;
    // Cache.ini becomes FundCode.ini. Replacing FundCode.ini in one atomic
    // step (rather than deleting it and renaming Cache.ini) means a failure
    // at any point leaves the old directory whole.
    if (!WriteFileAtomically(directoryPath, *bytes)) return false;
    QFile::remove(cachePath);
    return true;
}

void DownloadFundDirectory(HttpClient& client, const QString& baseUrl, const QString& programFolder,
                           std::function<void(DirectoryResult)> done, QObject* context,
                           std::function<void(qint64, qint64)> progress) {
    const QUrl url(baseUrl + QStringLiteral("/js/fundcode_search.js"));
    client.Get(
        url,
        [programFolder, done = std::move(done)](const HttpResponse& response) {
            if (response.timedOut) {
                done(DirectoryResult::TimedOut);
                return;
            }
            // An error page is never the directory, whatever it holds.
            if (!response.ok || response.status < 200 || response.status > 299) {
                done(DirectoryResult::Failed);
                return;
            }
            const auto entries = ParseFundDirectory(response.text);
            const bool written = entries && WriteFundDirectory(programFolder, *entries);
            done(written ? DirectoryResult::Updated : DirectoryResult::Failed);
        },
        context, 0, std::move(progress));
}

}  // namespace tovira
