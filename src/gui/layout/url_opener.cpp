#include "gui/layout/url_opener.h"

#include <QDesktopServices>

namespace tovira {

UrlOpener SystemUrlOpener() {
    return [](const QUrl& url) { QDesktopServices::openUrl(url); };
}

}  // namespace tovira
