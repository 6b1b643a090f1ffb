#include "gui/dialogs/about_dialog.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <utility>

#include "core/common/prompt.h"
#include "core/common/version_text.h"
#include "gui/layout/twips.h"

namespace tovira {

namespace {

// Design client area in twips.
constexpr double kClientWidth = 3405;
constexpr double kClientHeight = 3060;

const QColor kLinkHover(0, 0, 255);
const QColor kLinkNormal(0, 0, 0);

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, const QRect& rect) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(rect);
    // Moves over the labels reach the box, so the link turns black over them
    // as over the bare box.
    label->setMouseTracking(true);
    return label;
}

}  // namespace

AboutDialog::AboutDialog(const QString& webSite, UrlOpener open, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      webSite_(webSite),
      open_(open ? std::move(open) : SystemUrlOpener()) {
    setObjectName(QStringLiteral("AboutDialog"));
    const QString title = QString::fromLatin1(kAppCaption);
    setWindowTitle(QStringLiteral("关于 ") + title);
    setFont(WindowFont());
    setFixedSize(TwipsToPixels(kClientWidth), TwipsToPixels(kClientHeight));
    setMouseTracking(true);

    picIcon_ = MakeLabel(this, "picIcon", QString(), TwipsRect(360, 420, 540, 540));
    const QIcon icon = owner ? owner->windowIcon() : QApplication::windowIcon();
    if (!icon.isNull()) picIcon_->setPixmap(icon.pixmap(picIcon_->size()));

    titleLabel_ = MakeLabel(this, "titleLabel", title, TwipsRect(1140, 375, 2145, 375));
    QFont titleFont = font();
    titleFont.setPointSize(12);
    titleFont.setBold(true);
    titleLabel_->setFont(titleFont);

    versionLabel_ = MakeLabel(this, "versionLabel", QStringLiteral("版本：") + CurrentVersionText(),
                              TwipsRect(1140, 780, 2145, 300));

    descriptionLabel_ = MakeLabel(this, "descriptionLabel", QStringLiteral("官网："),
                                  TwipsRect(360, 1560, 600, 300));

    webSiteLink_ = MakeLabel(this, "webSiteLink", webSite_, TwipsRect(900, 1560, 2385, 300));
    if (webSite_.isEmpty()) {
        // No address configured: nothing to show or open.
        webSiteLink_->setEnabled(false);
    } else {
        webSiteLink_->setCursor(Qt::PointingHandCursor);
        webSiteLink_->setToolTip(webSite_);
    }
    webSiteLink_->installEventFilter(this);
    ColourLink(kLinkNormal);

    disclaimerLabel_ =
        MakeLabel(this, "disclaimerLabel", QStringLiteral("警告：基金有风险，投资需谨慎！"),
                  TwipsRect(360, 2220, 2925, 540));
    disclaimerLabel_->setWordWrap(true);
    disclaimerLabel_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void AboutDialog::ColourLink(const QColor& colour) {
    QPalette palette = webSiteLink_->palette();
    palette.setColor(QPalette::WindowText, colour);
    webSiteLink_->setPalette(palette);
}

bool AboutDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched != webSiteLink_ || webSite_.isEmpty()) return QDialog::eventFilter(watched, event);
    switch (event->type()) {
        case QEvent::Enter:
        case QEvent::MouseMove:
            ColourLink(kLinkHover);
            return true;
        case QEvent::Leave:
            ColourLink(kLinkNormal);
            break;
        case QEvent::MouseButtonRelease: {
            // A click: pressed and released over the link.
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton &&
                webSiteLink_->rect().contains(mouse->position().toPoint())) {
                open_(QUrl(webSite_));
                return true;
            }
            break;
        }
        default:
            break;
    }
    return QDialog::eventFilter(watched, event);
}

void AboutDialog::mouseMoveEvent(QMouseEvent* event) {
    ColourLink(kLinkNormal);
    QDialog::mouseMoveEvent(event);
}

AboutDialog* ShowAboutDialog(QWidget* owner, const QString& webSite, const UrlOpener& open) {
    AboutDialog* box =
        owner ? owner->findChild<AboutDialog*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
    if (!box) box = new AboutDialog(webSite, open, owner);
    if (!box->isVisible()) {
        if (owner) {
            const QPoint centre = owner->frameGeometry().center();
            box->move(centre -
                      QPoint(box->frameGeometry().width() / 2, box->frameGeometry().height() / 2));
        }
        box->show();
    }
    box->raise();
    box->activateWindow();
    return box;
}

}  // namespace tovira
