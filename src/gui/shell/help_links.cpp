#include "gui/shell/help_links.h"

#include "core/marketdata/config.h"

namespace tovira {

namespace {

Endpoint EndpointOf(HelpLink link) {
    switch (link) {
        case HelpLink::Instructions:
        case HelpLink::DecimalsHelp:
            return Endpoint::UpdateServer;
        case HelpLink::ContactMe:
            return Endpoint::ContactPage;
        case HelpLink::JoinUs:
            return Endpoint::UserGroupPage;
    }
    return Endpoint::WebSite;
}

// The path on the host; the contact and group pages are whole addresses.
const char* PathOf(HelpLink link) {
    switch (link) {
        case HelpLink::Instructions:
            return "/help.html";
        case HelpLink::DecimalsHelp:
            return "/help.html#otherquestion";
        case HelpLink::ContactMe:
        case HelpLink::JoinUs:
            return "";
    }
    return "";
}

}  // namespace

QUrl HelpLinkUrl(HelpLink link, const Config& config) {
    const QString base = config.BaseUrl(EndpointOf(link));
    if (base.isEmpty()) return {};
    return QUrl(base + QString::fromLatin1(PathOf(link)));
}

void OpenHelpLink(HelpLink link, const Config& config, Prompt& prompt, const UrlOpener& open) {
    const QUrl url = HelpLinkUrl(link, config);
    if (url.isEmpty()) {
        // Opening a bare "http://" would only show the browser's error page.
        prompt.Inform(
            QStringLiteral("没有设置此页面的网址，请在程序文件夹中 Config.ini 的 [服务器] "
                           "一节填写 %1。")
                .arg(Config::KeyOf(EndpointOf(link))));
        return;
    }
    (open ? open : SystemUrlOpener())(url);
}

}  // namespace tovira
