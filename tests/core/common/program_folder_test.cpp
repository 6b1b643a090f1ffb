// Where the program keeps its files: beside a writable, uninstalled
// executable, else in the user's data folder, which is created.

#include "core/common/program_folder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace tovira;

namespace {

struct Layout {
    const char* name;
    bool desktopEntry;  // share/applications/tovira.desktop beside bin/
    bool userFolder;    // the program folder is the user's data folder
};

TEST(ProgramFolder, BuiltOrUnpackedStaysBesideInstalledMovesOut) {
    const Layout cases[] = {
        {"build or unpacked folder", false, false},
        {"installed prefix", true, true},
    };
    for (const Layout& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir root;
        ASSERT_TRUE(root.isValid());
        const QString bin = root.filePath(QStringLiteral("usr/bin"));
        ASSERT_TRUE(QDir().mkpath(bin));
        if (c.desktopEntry) {
            ASSERT_TRUE(QDir().mkpath(root.filePath(QStringLiteral("usr/share/applications"))));
            QFile entry(root.filePath(QStringLiteral("usr/share/applications/tovira.desktop")));
            ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
        }
        const QString data = root.filePath(QStringLiteral("home/.local/share/Tovira"));
        const QString chosen = ChooseProgramFolder(bin, data);
        EXPECT_EQ(chosen, c.userFolder ? data : bin);
        EXPECT_EQ(QDir(data).exists(), c.userFolder);
        // The write probe leaves nothing behind.
        EXPECT_TRUE(QDir(bin).entryList(QDir::Files | QDir::Hidden).isEmpty());
    }
}

TEST(ProgramFolder, ReadOnlyFolderMovesOut) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString bin = root.filePath(QStringLiteral("bin"));
    ASSERT_TRUE(QDir().mkpath(bin));
    QFile::setPermissions(bin, QFile::ReadOwner | QFile::ExeOwner);
    QFile probe(QDir(bin).filePath(QStringLiteral("probe")));
    if (probe.open(QIODevice::WriteOnly)) {
        probe.remove();
        GTEST_SKIP() << "running with rights that ignore folder permissions";
    }
    const QString data = root.filePath(QStringLiteral("data"));
    EXPECT_EQ(ChooseProgramFolder(bin, data), data);
    EXPECT_TRUE(QDir(data).exists());
    QFile::setPermissions(bin, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

}  // namespace
