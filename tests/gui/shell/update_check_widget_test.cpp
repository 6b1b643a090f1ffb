// The update check and the help links against a local stand-in update server.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <memory>
#include <optional>

#include "core/common/version.h"
#include "core/marketdata/config.h"
#include "core/marketdata/http_client.h"
#include "gui/shell/help_links.h"
#include "gui/shell/qt_prompt.h"
#include "gui/shell/update_check.h"
#include "support/local_http_server.h"
#include "support/test_support.h"

using namespace tovira;

namespace {

const QString kUpToDate = QStringLiteral("您使用的已经是最新版！");
const QString kMenuFailure = QStringLiteral("无法获取更新信息！");
const QString kStartupFailure = QStringLiteral("无法获取更新！");

QString Offer(const QString& version) {
    return QStringLiteral("有其他版本：") + version + QStringLiteral("，是否下载？");
}

class UpdateCheckTest : public ::testing::Test {
  protected:
    void SetUp() override {
        http.SetTimeout(3000);
        config.SetHost(Endpoint::UpdateServer, QStringLiteral("127.0.0.1:%1").arg(server.Port()));
    }

    UrlOpener Recorder() {
        return [this](const QUrl& url) { opened << url.toString(); };
    }

    // Runs the menu check and waits for its one message.
    void FromMenu() {
        CheckForUpdate(http, config, prompt, Recorder());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !prompt.texts.isEmpty(); }, 5000));
    }

    // Runs the start-up check and waits for its result.
    StartupUpdate AtStartup() {
        std::optional<StartupUpdate> result;
        CheckForUpdateAtStartup(http, config, prompt, Recorder(),
                                [&](StartupUpdate r) { result = r; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 5000));
        return result.value_or(StartupUpdate::Continue);
    }

    QString SetupUrl() const { return server.BaseUrl() + QStringLiteral("/file/setup.exe"); }

    test::LocalHttpServer server;
    HttpClient http;
    Config config;
    test::RecordingPrompt prompt;
    QStringList opened;
};

TEST_F(UpdateCheckTest, VersionFileIsComparedWithoutSurroundingBlanksAndLineEnds) {
    for (const char* body : {TOVIRA_VERSION, TOVIRA_VERSION "\r\n", TOVIRA_VERSION "\n",
                             "  " TOVIRA_VERSION " \t\r\n\r\n"}) {
        SCOPED_TRACE(body);
        prompt.texts.clear();
        server.Answer(QStringLiteral("/file/version.txt"), body, "text/plain");
        FromMenu();
        EXPECT_EQ(prompt.texts, QStringList{kUpToDate});
        EXPECT_EQ(prompt.captions.last(), "Tovira");
    }
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_EQ(server.RequestedTargets().first(), "/file/version.txt");
}

TEST_F(UpdateCheckTest, MenuOffersAnyOtherVersionAndOpensTheDownloadOnlyOnYes) {
    // Newer and older alike: there is no ordering of versions.
    for (const char* version : {"1.8.0", "1.7.2", TOVIRA_VERSION "0", "2.0"}) {
        SCOPED_TRACE(version);
        prompt.texts.clear();
        opened.clear();
        server.Answer(QStringLiteral("/file/version.txt"), QByteArray(version) + "\r\n");
        prompt.replies = {PromptAnswer::Yes};
        FromMenu();
        EXPECT_EQ(prompt.texts, QStringList{Offer(QString::fromLatin1(version))});
        EXPECT_EQ(prompt.captions.last(), "更新提示");
        EXPECT_EQ(opened, QStringList{SetupUrl()});
    }

    opened.clear();
    prompt.texts.clear();
    prompt.replies = {PromptAnswer::No};
    FromMenu();
    QTest::qWait(50);
    EXPECT_EQ(prompt.texts, QStringList{Offer(QStringLiteral("2.0"))});
    EXPECT_TRUE(opened.isEmpty());
}

TEST_F(UpdateCheckTest, MenuReportsEveryUnusableAnswerAsAFailure) {
    struct Case {
        const char* name;
        std::function<void()> serve;
    };
    const Case cases[] = {
        {"empty body", [&] { server.Answer(QStringLiteral("/file/version.txt"), ""); }},
        {"blank body", [&] { server.Answer(QStringLiteral("/file/version.txt"), " \r\n"); }},
        {"not found",
         [&] { server.Answer(QStringLiteral("/file/version.txt"), "1.8.0", "text/plain", 404); }},
        {"dropped", [&] { server.Drop(QStringLiteral("/file/version.txt")); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.Clear();
        prompt.texts.clear();
        c.serve();
        FromMenu();
        EXPECT_EQ(prompt.texts, QStringList{kMenuFailure});
    }
    EXPECT_TRUE(opened.isEmpty());
}

TEST_F(UpdateCheckTest, StartupIsSilentWhenCurrentAndQuitsOnlyWhenDownloading) {
    server.Answer(QStringLiteral("/file/version.txt"), TOVIRA_VERSION "\r\n");
    EXPECT_EQ(AtStartup(), StartupUpdate::Continue);
    EXPECT_TRUE(prompt.texts.isEmpty());

    server.Answer(QStringLiteral("/file/version.txt"), "1.8.0\r\n");
    prompt.replies = {PromptAnswer::No};
    EXPECT_EQ(AtStartup(), StartupUpdate::Continue);
    EXPECT_EQ(prompt.texts, QStringList{Offer(QStringLiteral("1.8.0"))});
    EXPECT_TRUE(opened.isEmpty());

    prompt.texts.clear();
    prompt.replies = {PromptAnswer::Yes};
    EXPECT_EQ(AtStartup(), StartupUpdate::Quit);
    EXPECT_EQ(prompt.texts, QStringList{Offer(QStringLiteral("1.8.0"))});
    EXPECT_EQ(opened, QStringList{SetupUrl()});
}

TEST_F(UpdateCheckTest, StartupFailureHasItsOwnMessageAndGoesOn) {
    server.Answer(QStringLiteral("/file/version.txt"), "");
    EXPECT_EQ(AtStartup(), StartupUpdate::Continue);
    EXPECT_EQ(prompt.texts, QStringList{kStartupFailure});
}

TEST_F(UpdateCheckTest, WithoutAnUpdateServerNothingIsRequested) {
    config.SetHost(Endpoint::UpdateServer, QString());

    CheckForUpdate(http, config, prompt, Recorder());
    EXPECT_EQ(prompt.texts, QStringList{kMenuFailure});

    prompt.texts.clear();
    bool called = false;
    CheckForUpdateAtStartup(http, config, prompt, Recorder(), [&](StartupUpdate r) {
        called = true;
        EXPECT_EQ(r, StartupUpdate::Continue);
    });
    EXPECT_FALSE(called);  // reported from the event loop, like every result
    EXPECT_TRUE(QTest::qWaitFor([&] { return called; }, 1000));
    EXPECT_TRUE(prompt.texts.isEmpty());
    EXPECT_EQ(server.Requests(), 0);
}

TEST_F(UpdateCheckTest, SilentServerFailsWhenTheTimeLimitRunsOut) {
    server.Hang(QStringLiteral("/file/version.txt"));
    http.SetTimeout(300);

    QElapsedTimer clock;
    clock.start();
    std::optional<StartupUpdate> result;
    CheckForUpdateAtStartup(http, config, prompt, Recorder(), [&](StartupUpdate r) { result = r; });
    // The start-up check does not hold the window back.
    EXPECT_LT(clock.elapsed(), 200);
    EXPECT_FALSE(result.has_value());
    ASSERT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 5000));
    EXPECT_GE(clock.elapsed(), 250);
    EXPECT_EQ(*result, StartupUpdate::Continue);
    EXPECT_EQ(prompt.texts, QStringList{kStartupFailure});

    prompt.texts.clear();
    FromMenu();
    EXPECT_EQ(prompt.texts, QStringList{kMenuFailure});
}

TEST_F(UpdateCheckTest, NothingIsShownOnceTheWindowIsGone) {
    server.Answer(QStringLiteral("/file/version.txt"), "1.8.0", "text/plain", 200, 100);
    auto window = std::make_unique<QObject>();
    bool called = false;
    CheckForUpdate(http, config, prompt, Recorder(), window.get());
    CheckForUpdateAtStartup(
        http, config, prompt, Recorder(), [&](StartupUpdate) { called = true; }, window.get());
    window.reset();
    QTest::qWait(400);
    EXPECT_TRUE(prompt.texts.isEmpty());
    EXPECT_FALSE(called);
}

TEST_F(UpdateCheckTest, OneCheckAtATime) {
    // Clicks while a check waits, and the start-up check meanwhile, send no
    // further request and stack no further box.
    server.Answer(QStringLiteral("/file/version.txt"), "1.8.0", "text/plain", 200, 300);
    prompt.replies = {PromptAnswer::No};
    std::optional<StartupUpdate> startup;
    CheckForUpdate(http, config, prompt, Recorder());
    CheckForUpdate(http, config, prompt, Recorder());
    CheckForUpdateAtStartup(http, config, prompt, Recorder(),
                            [&](StartupUpdate r) { startup = r; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !prompt.texts.isEmpty(); }, 5000));
    QTest::qWait(400);
    EXPECT_EQ(server.Requests(), 1);
    EXPECT_EQ(prompt.texts, QStringList{Offer(QStringLiteral("1.8.0"))});
    EXPECT_EQ(startup, StartupUpdate::Continue);

    // Once it is over, the next click checks again.
    prompt.texts.clear();
    FromMenu();
    EXPECT_EQ(server.Requests(), 2);
}

TEST(QtPromptTest, TextsAreShownAsPlainText) {
    // A version file may hold anything, markup too.
    QtPrompt prompt(nullptr);
    std::optional<Qt::TextFormat> format;
    QString shown;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box || !box->isVisible()) continue;
            poll.stop();
            format = box->textFormat();
            shown = box->text();
            box->button(QMessageBox::No)->click();
        }
    });
    poll.start();
    const QString text = Offer(QStringLiteral("<html><b>9.9.9</b></html>"));
    EXPECT_EQ(prompt.Ask(text, QStringLiteral("更新提示"), PromptButtons::YesNo, PromptIcon::None),
              PromptAnswer::No);
    EXPECT_EQ(format, Qt::PlainText);
    EXPECT_EQ(shown, text);
}

// Keys typed ahead (the rest of a fund code and its Enter) reach the box:
// a question has no default answer for them to pick; a message still closes.
TEST(QtPromptTest, AnEnterTypedAheadAnswersNoQuestion) {
    for (const PromptButtons buttons : {PromptButtons::YesNo, PromptButtons::YesNoCancel}) {
        QtPrompt prompt(nullptr);
        int enters = 0;
        QTimer poll;
        poll.setInterval(10);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible()) return;
            if (enters < 3) {
                QWidget* focus = QApplication::focusWidget();
                QTest::keyClicks(focus ? focus : box, QStringLiteral("25"));
                QTest::keyClick(focus ? focus : box, Qt::Key_Return);
                ++enters;
                return;
            }
            poll.stop();
            box->button(QMessageBox::No)->click();
        });
        poll.start();
        EXPECT_EQ(prompt.Ask(QStringLiteral("是否保存数据？"), QStringLiteral("提示"), buttons,
                             PromptIcon::None),
                  PromptAnswer::No);
        EXPECT_EQ(enters, 3);
    }
}

TEST(HelpLinks, OpenTheirPagesOrSayWhichAddressIsMissing) {
    Config config;
    config.SetHost(Endpoint::UpdateServer, QStringLiteral("update.example:8080"));
    config.SetHost(Endpoint::ContactPage, QStringLiteral("im.example/contact?uin=42"));
    config.SetHost(Endpoint::UserGroupPage, QStringLiteral("http://group.example/join/"));
    test::RecordingPrompt prompt;
    QStringList opened;
    const UrlOpener record = [&](const QUrl& url) { opened << url.toString(); };

    for (HelpLink link :
         {HelpLink::Instructions, HelpLink::DecimalsHelp, HelpLink::ContactMe, HelpLink::JoinUs}) {
        OpenHelpLink(link, config, prompt, record);
    }
    EXPECT_EQ(opened,
              QStringList({"http://update.example:8080/help.html",
                           "http://update.example:8080/help.html#otherquestion",
                           "http://im.example/contact?uin=42", "http://group.example/join"}));
    EXPECT_TRUE(prompt.texts.isEmpty());

    opened.clear();
    config.SetHost(Endpoint::UpdateServer, QString());
    config.SetHost(Endpoint::UserGroupPage, QString());
    OpenHelpLink(HelpLink::DecimalsHelp, config, prompt, record);
    OpenHelpLink(HelpLink::JoinUs, config, prompt, record);
    EXPECT_TRUE(opened.isEmpty());
    ASSERT_EQ(prompt.texts.size(), 2);
    EXPECT_TRUE(prompt.texts[0].contains("UpdateServer")) << prompt.texts[0].toStdString();
    EXPECT_TRUE(prompt.texts[1].contains("UserGroupPage")) << prompt.texts[1].toStdString();
}

}  // namespace
