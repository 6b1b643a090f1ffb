#pragma once
// The about box "关于 Tovira": program icon, title, version, the web site as
// a link that turns blue under the pointer, and the risk warning. Modeless;
// the window keeps one box and brings it back when asked again.

#include <QDialog>
#include <QString>

#include "gui/layout/url_opener.h"

class QLabel;

namespace tovira {

class AboutDialog : public QDialog {
    Q_OBJECT
  public:
    // `webSite` is the address the link shows and opens; when it is empty
    // the link is blank and disabled. `open` defaults to the browser.
    AboutDialog(const QString& webSite, UrlOpener open, QWidget* owner);

    QLabel* picIcon() const { return picIcon_; }
    QLabel* TitleLabel() const { return titleLabel_; }
    QLabel* VersionLabel() const { return versionLabel_; }
    QLabel* WebSiteLink() const { return webSiteLink_; }
    QLabel* DescriptionLabel() const { return descriptionLabel_; }
    QLabel* DisclaimerLabel() const { return disclaimerLabel_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // The pointer over the rest of the box: the link goes black again.
    void mouseMoveEvent(QMouseEvent* event) override;

  private:
    void ColourLink(const QColor& colour);

    QString webSite_;
    UrlOpener open_;
    QLabel* picIcon_;
    QLabel* titleLabel_;
    QLabel* versionLabel_;
    QLabel* webSiteLink_;
    QLabel* descriptionLabel_;
    QLabel* disclaimerLabel_;
};

// Shows the owner's about box, making it on first use; asked again while it
// is open, the same box comes to the front. Centred on the owner whenever it
// opens.
AboutDialog* ShowAboutDialog(QWidget* owner, const QString& webSite, const UrlOpener& open = {});

}  // namespace tovira
