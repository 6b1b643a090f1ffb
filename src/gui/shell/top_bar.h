#pragma once
// The bar above the ledger: the 实时估值 switch, the estimate sources (自动
// first), the estimate with the source it came from and its change, and the
// 折线图 switch.

#include <QFrame>

class QCheckBox;
class QComboBox;
class QLabel;

namespace tovira {

class TopBar : public QFrame {
    Q_OBJECT
  public:
    explicit TopBar(QWidget* parent = nullptr);

    QCheckBox* LiveEstimate() const { return live_; }
    QComboBox* Providers() const { return providers_; }
    QLabel* EstimateValue() const { return value_; }
    // "· 新浪" after the value; its tooltip says more about the estimate.
    QLabel* EstimateSource() const { return source_; }
    QLabel* EstimateChange() const { return change_; }
    QCheckBox* ChartSwitch() const { return chart_; }

  private:
    QCheckBox* live_ = nullptr;
    QComboBox* providers_ = nullptr;
    QLabel* value_ = nullptr;
    QLabel* source_ = nullptr;
    QLabel* change_ = nullptr;
    QCheckBox* chart_ = nullptr;
};

}  // namespace tovira
