#pragma once
// The update check against "/file/version.txt" on the update server, from the
// Help menu ("检查更新") and once at start-up. Both are asynchronous: the
// request runs while the window keeps working, and the message or question
// comes when the answer arrives or the HTTP client's time limit runs out.

#include <QString>
#include <functional>

#include "core/common/prompt.h"
#include "core/common/version_text.h"
#include "gui/shell/help_links.h"

class QObject;

namespace tovira {

class Config;
class HttpClient;
struct HttpResponse;

// The version the update server names: the body without the blanks and line
// ends around it. Empty when there is no usable answer (no connection, the
// time limit, a status other than 2xx, a blank body): the check then fails.
QString NewestVersionFrom(const HttpResponse& response);

// From the menu. "您使用的已经是最新版！" when the server names the running
// version; otherwise the question "有其他版本：…，是否下载？" (Yes opens
// "/file/setup.exe" through `open`, the browser when empty); "无法获取更新信息！"
// when there is no answer or no update server is configured (then at once).
// Nothing is shown once `context` is destroyed; `prompt` must live as long.
// One check at a time: while one (from here or at start-up) waits or shows
// its box, this does nothing.
void CheckForUpdate(HttpClient& http, const Config& config, Prompt& prompt,
                    const UrlOpener& open = {}, QObject* context = nullptr);

enum class StartupUpdate {
    Continue,  // go on running
    Quit,      // the user is downloading the new version: end the process
};

// At start-up: the same check, silent when the version is current and skipped
// without a message when no update server is configured; a failure shows
// "无法获取更新！". Yes to the question opens the download and reports Quit.
// Returns at once; `done` is called exactly once, always later from the event
// loop (not at all when `context` is destroyed first).
void CheckForUpdateAtStartup(HttpClient& http, const Config& config, Prompt& prompt,
                             const UrlOpener& open, std::function<void(StartupUpdate)> done,
                             QObject* context = nullptr);

}  // namespace tovira
