#include "core/storage/fund_selection.h"

#include <QDir>
#include <QFileInfo>

#include "core/common/version.h"
#include "core/storage/ini_document.h"

namespace tovira {
namespace {

QString HistoryPath(const QString& folder) {
    return QDir(folder).filePath(QStringLiteral("History.ini"));
}
const QString kHistorySection = QStringLiteral("查询历史");

}  // namespace

QString FundName(const QString& programFolder, const QString& code) {
    const QString path = QDir(programFolder).filePath(QStringLiteral("FundCode.ini"));
    if (!QFileInfo::exists(path)) return {};
    IniDocument doc;
    doc.Load(path);
    return doc.Value(QStringLiteral("基金代码"), code);
}

QString WindowTitle(const QString& code, const QString& name) {
    return QStringLiteral("Zororad") + QStringLiteral(TOVIRA_VERSION) + QStringLiteral(" - ") +
           code + QLatin1Char(' ') + name;
}

QStringList LoadQueryHistory(const QString& programFolder) {
    QStringList entries;
    IniDocument doc;
    if (!doc.Load(HistoryPath(programFolder))) return entries;
    for (int n = 1; n <= 32767; ++n) {
        const QString value = doc.Value(kHistorySection, QStringLiteral("FundCode%1").arg(n));
        if (value.isEmpty()) break;
        entries << value;
    }
    return entries;
}

bool SaveQueryHistory(const QString& programFolder, const QStringList& entries, bool fresh) {
    const QString path = HistoryPath(programFolder);
    IniDocument doc;
    if (!fresh) doc.Load(path);
    for (int n = 0; n < entries.size(); ++n) {
        doc.SetValue(kHistorySection, QStringLiteral("FundCode%1").arg(n + 1), entries[n]);
    }
    return doc.Save(path);
}

}  // namespace tovira
