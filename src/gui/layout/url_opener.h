#pragma once
// Opening a web address: the about box's link and the Help menu's pages.

#include <QUrl>
#include <functional>

namespace tovira {

// Opens an address in the user's browser. The result is not checked: a
// browser that cannot be started reports nothing.
using UrlOpener = std::function<void(const QUrl&)>;

// QDesktopServices::openUrl.
UrlOpener SystemUrlOpener();

}  // namespace tovira
