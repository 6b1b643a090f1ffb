#include "gui/dialogs/cost_calculator_dialog.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "core/common/prompt.h"
#include "core/engine/calculators.h"
#include "core/ledger/ledger_model.h"
#include "gui/layout/twips.h"

namespace tovira {

namespace {

// Client area in twips.
constexpr double kClientWidth = 1335;
constexpr double kClientHeight = 2460;

}  // namespace

CostCalculatorDialog::CostCalculatorDialog(const LedgerModel& ledger, const PlanSettings& settings,
                                           Prompt& prompt, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      ledger_(ledger),
      settings_(settings),
      prompt_(prompt) {
    setObjectName(QStringLiteral("CostCalculatorDialog"));
    setWindowTitle(QStringLiteral("计算"));
    setFont(WindowFont());
    setModal(false);
    setFixedSize(TwipsToPixels(kClientWidth), TwipsToPixels(kClientHeight));

    panel_ = new QFrame(this);
    panel_->setObjectName(QStringLiteral("calculatorPanel"));
    panel_->setFrameShape(QFrame::NoFrame);
    panel_->setGeometry(rect());

    targetCostCaption_ = new QLabel(QStringLiteral("目标成本："), panel_);
    targetCostCaption_->setObjectName(QStringLiteral("targetCostCaption"));
    targetCostCaption_->setGeometry(TwipsRect(120, 120, 900, 255));

    targetCostEdit_ = new QLineEdit(QStringLiteral("1.0000"), panel_);
    targetCostEdit_->setObjectName(QStringLiteral("targetCostEdit"));
    targetCostEdit_->setGeometry(TwipsRect(120, 480, 1095, 375));

    resultCaption_ = new QLabel(QStringLiteral("应赎回份额："), panel_);
    resultCaption_->setObjectName(QStringLiteral("resultCaption"));
    resultCaption_->setGeometry(TwipsRect(120, 960, 1080, 255));

    resultEdit_ = new QLineEdit(panel_);
    resultEdit_->setObjectName(QStringLiteral("resultEdit"));
    resultEdit_->setGeometry(TwipsRect(120, 1320, 1095, 375));

    calculateButton_ = new QPushButton(QStringLiteral("计    算"), panel_);
    calculateButton_->setObjectName(QStringLiteral("calculateButton"));
    calculateButton_->setGeometry(TwipsRect(120, 1920, 1095, 375));
    // Enter in a box must not close the window as a dialog's default button would.
    calculateButton_->setAutoDefault(false);
    connect(calculateButton_, &QPushButton::clicked, this, &CostCalculatorDialog::Calculate);
}

void CostCalculatorDialog::PlaceBeside(const QWidget& mainWindow) {
    if (mainWindow.isMaximized()) return;
    const QRect mainFrame = mainWindow.frameGeometry();
    // Our own frame is only known once the window manager has framed us; until
    // then take the main window's border width, which the same window manager
    // draws.
    int border = frameGeometry().width() - width();
    if (border <= 0) border = mainFrame.width() - mainWindow.width();
    move(mainFrame.left() - (width() + border), mainFrame.top());
}

void CostCalculatorDialog::Calculate() {
    const std::optional<QString> shares =
        LowerHoldingCost(ledger_, settings_, targetCostEdit_->text());
    if (!shares) {
        prompt_.Inform(QString::fromUtf8(kMsgNoData));
        return;
    }
    // The box is narrow: show a long result from its start, so its sign
    // stays in sight, and the whole text on hover.
    resultEdit_->setText(*shares);
    resultEdit_->setCursorPosition(0);
    resultEdit_->setToolTip(*shares);
}

CostCalculatorDialog* ShowCostCalculator(QWidget& mainWindow, const LedgerModel& ledger,
                                         const PlanSettings& settings, Prompt& prompt) {
    if (!LedgerHasData(ledger)) {
        prompt.Inform(QString::fromUtf8(kMsgNoData));
        return nullptr;
    }
    // A hidden one was closed and is on its way out.
    CostCalculatorDialog* form = nullptr;
    for (CostCalculatorDialog* open :
         mainWindow.findChildren<CostCalculatorDialog*>(Qt::FindDirectChildrenOnly)) {
        if (open->isVisible()) form = open;
    }
    if (!form) {
        form = new CostCalculatorDialog(ledger, settings, prompt, &mainWindow);
        form->setAttribute(Qt::WA_DeleteOnClose);
        form->PlaceBeside(mainWindow);
    }
    form->show();
    form->raise();
    form->activateWindow();
    return form;
}

}  // namespace tovira
