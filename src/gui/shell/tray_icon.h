#pragma once
// The program's icon and its place in the notification area.

#include <QIcon>
#include <functional>

class QSystemTrayIcon;
class QWidget;

namespace tovira {

// The program's icon (the installed "tovira" of the icon theme, else the
// copy built into the program) for the window and the notification area.
QIcon AppIcon();

// The notification-area icon of a window, shown at once, with its menu
// (显示窗口, 退出). A click on the icon shows the window; the menu comes up
// while the window is hidden. Null where no notification area exists: the
// window then minimises as usual.
QSystemTrayIcon* CreateTrayIcon(QWidget* window, std::function<void()> show,
                                std::function<void()> quit);

}  // namespace tovira
