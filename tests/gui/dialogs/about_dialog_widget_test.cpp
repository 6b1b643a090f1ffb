// The about box: its texts and size, and the link to the web site.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QTest>

#include "core/common/version.h"
#include "gui/dialogs/about_dialog.h"
#include "gui/layout/twips.h"
#include "support/test_support.h"

using namespace tovira;

namespace {

const QColor kBlue(0, 0, 255);
const QColor kBlack(0, 0, 0);

QColor LinkColour(const AboutDialog& box) {
    return box.WebSiteLink()->palette().color(QPalette::WindowText);
}

// A pointer move without buttons, as the window system sends it.
void MovePointer(QWidget* over, QPoint at) {
    QMouseEvent move(QEvent::MouseMove, at, over->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(over, &move);
}

class AboutFormTest : public ::testing::Test {
  protected:
    void SetUp() override {
        QPixmap icon(32, 32);
        icon.fill(Qt::darkBlue);
        owner.setWindowIcon(QIcon(icon));
        owner.setGeometry(100, 100, 800, 600);
    }

    UrlOpener Recorder() {
        return [this](const QUrl& url) { opened << url.toString(); };
    }

    QWidget owner;
    QStringList opened;
};

TEST_F(AboutFormTest, ShowsTheProgramsTextsInTheDesignSize) {
    AboutDialog box(QStringLiteral("http://www.example.com"), Recorder(), &owner);
    EXPECT_EQ(box.windowTitle(), "关于 Tovira");
    EXPECT_EQ(box.TitleLabel()->text(), "Tovira");
    EXPECT_EQ(box.VersionLabel()->text(), "版本：" TOVIRA_VERSION);
    EXPECT_EQ(box.DescriptionLabel()->text(), "官网：");
    EXPECT_EQ(box.WebSiteLink()->text(), "http://www.example.com");
    EXPECT_EQ(box.DisclaimerLabel()->text(), "警告：基金有风险，投资需谨慎！");
    EXPECT_FALSE(box.picIcon()->pixmap().isNull());

    // Fixed client area of 3405 x 3060 twips, no minimise or maximise button.
    EXPECT_EQ(box.minimumSize(), QSize(TwipsToPixels(3405), TwipsToPixels(3060)));
    EXPECT_EQ(box.maximumSize(), box.minimumSize());
    EXPECT_FALSE(box.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
}

TEST_F(AboutFormTest, LinkIsBlueUnderThePointerAndBlackOverTheRestOfTheBox) {
    AboutDialog box(QStringLiteral("http://www.example.com"), Recorder(), &owner);
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    EXPECT_EQ(LinkColour(box), kBlack);

    MovePointer(box.WebSiteLink(), QPoint(5, 5));
    EXPECT_EQ(LinkColour(box), kBlue);
    // Over the bare box, and over another label, it turns black again.
    MovePointer(&box, QPoint(2, box.height() - 2));
    EXPECT_EQ(LinkColour(box), kBlack);
    MovePointer(box.WebSiteLink(), QPoint(5, 5));
    MovePointer(box.DisclaimerLabel(), QPoint(5, 5));
    EXPECT_EQ(LinkColour(box), kBlack);

    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(box.WebSiteLink(), &enter);
    EXPECT_EQ(LinkColour(box), kBlue);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(box.WebSiteLink(), &leave);
    EXPECT_EQ(LinkColour(box), kBlack);
    EXPECT_TRUE(opened.isEmpty());
}

TEST_F(AboutFormTest, ClickingTheLinkOpensTheWebSite) {
    AboutDialog box(QStringLiteral("http://www.example.com"), Recorder(), &owner);
    box.show();
    QTest::mouseClick(box.DisclaimerLabel(), Qt::LeftButton);
    EXPECT_TRUE(opened.isEmpty());
    QTest::mouseClick(box.WebSiteLink(), Qt::LeftButton);
    EXPECT_EQ(opened, QStringList{"http://www.example.com"});
}

TEST_F(AboutFormTest, WithoutAWebSiteTheLinkIsBlankAndInert) {
    AboutDialog box(QString(), Recorder(), &owner);
    box.show();
    EXPECT_TRUE(box.WebSiteLink()->text().isEmpty());
    EXPECT_FALSE(box.WebSiteLink()->isEnabled());
    MovePointer(box.WebSiteLink(), QPoint(5, 5));
    QTest::mouseClick(box.WebSiteLink(), Qt::LeftButton);
    EXPECT_NE(LinkColour(box), kBlue);
    EXPECT_TRUE(opened.isEmpty());
}

TEST_F(AboutFormTest, AskingAgainBringsBackTheSameBoxCentredOnItsOwner) {
    owner.show();
    AboutDialog* first =
        ShowAboutDialog(&owner, QStringLiteral("http://www.example.com"), Recorder());
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->isVisible());
    EXPECT_FALSE(first->isModal());
    EXPECT_LE((first->frameGeometry().center() - owner.frameGeometry().center()).manhattanLength(),
              4);

    first->close();
    EXPECT_FALSE(first->isVisible());
    EXPECT_EQ(ShowAboutDialog(&owner, QStringLiteral("http://www.example.com"), Recorder()), first);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(ShowAboutDialog(&owner, QStringLiteral("http://www.example.com"), Recorder()), first);
    EXPECT_EQ(owner.findChildren<AboutDialog*>().size(), 1);
}

}  // namespace
