// The program's icon comes from the theme or from the copy compiled into the
// program; Qt's own buttons read Chinese once its translations are loaded.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QLibraryInfo>
#include <QPushButton>
#include <QTranslator>

#include "gui/shell/tray_icon.h"

using namespace tovira;

TEST(AppIcon, BuiltInCopyHasEverySize) {
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        SCOPED_TRACE(size);
        EXPECT_TRUE(QFile::exists(QStringLiteral(":/icons/%1x%1/apps/tovira.png").arg(size)));
    }
    const QIcon icon = AppIcon();
    ASSERT_FALSE(icon.isNull());
    EXPECT_FALSE(icon.pixmap(32, 32).isNull());
}

TEST(QtTranslations, ButtonBoxSpeaksChinese) {
    QTranslator translator;
    if (!translator.load(QStringLiteral("qtbase_zh_CN"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        GTEST_SKIP() << "qt6-translations-l10n is not installed";
    }
    QCoreApplication::installTranslator(&translator);
    QDialogButtonBox box(QDialogButtonBox::Cancel);
    const QString text = box.button(QDialogButtonBox::Cancel)->text();
    QCoreApplication::removeTranslator(&translator);
    EXPECT_EQ(text, QStringLiteral("取消"));
}
