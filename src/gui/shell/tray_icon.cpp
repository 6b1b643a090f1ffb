#include "gui/shell/tray_icon.h"

#include <QAction>
#include <QCursor>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QWidget>

#include "core/common/version.h"

namespace tovira {

QIcon AppIcon() {
    // The installed theme's icon when there is one; else the same drawing,
    // compiled into the program.
    QIcon builtIn;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        builtIn.addFile(QStringLiteral(":/icons/%1x%1/apps/tovira.png").arg(size),
                        QSize(size, size));
    }
    return QIcon::fromTheme(QStringLiteral("tovira"), builtIn);
}

QSystemTrayIcon* CreateTrayIcon(QWidget* window, std::function<void()> show,
                                std::function<void()> quit) {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return nullptr;
    auto* tray = new QSystemTrayIcon(window->windowIcon(), window);
    tray->setToolTip(QStringLiteral("Zororad") + QStringLiteral(TOVIRA_VERSION));
    auto* menu = new QMenu(window);
    QAction* showAction = menu->addAction(QStringLiteral("显示窗口"));
    showAction->setObjectName(QStringLiteral("trayShowWindow"));
    QObject::connect(showAction, &QAction::triggered, window, show);
    QAction* quitAction = menu->addAction(QStringLiteral("退出"));
    quitAction->setObjectName(QStringLiteral("trayQuit"));
    QObject::connect(quitAction, &QAction::triggered, window, quit);
    QObject::connect(tray, &QSystemTrayIcon::activated, window,
                     [window, menu, show](QSystemTrayIcon::ActivationReason r) {
                         if (r == QSystemTrayIcon::Trigger) {
                             show();
                             window->activateWindow();
                         } else if (r == QSystemTrayIcon::Context && window->isHidden()) {
                             menu->popup(QCursor::pos());
                         }
                     });
    tray->show();
    return tray;
}

}  // namespace tovira
