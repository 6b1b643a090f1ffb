#include "core/storage/file_guards.h"

#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>

#include "core/common/gbk_codec.h"
#include "core/storage/ini_document.h"

namespace tovira {
namespace {

QByteArray Gbk(const char* utf8) {
    return EncodeGbk(QString::fromUtf8(utf8)).value_or(QByteArray());
}

// "第N行" with N one or more digits, as the file holds it.
bool IsRowSection(QByteArrayView name) {
    static const QByteArray prefix = Gbk("第");
    static const QByteArray suffix = Gbk("行");
    if (name.size() <= prefix.size() + suffix.size() || !name.startsWith(prefix) ||
        !name.endsWith(suffix)) {
        return false;
    }
    const QByteArrayView digits =
        name.sliced(prefix.size(), name.size() - prefix.size() - suffix.size());
    for (const char c : digits) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

}  // namespace

bool IsSameFile(const QString& a, const QString& b) {
    const QString canonicalA = QFileInfo(a).canonicalFilePath();
    const QString canonicalB = QFileInfo(b).canonicalFilePath();
    if (canonicalA.isEmpty() || canonicalB.isEmpty()) return false;
    if (canonicalA == canonicalB) return true;
    struct stat infoA {};
    struct stat infoB {};
    return ::stat(QFile::encodeName(a).constData(), &infoA) == 0 &&
           ::stat(QFile::encodeName(b).constData(), &infoB) == 0 && infoA.st_dev == infoB.st_dev &&
           infoA.st_ino == infoB.st_ino;
}

PlanFileKind PlanFileKindOf(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists()) return PlanFileKind::Missing;
    if (!info.isFile()) return PlanFileKind::Unreadable;
    if (info.size() == 0) return PlanFileKind::Empty;
    static const QByteArray settings = Gbk("设置");
    static const QByteArray special = Gbk("特殊数据");
    bool plan = false;
    // Only the section headers tell: a large file that is no plan (an
    // export written before) is looked through fast.
    const bool read =
        IniDocument::ScanSections(path, [&](const IniDocument::Line& line, QByteArrayView) {
            if (plan || line.kind != IniDocument::Line::Kind::Section) return;
            plan = IniDocument::SameName(line.name, settings) ||
                   IniDocument::SameName(line.name, special) || IsRowSection(line.name);
        });
    if (!read) return PlanFileKind::Unreadable;
    return plan ? PlanFileKind::Plan : PlanFileKind::NotPlan;
}

}  // namespace tovira
