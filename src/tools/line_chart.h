#pragma once
// The line chart of the ledger: cumulative change ("TTIncrease", blue) against
// net return ("ROProfit", red) for every row, on one percentage scale with the
// zero line in the middle. It is painted on a transparent layer over the
// window's client area (below the menu) where the ledger list normally sits;
// all coordinates are client-area twips.
//
// The geometry is computed apart from the painting (ComputeChart), so it can be
// checked without pixels. The chart keeps what it drew: it is not redrawn when
// the ledger changes, the side panel slides or the window is resized, only by
// the next Draw.

#include <QPointF>
#include <QString>
#include <QWidget>
#include <array>
#include <vector>

namespace tovira {

class LedgerModel;

// Largest element of a one-dimensional array: starts from element 0 and takes
// an element only when it is strictly greater than the candidate, so a tie
// keeps the earlier element and a NaN never replaces a number. An empty array
// gives 0.
float MaxOfArray(const std::vector<float>& values);

// Plot geometry in twips.
inline constexpr double kChartLeftPanelOpen = 3300;
inline constexpr double kChartLeftPanelShut = 2190;
inline constexpr double kChartTop = 1500;
inline constexpr double kChartWidth = 9000;
inline constexpr double kChartHeight = 6000;

// Plot left edge for the side panel toggle's caption: " 《" (panel open) puts
// it right of the panel; "  》" (shut) or anything else further left.
double ChartLeftEdge(const QString& panelToggleText);

struct ChartLabel {
    // How `at` relates to the label's box: the axis labels left of the plot
    // end at `at` and are centred on it vertically, those right of the plot
    // start there; the legend labels have their top left corner there.
    enum class Anchor { RightMiddle, LeftMiddle, TopLeft };
    QString text;
    QPointF at;  // twips
    Anchor anchor = Anchor::TopLeft;
};

struct ChartLine {
    QPointF from;  // twips
    QPointF to;
};

struct ChartLayout {
    double x0 = kChartLeftPanelShut;
    double y0 = kChartTop;
    int rows = 0;
    // Horizontal distance between points, grid lines and zero-line ticks.
    int step = 300;
    // The largest absolute value of either series: it spans half the plot.
    float scale = 0;
    // One point per row (x, y in twips) when the series are drawn (more than
    // one row and a scale above 0); empty otherwise.
    std::vector<QPointF> ttIncrease;
    std::vector<QPointF> roProfit;
    // Label_PC(0..21): value labels of the 11 rows, left and right of the plot
    // (2k and 2k + 1 for row k); the middle row carries the day labels.
    std::array<ChartLabel, 22> axisLabels;
    // Line1 (blue) with "累计涨幅", Line2 (red) with "净收益率".
    std::array<ChartLine, 2> legendLines;
    std::array<ChartLabel, 2> legendLabels;

    double Right() const { return x0 + kChartWidth; }
    double Bottom() const { return y0 + kChartHeight; }
    double ZeroLine() const { return y0 + kChartHeight / 2; }
};

// The chart of the ledger's rows as they stand now, with its left edge at x0.
ChartLayout ComputeChart(const LedgerModel& ledger, double x0Twips);

class LineChart : public QWidget {
    Q_OBJECT
  public:
    // The window places the chart over its whole client area below the menu,
    // under the side panel; it lets the mouse through to what lies beneath.
    explicit LineChart(const LedgerModel& ledger, QWidget* parent = nullptr);

    // Draws the whole chart from the current ledger rows with the plot's left
    // edge at x0 (ChartLeftEdge of the panel toggle).
    void Draw(double x0Twips);
    // Erases everything drawn.
    void Clear();

    bool IsDrawn() const { return drawn_; }
    const ChartLayout& Layout() const { return layout_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    const LedgerModel& ledger_;
    ChartLayout layout_;
    bool drawn_ = false;
};

}  // namespace tovira
