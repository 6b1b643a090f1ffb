#pragma once
// Small helpers shared by the tests.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <cerrno>
#include <initializer_list>
#include <memory>
#include <ostream>
#include <utility>

#include "core/common/prompt.h"
#include "core/ledger/ledger_model.h"
#include "core/storage/file_io.h"
#include "core/storage/ini_document.h"

// Readable QString values in test failures.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace tovira::test {

struct DayInput {
    const char* nav;
    const char* purchaseStatus = "";
    const char* redeemStatus = "";
    const char* action = "";
};

// Appends one row per day with dates counted from 2020/1/1.
inline void AddDays(LedgerModel& ledger, std::initializer_list<DayInput> days) {
    for (const DayInput& d : days) {
        const int row = ledger.LastRow() + 1;
        ledger.AddRow(QString::number(row));
        ledger.SetCell(row, Column::Date, QStringLiteral("2020/1/%1").arg(row));
        ledger.SetCell(row, Column::NetValue, QString::fromUtf8(d.nav));
        ledger.SetCell(row, Column::PurchaseStatus, QString::fromUtf8(d.purchaseStatus));
        ledger.SetCell(row, Column::RedeemStatus, QString::fromUtf8(d.redeemStatus));
        ledger.SetCell(row, Column::DividendAction, QString::fromUtf8(d.action));
    }
}

// Records every message and answers with scripted replies (then `fallback`).
class RecordingPrompt : public Prompt {
  public:
    QStringList texts;
    QStringList captions;
    QList<PromptAnswer> replies;
    PromptAnswer fallback = PromptAnswer::Ok;

    PromptAnswer Ask(const QString& text, const QString& caption, PromptButtons,
                     PromptIcon) override {
        texts << text;
        captions << caption;
        return replies.isEmpty() ? fallback : replies.takeFirst();
    }
};

inline QByteArray ReadFileBytes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

// Makes the folder's sync fail right after the file at path has been renamed
// into place, as when the disk does not confirm a write; every other write
// goes through. Put the saved FileSystem() back afterwards.
inline void FailFolderSyncAfterWriting(const QString& path) {
    auto renamed = std::make_shared<bool>(false);
    FileSystemCalls& fs = FileSystem();
    fs.rename = [real = fs.rename, renamed, target = QFile::encodeName(path)](const char* from,
                                                                              const char* to) {
        const int result = real(from, to);
        *renamed = result == 0 && target == to;
        return result;
    };
    fs.sync = [real = fs.sync, renamed](int fd) {
        if (!std::exchange(*renamed, false)) return real(fd);
        errno = EIO;
        return -1;
    };
}

inline QString DataPath(const char* relative) {
    return QStringLiteral(TOVIRA_TEST_DATA "/") + QString::fromUtf8(relative);
}

// The plan files of the golden back-tests, in name order.
inline QStringList GoldenPlanPaths() {
    const QDir dir(DataPath("golden"));
    QStringList paths;
    for (const QString& name : dir.entryList({QStringLiteral("*.ini")}, QDir::Files, QDir::Name)) {
        paths << dir.filePath(name);
    }
    return paths;
}

}  // namespace tovira::test
