#pragma once
// The back-test report window (高级 › 回测报告): the table of the three
// strategies' figures and the chart of their profit over time. It shows a
// report it is given; BacktestReportController keeps it up to date.

#include <QRect>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <optional>

#include "core/report/backtest_report.h"

class QLabel;
class QTableWidget;

namespace tovira {

class ProfitChart;

class BacktestReportWindow : public QWidget {
    Q_OBJECT
  public:
    // programFolder keeps the window's place (History.ini, [回测报告窗口]);
    // empty keeps it nowhere.
    explicit BacktestReportWindow(QWidget* parent = nullptr,
                                  const QString& programFolder = QString());

    void ShowReport(const BacktestReport& report);

    // Before the first show: where the window was last left when that place
    // is still on a screen, else at a size that fits the screen beside
    // mainWindow (right, else left, else over it).
    void Place(const QWidget& mainWindow);

    // The place of a window of `size` beside the frame `main` on the
    // available screen area `screen`: right of it where it fits, else left,
    // else at the screen's right edge; top-aligned with it, kept on screen.
    static QRect PlaceBeside(const QRect& main, const QSize& size, const QRect& screen);
    // The remembered place, when there is one.
    static std::optional<QRect> SavedPlace(const QString& programFolder);
    static bool SavePlace(const QString& programFolder, const QRect& place);

    QTableWidget* Table() const { return table_; }
    ProfitChart* Chart() const { return chart_; }

  protected:
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void RememberPlace();

    QString programFolder_;
    QTimer remember_;  // gathers the moves of one drag into one write
    QLabel* heading_ = nullptr;
    QTableWidget* table_ = nullptr;
    ProfitChart* chart_ = nullptr;
};

}  // namespace tovira
