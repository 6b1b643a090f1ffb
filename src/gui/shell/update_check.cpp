#include "gui/shell/update_check.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <memory>

#include "core/marketdata/config.h"
#include "core/marketdata/http_client.h"

namespace tovira {

namespace {

const char* const kVersionPath = "/file/version.txt";
const char* const kSetupPath = "/file/setup.exe";
const char* const kUpdateCaption = "更新提示";
const char* const kMenuFailure = "无法获取更新信息！";
const char* const kStartupFailure = "无法获取更新！";
const char* const kUpToDate = "您使用的已经是最新版！";

enum class Origin { Menu, Startup };

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

// What the user chose about the server's answer.
enum class Outcome { Failed, Current, Declined, Downloading };

// Shows what the answer calls for and opens the download on Yes.
Outcome Answer(Origin origin, const HttpResponse& response, const QString& base, Prompt& prompt,
               const UrlOpener& open) {
    const QString newest = NewestVersionFrom(response);
    if (newest.isEmpty()) {
        prompt.Inform(Text(origin == Origin::Menu ? kMenuFailure : kStartupFailure));
        return Outcome::Failed;
    }
    if (newest == CurrentVersionText()) {
        if (origin == Origin::Menu) prompt.Inform(Text(kUpToDate));
        return Outcome::Current;
    }
    // Any other text is offered, older versions too: the server decides
    // which version users should have.
    const QString question = Text("有其他版本：") + newest + Text("，是否下载？");
    if (prompt.Ask(question, Text(kUpdateCaption), PromptButtons::YesNo, PromptIcon::None) !=
        PromptAnswer::Yes) {
        return Outcome::Declined;
    }
    (open ? open : SystemUrlOpener())(QUrl(base + Text(kSetupPath)));
    return Outcome::Downloading;
}

// One update check at a time, from the menu and at start-up alike: while one
// waits for its answer or shows its box, another click does nothing, so
// requests and boxes do not stack up. The token is held by the request's
// callback, so a check whose answer never comes frees the slot as well.
class CheckToken {
  public:
    static std::shared_ptr<CheckToken> Take() {
        if (running_) return nullptr;
        running_ = true;
        return std::shared_ptr<CheckToken>(new CheckToken);
    }
    ~CheckToken() { Release(); }
    CheckToken(const CheckToken&) = delete;
    CheckToken& operator=(const CheckToken&) = delete;
    void Release() {
        if (released_) return;
        released_ = true;
        running_ = false;
    }

  private:
    CheckToken() = default;
    static inline bool running_ = false;
    bool released_ = false;
};

}  // namespace

QString NewestVersionFrom(const HttpResponse& response) {
    if (!response.ok || response.status < 200 || response.status > 299) return {};
    // A version file saved by an editor usually ends with a line break.
    return response.text.trimmed();
}

void CheckForUpdate(HttpClient& http, const Config& config, Prompt& prompt, const UrlOpener& open,
                    QObject* context) {
    const QString base = config.BaseUrl(Endpoint::UpdateServer);
    if (base.isEmpty()) {
        prompt.Inform(Text(kMenuFailure));
        return;
    }
    const std::shared_ptr<CheckToken> token = CheckToken::Take();
    if (!token) return;  // a check is already under way
    http.Get(
        QUrl(base + Text(kVersionPath)),
        [base, &prompt, open, token](const HttpResponse& response) {
            Answer(Origin::Menu, response, base, prompt, open);
            token->Release();
        },
        context);
}

void CheckForUpdateAtStartup(HttpClient& http, const Config& config, Prompt& prompt,
                             const UrlOpener& open, std::function<void(StartupUpdate)> done,
                             QObject* context) {
    auto report = [done](StartupUpdate result) {
        if (done) done(result);
    };
    const QString base = config.BaseUrl(Endpoint::UpdateServer);
    const std::shared_ptr<CheckToken> token = base.isEmpty() ? nullptr : CheckToken::Take();
    if (!token) {
        // Nothing to ask, or a check is under way already; still report from
        // the event loop, as after a check.
        QObject* receiver = context ? context : QCoreApplication::instance();
        QTimer::singleShot(0, receiver, [report] { report(StartupUpdate::Continue); });
        return;
    }
    http.Get(
        QUrl(base + Text(kVersionPath)),
        [base, &prompt, open, report, token](const HttpResponse& response) {
            const Outcome outcome = Answer(Origin::Startup, response, base, prompt, open);
            token->Release();
            report(outcome == Outcome::Downloading ? StartupUpdate::Quit : StartupUpdate::Continue);
        },
        context);
}

}  // namespace tovira
