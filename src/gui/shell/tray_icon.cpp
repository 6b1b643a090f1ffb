#include "gui/shell/tray_icon.h"

#include <QAction>
#include <QCursor>
#include <QMenu>
#include <QPainter>
#include <QSystemTrayIcon>
#include <QWidget>

#include "core/common/version.h"

namespace tovira {

QIcon AppIcon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(0x1F, 0x4E, 0x8C));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(1, 1, 30, 30, 6, 6);
    p.setPen(QPen(QColor(255, 80, 80), 3));
    const QPointF line[] = {{6, 22}, {12, 15}, {18, 19}, {26, 8}};
    p.drawPolyline(line, 4);
    return QIcon(pixmap);
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
