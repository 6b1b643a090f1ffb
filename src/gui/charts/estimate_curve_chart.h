#pragma once
// The day's estimate curve of a fund (爱基金's chart series), painted by the
// trend chart window in place of the provider's picture: the trading hours
// 09:30–15:00 across, with the lunch break 11:30–13:00 left out so the two
// sessions meet in the middle; the estimated NAV on the left axis and its
// change against the previous NAV in percent on the right; the previous NAV
// as a dashed line across the middle; the latest point marked with its value,
// change and time (in the line above the plot). Above the previous NAV the curve is red, below it
// green.

#include <QDate>
#include <QList>
#include <QRectF>
#include <QString>
#include <QTime>
#include <QWidget>

#include "core/marketdata/jqka_chart.h"

namespace tovira {

// One day's curve as the series gave it.
struct EstimateCurve {
    QString code;
    QDate day;  // the Beijing date of the points
    QList<EstimatePoint> points;
    double previousNav = 0;
    QDate previousNavDate;
};

// Minutes of trading since 09:30 at a clock time: 0..120 in the morning,
// 120..240 in the afternoon. The lunch break counts as 11:30, times before
// the open as 09:30 and after the close as 15:00.
double SessionMinute(const QTime& time);

// Where the curve goes in a plot rectangle (pixels). The NAV scale is
// centred on the previous NAV and reaches the point furthest from it, with a
// little room; a flat curve still spans ±0.1 %.
class EstimateCurveGeometry {
  public:
    EstimateCurveGeometry(const EstimateCurve& curve, const QRectF& plot);

    double XFor(const QTime& time) const;
    double YFor(double nav) const;
    double Low() const { return low_; }
    double High() const { return high_; }
    const QRectF& Plot() const { return plot_; }

  private:
    QRectF plot_;
    double low_ = 0;
    double high_ = 1;
};

class EstimateCurveChart : public QWidget {
    Q_OBJECT
  public:
    explicit EstimateCurveChart(QWidget* parent = nullptr);

    // The curve and the line above it (the source, the day and whether it is
    // today's); repaints.
    void SetCurve(EstimateCurve curve, QString caption);
    const EstimateCurve& Curve() const { return curve_; }
    const QString& Caption() const { return caption_; }
    // "HH:mm  NAV  ±x.xx%" of the latest point; empty without points.
    QString LatestText() const;
    // The plot rectangle at the widget's present size and font.
    QRectF PlotRect() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    EstimateCurve curve_;
    QString caption_;
};

}  // namespace tovira
