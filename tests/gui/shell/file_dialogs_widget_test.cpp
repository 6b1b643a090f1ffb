#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLibraryInfo>
#include <QTest>
#include <QTimer>
#include <QTranslator>
#include <QTreeView>
#include <algorithm>

#include "gui/shell/file_dialogs.h"
#include "gui/shell/qt_translation.h"

namespace tovira {
namespace {

// The program run from its build folder (as these tests are) finds Qt's
// Chinese texts wherever Debian keeps them.
TEST(QtTranslationTest, IsFoundFromTheBuildFolder) {
    const QString programDir = QCoreApplication::applicationDirPath();
    const QStringList folders = QtTranslationFolders(programDir);
    EXPECT_TRUE(folders.contains(QStringLiteral("/usr/share/qt6/translations")));
    bool available = false;
    for (const QString& folder : folders) {
        available |= QFileInfo::exists(folder + QStringLiteral("/qtbase_zh_CN.qm"));
    }
    if (!available) GTEST_SKIP() << "qt6-translations-l10n is not installed";

    ASSERT_TRUE(InstallQtTranslation(programDir));
    const QString name = QCoreApplication::translate("QFileSystemModel", "Name");
    const QString cancel = QCoreApplication::translate("QPlatformTheme", "Cancel");
    // The other tests see Qt's English texts again.
    for (QTranslator* t : QCoreApplication::instance()->findChildren<QTranslator*>()) {
        QCoreApplication::removeTranslator(t);
        delete t;
    }
    EXPECT_EQ(name, QStringLiteral("名称"));
    EXPECT_EQ(cancel, QStringLiteral("取消"));
}

// The open dialog comes up large enough for its list, every column but the
// name as wide as its widest entry shown.
TEST(FileDialogTest, OpensAtASizeThatShowsItsColumns) {
    QWidget owner;
    owner.resize(400, 300);
    owner.show();
    QSize shown;
    bool columnsWhole = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        shown = dialog->size();
        auto* list = dialog->findChild<QTreeView*>(QStringLiteral("treeView"));
        if (list &&
            QTest::qWaitFor([&] { return list->model()->rowCount(list->rootIndex()) > 0; })) {
            QTest::qWait(50);
            columnsWhole = list->header()->count() == 4;
            const QAbstractItemModel* files = list->model();
            const int rows = std::min(files->rowCount(list->rootIndex()), 20);
            for (int c = 1; c < list->header()->count(); ++c) {
                for (int r = 0; r < rows; ++r) {
                    const QString text = files->index(r, c, list->rootIndex()).data().toString();
                    columnsWhole &= list->fontMetrics().horizontalAdvance(text) <
                                    list->header()->sectionSize(c);
                }
            }
        }
        dialog->reject();
    });
    DialogFileChooser chooser;
    EXPECT_EQ(chooser.OpenPlan(&owner), QString());
    const QSize screen = owner.screen()->availableGeometry().size();
    EXPECT_GE(shown.width(), std::min(700, screen.width() * 9 / 10));
    EXPECT_GE(shown.height(), std::min(450, screen.height() * 9 / 10));
    EXPECT_TRUE(columnsWhole);
}

}  // namespace
}  // namespace tovira
