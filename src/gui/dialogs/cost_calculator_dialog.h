#pragma once
// "计算": the small lower-holding-cost calculator. The user types a target cost
// and presses the button; the window shows how many shares to redeem, worked
// out from the ledger's last two rows, the latest NAV and the redemption fee.
// Nothing in the ledger changes.

#include <QDialog>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tovira {

class LedgerModel;
class PlanSettings;
class Prompt;

class CostCalculatorDialog : public QDialog {
    Q_OBJECT
  public:
    // The ledger, the settings and the prompt belong to the main window and
    // outlive the calculator.
    CostCalculatorDialog(const LedgerModel& ledger, const PlanSettings& settings, Prompt& prompt,
                         QWidget* parent = nullptr);

    // Right edge on the main window's left edge, tops level; nothing when the
    // main window is maximised.
    void PlaceBeside(const QWidget& mainWindow);

    // 计算: works out the shares for the target cost into the result box.
    void Calculate();

    QLineEdit* TargetCostBox() const { return targetCostEdit_; }
    QLineEdit* ResultBox() const { return resultEdit_; }
    QPushButton* CalculateButton() const { return calculateButton_; }

  private:
    const LedgerModel& ledger_;
    const PlanSettings& settings_;
    Prompt& prompt_;
    QFrame* panel_ = nullptr;
    QLabel* targetCostCaption_ = nullptr;
    QLineEdit* targetCostEdit_ = nullptr;
    QLabel* resultCaption_ = nullptr;
    QLineEdit* resultEdit_ = nullptr;
    QPushButton* calculateButton_ = nullptr;
};

// The "降低持仓成本" menu command: "数据不足！" when the ledger has no rows;
// otherwise shows the calculator beside mainWindow without waiting. While it is
// open the same window comes back; once closed, the next call makes a new one.
// Returns the window, or nullptr when none is shown.
CostCalculatorDialog* ShowCostCalculator(QWidget& mainWindow, const LedgerModel& ledger,
                                         const PlanSettings& settings, Prompt& prompt);

}  // namespace tovira
