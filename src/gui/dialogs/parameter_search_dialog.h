#pragma once
// 高级 › 参数寻优: two plan parameters with their ranges and the figure to
// rank by; 开始 runs the search on a worker thread (the window stays usable,
// 取消 stops it) and shows the result as a heat map. Double-clicking a cell
// hands its two values back for the side panel. Parameters are named by their
// side-panel captions; those whose box the switches grey out are not offered
// (a search over them would paint one result everywhere). A result the plan
// no longer matches, or one shown after a cancel, is greyed with the reason.

#include <QDialog>
#include <QThread>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

#include "core/ledger/ledger_model.h"
#include "core/ledger/plan_settings.h"
#include "core/report/parameter_sweep.h"

class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace tovira {

class HeatMap;

// Runs a search (RunSweep without the thread count in the window).
using SweepRunner =
    std::function<SweepResult(const LedgerModel&, const PlanSettings&, const SweepAxis&,
                              const SweepAxis&, std::atomic<bool>*, const SweepProgress&)>;

// The range the dialog proposes for a parameter: a few steps either side of
// the plan's value, kept to values the box accepts.
struct ProposedRange {
    double from = 0, to = 0, step = 0;
};
ProposedRange ProposeRange(Field field, double current);

// The hover text of a cell: all its figures.
QString SweepCellDetails(const SweepMetrics& m);

class ParameterSearchDialog : public QDialog {
    Q_OBJECT
  public:
    // The ledger and settings are read when a search starts (the ledger is
    // copied then, so the window may go on changing it). runner defaults to
    // RunSweep on every core.
    ParameterSearchDialog(const LedgerModel& ledger, const PlanSettings& settings,
                          SweepRunner runner = {}, QWidget* parent = nullptr);
    ~ParameterSearchDialog() override;

    // 开始: checks the ranges (a bad one shows its message in the dialog)
    // and starts the search. False when it did not start.
    bool Start();
    // 取消: asks a running search to stop.
    void Cancel();
    bool Running() const { return thread_ != nullptr; }
    // The plan's parameters, switches or rows may have changed: offers the
    // parameters that now count and greys a result the plan no longer
    // matches ("参数已改变").
    void PlanChanged();
    // The mode the window shows: in 实际操作 the dialog says that it searches
    // the plan's own decisions and what a double-click does.
    void SetShownMode(Mode mode);
    // Why the result shown is stale ("参数已改变", "已取消"); empty when it is
    // current or there is none.
    QString StaleReason() const { return staleReason_; }
    HeatMap* Map() const { return map_; }
    const std::optional<SweepResult>& Result() const { return result_; }

  signals:
    // A search started on the ledger as it is now.
    void SearchStarted();
    // A heat-map cell was double-clicked: the texts to type into the boxes.
    void CellChosen(tovira::Field xField, const QString& xText, tovira::Field yField,
                    const QString& yText);
    // A search ended (finished or cancelled).
    void SearchEnded();
    // From the worker threads; delivered queued.
    void Progressed(qint64 done, qint64 total);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    struct AxisBoxes {
        QComboBox* parameter;
        QLineEdit* from;
        QLineEdit* to;
        QLineEdit* step;
    };
    AxisBoxes MakeAxisRow(const QString& caption, int row, int initial, QGridLayout* grid);
    void Propose(const AxisBoxes& boxes);
    std::optional<SweepAxis> ReadAxis(const AxisBoxes& boxes);
    void OnFinished();
    void ShowResult();
    void OnCellActivated(double x, double y);
    void FillParameters(QComboBox* box, int preferred);
    void OfferParameters();
    void ShowStale(const QString& reason);
    // The searched plan's inputs, other than the two varied parameters, still
    // equal the plan's.
    bool ResultMatchesPlan() const;

    const LedgerModel& ledger_;
    const PlanSettings& settings_;
    SweepRunner runner_;
    AxisBoxes xBoxes_{};
    AxisBoxes yBoxes_{};
    QComboBox* metric_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* status_ = nullptr;
    QLabel* modeNote_ = nullptr;
    QLabel* idleNote_ = nullptr;
    QLabel* staleNote_ = nullptr;
    HeatMap* map_ = nullptr;
    QString staleReason_;
    // What the result was computed from, to tell when the plan changed.
    SweepInput searchedInput_;
    SweepInput startedInput_;  // of the search running
    std::unique_ptr<PlanSettings> searchedSettings_;

    QThread* thread_ = nullptr;
    std::atomic<bool> cancelFlag_{false};
    std::unique_ptr<LedgerModel> snapshot_;
    std::unique_ptr<PlanSettings> settingsCopy_;
    std::optional<SweepResult> running_;  // written by the worker
    std::optional<SweepResult> result_;
    SweepMetric shownMetric_ = SweepMetric::Xirr;
};

}  // namespace tovira
