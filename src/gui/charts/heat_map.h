#pragma once
// A heat map of a grid of figures over two parameters: one cell per pair of
// values, coloured by the figure (grey where it does not exist), the colour
// scale with its values on the right, both axes labelled with the parameter
// values, the plan's own cell outlined. Hovering a cell shows its details;
// double-clicking it reports its two values. Painted with QPainter.

#include <QColor>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QWidget>
#include <optional>
#include <vector>

namespace tovira {

struct HeatMapData {
    QString xName;           // parameter along the horizontal axis
    QString yName;           // parameter along the vertical axis (rising upwards)
    QString metricName;      // the figure the colours stand for
    std::vector<double> xs;  // axis values, left to right
    std::vector<double> ys;  // axis values, bottom to top
    // One per cell, row-major from the bottom row: values[y * xs.size() + x].
    std::vector<std::optional<double>> values;
    std::vector<QString> details;  // the hover text of each cell (same order)
    int currentX = -1;             // the plan's own cell, -1 when off the grid
    int currentY = -1;
};

// A cell's column and row in the grid (row 0 at the bottom).
struct HeatCellIndex {
    int x = 0;
    int y = 0;
    bool operator==(const HeatCellIndex& o) const { return x == o.x && y == o.y; }
};

// Where the parts of the map go in a widget of a given size.
class HeatMapGeometry {
  public:
    HeatMapGeometry(QSize widget, int columns, int rows);

    const QRect& Grid() const { return grid_; }
    const QRect& ScaleBar() const { return scale_; }
    QRect CellRect(HeatCellIndex cell) const;
    // The cell under a point, if any.
    std::optional<HeatCellIndex> CellAt(QPoint p) const;
    // Every how many columns (rows) an axis label fits without overlapping,
    // for labels of the given width (height) in pixels.
    int ColumnLabelEvery(int labelWidth) const;
    int RowLabelEvery(int labelHeight) const;

  private:
    int columns_;
    int rows_;
    QRect grid_;
    QRect scale_;
};

// The colour of a value on the scale from lo to hi (a sequential scale, dark
// blue over teal and green to yellow); grey for a missing or non-finite value.
QColor HeatColor(std::optional<double> value, double lo, double hi);
// The lowest and highest existing values (0, 0 when there are none).
std::pair<double, double> HeatRange(const std::vector<std::optional<double>>& values);
// An axis or scale value as a short text ("-0.25", "1.2", "20000").
QString HeatLabel(double value);
// Round values from lo to hi for the ticks of an axis or the colour scale:
// multiples of one step of 1, 2 or 5 times a power of ten (−8, −6, −4 …;
// 26.2, 26.4 …), the smallest such step that gives at most maxTicks of them.
// Empty when hi < lo; {lo} when they are equal.
std::vector<double> RoundTicks(double lo, double hi, int maxTicks);
// A value of the colour scale from lo to hi: about three significant digits
// of the range ("28.47" for a range of 5, "12500" for one of 20000).
QString HeatScaleLabel(double value, double lo, double hi);

class HeatMap : public QWidget {
    Q_OBJECT
  public:
    explicit HeatMap(QWidget* parent = nullptr);

    void SetData(HeatMapData data);
    const HeatMapData& Data() const { return data_; }
    // The cell whose details are shown, if any.
    std::optional<HeatCellIndex> Hovered() const { return hovered_; }
    HeatMapGeometry Geometry() const;

    QSize sizeHint() const override { return {640, 460}; }
    QSize minimumSizeHint() const override { return {320, 240}; }

  signals:
    // A cell was double-clicked: its two parameter values.
    void CellActivated(double x, double y);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    std::optional<HeatCellIndex> CellIn(QPoint p) const;

    HeatMapData data_;
    std::optional<HeatCellIndex> hovered_;
    QPoint mouse_;
};

}  // namespace tovira
