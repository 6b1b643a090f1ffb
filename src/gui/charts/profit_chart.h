#pragma once
// The back-test report's chart: the profit of each strategy over time on a
// date axis, with a legend and the figures of the day under the pointer.
// Drawn with QPainter; the geometry is a plain class so it can be checked
// without painting.

#include <QColor>
#include <QDate>
#include <QRectF>
#include <QString>
#include <QWidget>
#include <optional>
#include <vector>

namespace tovira {

struct ProfitSeries {
    QString name;
    QColor colour;
    std::vector<double> values;  // one per date
};

// Where dates and amounts land in the plot area. Rows without a valid date
// are left out. The dates are read, not copied: they must outlive it.
class ProfitChartGeometry {
  public:
    ProfitChartGeometry() = default;
    ProfitChartGeometry(const std::vector<QDate>& dates, const std::vector<ProfitSeries>& series,
                        const QRectF& plot);

    // Whether there is anything to draw: at least one dated row.
    bool Valid() const { return first_.isValid(); }
    const QRectF& Plot() const { return plot_; }
    QDate First() const { return first_; }
    QDate Last() const { return last_; }
    double Low() const { return low_; }
    double High() const { return high_; }

    double XFor(const QDate& date) const;
    double YFor(double value) const;
    // The row (0-based) whose date lies nearest to the pointer's x; none
    // outside the plot area or without dated rows.
    std::optional<int> NearestRow(double x) const;
    // The dates that carry an axis label: the first day of a year, or of a
    // month, spaced so that at most maxTicks fit.
    std::vector<QDate> DateTicks(int maxTicks) const;
    // Amounts on the money axis, a round step apart.
    std::vector<double> ValueTicks(int maxTicks) const;

  private:
    const std::vector<QDate>* dates_ = nullptr;
    QRectF plot_;
    QDate first_, last_;
    double low_ = 0, high_ = 1;
};

class ProfitChart : public QWidget {
    Q_OBJECT
  public:
    explicit ProfitChart(QWidget* parent = nullptr);

    void SetData(std::vector<QDate> dates, std::vector<ProfitSeries> series);
    // The geometry of the current size and data.
    ProfitChartGeometry Geometry() const;
    // The row under the pointer, if any.
    std::optional<int> HoverRow() const { return hoverRow_; }

    QSize sizeHint() const override { return {760, 340}; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    QRectF PlotRect() const;

    std::vector<QDate> dates_;
    std::vector<ProfitSeries> series_;
    std::optional<int> hoverRow_;
};

}  // namespace tovira
