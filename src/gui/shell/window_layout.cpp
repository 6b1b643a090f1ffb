#include "gui/shell/window_layout.h"

#include <QLabel>
#include <QRadioButton>
#include <QTimer>
#include <algorithm>

#include "gui/layout/twips.h"
#include "gui/ledger/side_panel.h"

namespace tovira {
namespace {

constexpr double kPanelWidth = 2415;
constexpr double kPanelHeight = 9255;
constexpr double kSlideStep = 120;
constexpr double kSlideJump = 2220;
// The rules below count the window's outer size: the client area plus the
// standard frame (4 px borders each side, caption and menu bar).
constexpr double kFrameWidth = 240;
constexpr double kFrameHeight = 870;

const QString kPanelOpen = QStringLiteral(" 《");
const QString kPanelShut = QStringLiteral("  》");

}  // namespace

WindowLayout::WindowLayout(const LayoutWidgets& widgets, QObject* parent)
    : QObject(parent), w_(widgets) {
    slideTimer_ = new QTimer(this);
    slideTimer_->setObjectName(QStringLiteral("panelSlideTimer"));
    slideTimer_->setInterval(10);
    connect(slideTimer_, &QTimer::timeout, this, &WindowLayout::SlideStep);
    connect(w_.panel, &SidePanel::ToggleClicked, this, [this] {
        if (!slideTimer_->isActive()) slideTimer_->start();
    });
}

void WindowLayout::Apply() {
    w_.panel->setGeometry(TwipsRect(panelLeft_, 0, kPanelWidth, kPanelHeight));
    // Each option button at least as wide as its text needs, the second one
    // moved right when the first grows, so neither covers the other's text.
    QRect theory = TwipsRect(2520 + topShift_, 0, 975, 495);
    theory.setWidth(std::max(theory.width(), w_.theory->sizeHint().width()));
    QRect fact = TwipsRect(3480 + topShift_, 0, 975, 495);
    fact.moveLeft(std::max(fact.left(), theory.right() + 1));
    fact.setWidth(std::max(fact.width(), w_.fact->sizeHint().width()));
    w_.theory->setGeometry(theory);
    w_.fact->setGeometry(fact);
    w_.topBar->setGeometry(TwipsRect(4800 + topShift_, 0, 8655, 495));
    w_.ledger->setGeometry(TwipsRect(ledgerLeft_, 480, ledgerWidth_, ledgerHeight_));
    w_.chart->setGeometry(w_.central->rect());
}

void WindowLayout::Resized(const QPoint& windowPos) {
    const double w = PixelsToTwips(w_.central->width()) + kFrameWidth;
    const double h = PixelsToTwips(w_.central->height()) + kFrameHeight;
    const QString toggle = w_.panel->Toggle()->text();
    if (w > 2760 && toggle == kPanelOpen) {
        ledgerWidth_ = w - 2760;
    } else if (w > 540 && toggle == kPanelShut) {
        ledgerWidth_ = w - 540;
    } else {
        ledgerWidth_ = 10935;
    }
    ledgerHeight_ = h > 1350 ? h - 1350 : 7095;
    savedTop_ = PixelsToTwips(windowPos.y());
    savedLeft_ = PixelsToTwips(windowPos.x());
    Apply();
}

QPoint WindowLayout::SavedPosition() const {
    return {TwipsToPixels(savedLeft_), TwipsToPixels(savedTop_)};
}

void WindowLayout::SlideStep() {
    QLabel* toggle = w_.panel->Toggle();
    if (toggle->text() == kPanelOpen) {
        panelLeft_ -= kSlideStep;
        if (panelLeft_ <= 240 - kPanelWidth) {
            slideTimer_->stop();
            toggle->setText(kPanelShut);
            ledgerLeft_ -= kSlideJump;
            ledgerWidth_ += kSlideJump;
            topShift_ -= kSlideJump;
        }
    } else if (toggle->text() == kPanelShut) {
        panelLeft_ += kSlideStep;
        if (panelLeft_ >= 0) {
            slideTimer_->stop();
            toggle->setText(kPanelOpen);
            ledgerLeft_ += kSlideJump;
            ledgerWidth_ -= kSlideJump;
            topShift_ += kSlideJump;
        }
    }
    Apply();
}

}  // namespace tovira
