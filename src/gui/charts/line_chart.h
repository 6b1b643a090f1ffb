#pragma once
// The line chart of the ledger: cumulative change ("TTIncrease", blue) against
// net return ("ROProfit", red) for every row, on one percentage scale with the
// zero line in the middle. It is painted on a transparent layer over the
// window's client area (below the menu) where the ledger list normally sits;
// all coordinates are client-area twips.
//
// The geometry is computed apart from the painting (ComputeChart), so it can be
// checked without pixels. When the value labels are too wide for the margins
// (a return of some hundred thousand percent), the plot moves right of the
// side panel and narrows so that every label shows in full. The chart keeps what it drew: it is not
// redrawn when the ledger changes, the side panel slides or the window is resized, only by the next
// Draw.

#include <QPointF>
#include <QString>
#include <QWidget>
#include <array>
#include <functional>
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
// The plot narrows no further than this to make room for wide labels.
inline constexpr double kChartMinWidth = 4500;
// Right edge of the side panel as seen from the chart: the whole panel while
// it is open, the strip it leaves on screen once shut.
inline constexpr double kChartPanelOpenEdge = 2415;
inline constexpr double kChartPanelShutEdge = 135;

// Plot left edge for the side panel toggle's caption: " 《" (panel open) puts
// it right of the panel; "  》" (shut) or anything else further left.
double ChartLeftEdge(const QString& panelToggleText);
// The panel's right edge that goes with a plot left edge of ChartLeftEdge.
double ChartPanelEdge(double x0Twips);

// Where the labels have to fit, in twips: the visible stretch of the chart's
// area (visibleRight 0: no limit) and the width a label's text takes.
struct ChartRoom {
    double visibleLeft = 0;
    double visibleRight = 0;
    std::function<double(const QString&)> labelWidth;
};

struct ChartLabel {
    // How `at` relates to the label's box: the axis labels left of the plot
    // end at `at` and are centred on it vertically, those right of the plot
    // start there; the legend labels have their top left corner there.
    enum class Anchor { RightMiddle, LeftMiddle, TopLeft };
    QString text;
    QPointF at;  // twips
    Anchor anchor = Anchor::TopLeft;
    // Room for the text in twips when even the narrowest plot leaves too
    // little, so the painter elides it visibly; 0 when the text fits.
    double maxWidth = 0;
};

struct ChartLine {
    QPointF from;  // twips
    QPointF to;
};

struct ChartLayout {
    double x0 = kChartLeftPanelShut;
    double y0 = kChartTop;
    int rows = 0;
    // Plot width: kChartWidth unless wide labels need the room.
    double width = kChartWidth;
    // Nominal distance between points, grid lines and zero-line ticks (on a
    // plot of kChartWidth), and the distance on this plot.
    int step = 300;
    double pitch = 300;
    // The largest absolute value of either series: it spans half the plot.
    float scale = 0;
    // One point per row (x, y in twips) when the series are drawn (more than
    // one row and a scale above 0); empty otherwise.
    std::vector<QPointF> cumulativeChange;
    std::vector<QPointF> returnPct;
    // Label_PC(0..21): value labels of the 11 rows, left and right of the plot
    // (2k and 2k + 1 for row k); the middle row carries the day labels.
    std::array<ChartLabel, 22> axisLabels;
    // Line1 (blue) with "累计涨幅", Line2 (red) with "净收益率".
    std::array<ChartLine, 2> legendLines;
    std::array<ChartLabel, 2> legendLabels;

    double Right() const { return x0 + width; }
    double Bottom() const { return y0 + kChartHeight; }
    double ZeroLine() const { return y0 + kChartHeight / 2; }
};

// The chart of the ledger's rows as they stand now, with its left edge at x0.
ChartLayout ComputeChart(const LedgerModel& ledger, double x0Twips);
// The same, moved right and narrowed as far as the labels need to show in
// full within the room; labels that still do not fit get a maxWidth.
ChartLayout ComputeChart(const LedgerModel& ledger, double x0Twips, const ChartRoom& room);

class LineChart : public QWidget {
    Q_OBJECT
  public:
    // The window places the chart over its whole client area below the menu,
    // under the side panel; it lets the mouse through to what lies beneath.
    explicit LineChart(const LedgerModel& ledger, QWidget* parent = nullptr);

    // Draws the whole chart from the current ledger rows with the plot's left
    // edge at x0 (ChartLeftEdge of the panel toggle), or further right and
    // narrower when the labels need it in the chart's present size.
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
