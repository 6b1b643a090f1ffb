#pragma once
// Checks made before a command writes into a file the user named, so that
// nothing saved is replaced by mistake: whether two names are one file, and
// whether an existing file is a plan.

#include <QString>

namespace tovira {

// Whether a and b name the same existing file: the same canonical path, or
// the same device and inode (symbolic links followed, hard links included).
bool IsSameFile(const QString& a, const QString& b);

// What the file at path is to a writer of plan sections.
enum class PlanFileKind {
    Missing,     // nothing there
    Empty,       // a regular file of 0 bytes, as good as a new one
    Plan,        // it has a 设置, 特殊数据 or "第N行" section
    NotPlan,     // a readable regular file with none of them
    Unreadable,  // not a regular file (links followed), or it cannot be read
};
PlanFileKind PlanFileKindOf(const QString& path);

}  // namespace tovira
