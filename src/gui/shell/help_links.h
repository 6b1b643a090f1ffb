#pragma once
// The Help menu's links to pages of the program's web site, the user guide on
// the update server, the contact page and the user group. Every address comes
// from Config.ini; a page whose host is not set there is not opened.

#include <QString>
#include <QUrl>

#include "core/common/prompt.h"
#include "gui/layout/url_opener.h"

namespace tovira {

class Config;

enum class HelpLink {
    Instructions,  // "使用说明": the user guide, "/help.html" on the update server
    DecimalsHelp,  // "小数没"0"": its section on other questions
    ContactMe,     // "联系作者": the contact page
    JoinUs,        // "加入我们": the user group's page
};

// The page's address; empty when its host is not configured.
QUrl HelpLinkUrl(HelpLink link, const Config& config);

// Opens the page through `open` (the system's browser when empty), or tells
// the user which Config.ini key to fill in when the address is not set.
void OpenHelpLink(HelpLink link, const Config& config, Prompt& prompt, const UrlOpener& open = {});

}  // namespace tovira
