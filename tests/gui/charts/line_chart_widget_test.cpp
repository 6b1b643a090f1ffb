#include <gtest/gtest.h>

#include <QColor>
#include <QFontMetrics>
#include <QImage>
#include <QPixmap>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "core/ledger/plan_settings.h"
#include "core/storage/plan_file.h"
#include "gui/charts/line_chart.h"
#include "gui/layout/twips.h"
#include "support/test_support.h"

namespace tovira {
namespace {

QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

// One row per pair of ("TTIncrease", "ROProfit") texts.
void Fill(LedgerModel& ledger, const std::vector<std::pair<const char*, const char*>>& rows) {
    for (const auto& [tt, ro] : rows) {
        const int row = ledger.LastRow() + 1;
        ledger.AddRow(QString::number(row));
        ledger.SetCell(row, Column::CumulativeChange, Q(tt));
        ledger.SetCell(row, Column::ReturnPct, Q(ro));
    }
}

void FillRows(LedgerModel& ledger, int n) {
    for (int i = 0; i < n; ++i) Fill(ledger, {{"1", "-2"}});
}

QStringList Texts(const ChartLayout& c) {
    QStringList texts;
    for (const ChartLabel& l : c.axisLabels) texts << l.text;
    return texts;
}

TEST(LineChartMaxOfArray, KeepsTheFirstOfEqualsAndStartsFromElementZero) {
    EXPECT_EQ(MaxOfArray({}), 0.0f);
    EXPECT_EQ(MaxOfArray({0.0f, 3.0f, 3.0f, -7.0f}), 3.0f);
    // No implicit 0 candidate: all-negative arrays give their largest.
    EXPECT_EQ(MaxOfArray({-5.0f, -2.0f, -9.0f}), -2.0f);
    // Only a strictly greater element replaces: -0 before 0 stays -0.
    EXPECT_TRUE(std::signbit(MaxOfArray({-0.0f, 0.0f})));
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(MaxOfArray({1.0f, nan, 2.0f}), 2.0f);
    EXPECT_TRUE(std::isnan(MaxOfArray({nan, 5.0f})));
}

TEST(LineChartGeometry, LeftEdgeFollowsThePanelToggle) {
    EXPECT_EQ(ChartLeftEdge(Q(" 《")), 3300);
    EXPECT_EQ(ChartLeftEdge(Q("  》")), 2190);
    EXPECT_EQ(ChartLeftEdge(Q("《")), 2190);
}

TEST(LineChartGeometry, EmptyLedgerHasFrameLabelsAndLegendButNoSeries) {
    LedgerModel ledger;
    const ChartLayout c = ComputeChart(ledger, 3300);
    EXPECT_EQ(c.rows, 0);
    EXPECT_EQ(c.step, 300);
    EXPECT_EQ(c.scale, 0.0f);
    EXPECT_TRUE(c.cumulativeChange.empty());
    EXPECT_TRUE(c.returnPct.empty());
    EXPECT_EQ(c.y0, 1500);
    EXPECT_EQ(c.Right(), 12300);
    EXPECT_EQ(c.Bottom(), 7500);
    EXPECT_EQ(c.ZeroLine(), 4500);

    // Every value label reads 0.00%, never -0.00% in the lower half.
    for (int j = 0; j < 22; ++j) {
        if (j == 10 || j == 11) continue;
        EXPECT_EQ(c.axisLabels[j].text, Q("0.00%")) << j;
    }
    EXPECT_EQ(c.axisLabels[10].text, Q("第1天"));
    EXPECT_EQ(c.axisLabels[11].text, Q("第31天"));

    // Label_PC(2k) ends 30 twips left of the left axis, Label_PC(2k + 1)
    // starts 30 right of the right axis, both centred on row k.
    for (int k = 0; k <= 10; ++k) {
        const ChartLabel& left = c.axisLabels[2 * k];
        const ChartLabel& right = c.axisLabels[2 * k + 1];
        EXPECT_EQ(left.at, QPointF(3270, 1500 + 600 * k)) << k;
        EXPECT_EQ(left.anchor, ChartLabel::Anchor::RightMiddle);
        EXPECT_EQ(right.at, QPointF(12330, 1500 + 600 * k)) << k;
        EXPECT_EQ(right.anchor, ChartLabel::Anchor::LeftMiddle);
    }

    EXPECT_EQ(c.legendLines[0].from, QPointF(6000, 8130));
    EXPECT_EQ(c.legendLines[0].to, QPointF(6900, 8130));
    EXPECT_EQ(c.legendLines[1].from, QPointF(8100, 8130));
    EXPECT_EQ(c.legendLines[1].to, QPointF(9000, 8130));
    EXPECT_EQ(c.legendLabels[0].text, Q("累计涨幅"));
    EXPECT_EQ(c.legendLabels[0].at, QPointF(6990, 8010));
    EXPECT_EQ(c.legendLabels[1].text, Q("净收益率"));
    EXPECT_EQ(c.legendLabels[1].at, QPointF(9090, 8010));
    EXPECT_EQ(c.legendLabels[1].anchor, ChartLabel::Anchor::TopLeft);
}

TEST(LineChartGeometry, OneRowSetsTheScaleButDrawsNoSeries) {
    LedgerModel ledger;
    Fill(ledger, {{"-4.5", "2"}});
    const ChartLayout c = ComputeChart(ledger, 2190);
    EXPECT_EQ(c.scale, 4.5f);
    EXPECT_TRUE(c.cumulativeChange.empty());
    EXPECT_EQ(Texts(c),
              (QStringList{"4.50%",  "4.50%",  "3.60%",  "3.60%",  "2.70%",    "2.70%",
                           "1.80%",  "1.80%",  "0.90%",  "0.90%",  Q("第1天"), Q("第31天"),
                           "-0.90%", "-0.90%", "-1.80%", "-1.80%", "-2.70%",   "-2.70%",
                           "-3.60%", "-3.60%", "-4.50%", "-4.50%"}));
    EXPECT_EQ(c.axisLabels[0].at, QPointF(2160, 1500));
}

TEST(LineChartGeometry, ValueLabelsRoundTiesToEven) {
    LedgerModel ledger;
    Fill(ledger, {{"1.125", "0"}, {"0", "-0.5"}});
    const ChartLayout c = ComputeChart(ledger, 3300);
    EXPECT_EQ(c.axisLabels[0].text, Q("1.12%"));
    EXPECT_EQ(c.axisLabels[21].text, Q("-1.12%"));
}

TEST(LineChartGeometry, StepAndRightDayLabelFollowTheRowCount) {
    const struct {
        int rows;
        int step;
        const char* right;
    } cases[] = {{2, 300, "第31天"},  {31, 300, "第31天"}, {32, 150, "第61天"},
                 {60, 150, "第61天"}, {61, 100, "第91天"}, {90, 100, "第91天"},
                 {91, 75, "第121天"}, {150, 75, "第121天"}};
    for (const auto& k : cases) {
        LedgerModel ledger;
        FillRows(ledger, k.rows);
        const ChartLayout c = ComputeChart(ledger, 3300);
        EXPECT_EQ(c.step, k.step) << k.rows;
        EXPECT_EQ(c.axisLabels[11].text, Q(k.right)) << k.rows;
        ASSERT_EQ(c.cumulativeChange.size(), static_cast<size_t>(k.rows));
        ASSERT_EQ(c.returnPct.size(), static_cast<size_t>(k.rows));
        EXPECT_EQ(c.cumulativeChange.front().x(), 3300) << k.rows;
        EXPECT_EQ(c.returnPct.back().x(), 3300 + (k.rows - 1) * k.step) << k.rows;
        // The 31st row lands on the right axis.
        if (k.rows == 31) {
            EXPECT_EQ(c.cumulativeChange.back().x(), c.Right());
        }
    }
}

TEST(LineChartGeometry, RowsBeyondTheHundredTwentyFirstLieRightOfThePlot) {
    LedgerModel ledger;
    FillRows(ledger, 150);
    const ChartLayout c = ComputeChart(ledger, 3300);
    EXPECT_EQ(c.cumulativeChange[120].x(), c.Right());  // row 121
    EXPECT_EQ(c.cumulativeChange[121].x(), c.Right() + 75);
    EXPECT_EQ(c.returnPct[149].x(), 3300 + 149 * 75);
    // Constant series: TT at +1 of M = 2, RO at -2 on the bottom edge.
    EXPECT_EQ(c.scale, 2.0f);
    EXPECT_EQ(c.cumulativeChange[149].y(), 3000);
    EXPECT_EQ(c.returnPct[0].y(), c.Bottom());
}

TEST(LineChartGeometry, MixedSignsShareTheLargestMagnitudeOfEitherSeries) {
    LedgerModel ledger;
    Fill(ledger, {{"1", "-8"}, {"-2", "4"}, {"3", "0"}, {"8", "-0"}});
    const ChartLayout c = ComputeChart(ledger, 3300);
    EXPECT_EQ(c.scale, 8.0f);
    const std::vector<QPointF> tt{{3300, 4125}, {3600, 5250}, {3900, 3375}, {4200, 1500}};
    const std::vector<QPointF> ro{{3300, 7500}, {3600, 3000}, {3900, 4500}, {4200, 4500}};
    EXPECT_EQ(c.cumulativeChange, tt);
    EXPECT_EQ(c.returnPct, ro);
    EXPECT_EQ(c.axisLabels[0].text, Q("8.00%"));
    EXPECT_EQ(c.axisLabels[20].text, Q("-8.00%"));
}

TEST(LineChartGeometry, PointHeightsRoundHalfToEven) {
    LedgerModel ledger;
    // M = 3000, so a value v sits v twips from the zero line.
    Fill(ledger, {{"0.5", "-0.5"}, {"1.5", "-1.5"}, {"2.5", "3000"}});
    const ChartLayout c = ComputeChart(ledger, 3300);
    EXPECT_EQ(c.cumulativeChange[0].y(), 4500);  // 4499.5
    EXPECT_EQ(c.cumulativeChange[1].y(), 4498);  // 4498.5
    EXPECT_EQ(c.cumulativeChange[2].y(), 4498);  // 4497.5
    EXPECT_EQ(c.returnPct[0].y(), 4500);         // 4500.5
    EXPECT_EQ(c.returnPct[1].y(), 4502);         // 4501.5
    EXPECT_EQ(c.returnPct[2].y(), 1500);
}

TEST(LineChartGeometry, UnreadableCellsRunFlatButStillCountForTheScale) {
    LedgerModel ledger;
    // The scale reads the leading number ("9abc" counts 9); a point needs the
    // whole text to be a number, else it keeps the previous point's height.
    // A value beyond the single range neither scales nor plots.
    Fill(ledger, {{"abc", "3"}, {"4.5", "9abc"}, {"", " -4.5 "}, {"1e39", "%"}, {"-9", "4.5"}});
    const ChartLayout c = ComputeChart(ledger, 3300);
    EXPECT_EQ(c.scale, 9.0f);
    std::vector<double> tt, ro;
    for (const QPointF& p : c.cumulativeChange) tt.push_back(p.y());
    for (const QPointF& p : c.returnPct) ro.push_back(p.y());
    // Before the first readable point a series sits on the zero line.
    EXPECT_EQ(tt, (std::vector<double>{4500, 3000, 3000, 3000, 7500}));
    EXPECT_EQ(ro, (std::vector<double>{3500, 3500, 6000, 6000, 3000}));
}

TEST(LineChartGeometry, ZeroScaleDrawsNoSeries) {
    LedgerModel ledger;
    Fill(ledger, {{"0", ""}, {"x", "-0"}, {"0.000", "1e-50"}});
    const ChartLayout c = ComputeChart(ledger, 3300);
    EXPECT_EQ(c.scale, 0.0f);
    EXPECT_TRUE(c.cumulativeChange.empty());
    EXPECT_TRUE(c.returnPct.empty());
    EXPECT_EQ(c.axisLabels[21].text, Q("0.00%"));
}

// Wide labels: 100 twips a character, the panel open (visible from 2415).
TEST(LineChartGeometry, WideLabelsMoveAndNarrowThePlotRatherThanLeaveTheRoom) {
    LedgerModel ledger;
    Fill(ledger, {{"0", "-131340.59"}, {"1", "5"}});  // "-131340.59%": 1100 twips
    const auto width = [](const QString& text) { return 100.0 * text.size(); };
    const struct {
        double x0, visibleLeft, visibleRight;
        double wantX0, wantWidth;
        bool rightElided;
    } cases[] = {
        {3300, 2415, 13455, 3545, 8780, false},  // shifted right and narrowed
        {2190, 135, 0, 2190, 9000, false},       // room enough: as designed
        {3300, 2415, 6000, 3545, 4500, true},    // no narrower than half: elided
    };
    for (const auto& k : cases) {
        const ChartLayout c = ComputeChart(ledger, k.x0, {k.visibleLeft, k.visibleRight, width});
        SCOPED_TRACE(k.visibleRight);
        EXPECT_EQ(c.x0, k.wantX0);
        EXPECT_EQ(c.width, k.wantWidth);
        EXPECT_DOUBLE_EQ(c.pitch, 300 * k.wantWidth / 9000);
        EXPECT_DOUBLE_EQ(c.returnPct[1].x(), k.wantX0 + c.pitch);
        EXPECT_EQ(c.axisLabels[20].text, Q("-131340.59%"));
        for (int j = 0; j < 22; j += 2) {
            const ChartLabel& left = c.axisLabels[j];
            EXPECT_GE(left.at.x() - width(left.text), k.visibleLeft) << j;
            EXPECT_EQ(left.maxWidth, 0) << j;
            const ChartLabel& right = c.axisLabels[j + 1];
            EXPECT_EQ(right.at.x(), c.Right() + 30);
            if (k.rightElided) {
                EXPECT_EQ(right.maxWidth, 1) << j;
            } else if (k.visibleRight > 0) {
                EXPECT_LE(right.at.x() + width(right.text), k.visibleRight) << j;
                EXPECT_EQ(right.maxWidth, 0) << j;
            }
        }
    }
}

// Rendering, sampled at a few known places.
class LineChartWidget : public ::testing::Test {
  protected:
    LedgerModel ledger;
    LineChart chart{ledger};

    void SetUp() override { chart.resize(TwipsToPixels(13455), TwipsToPixels(9255)); }

    QImage Grab() { return chart.grab().toImage(); }
    static QColor At(const QImage& image, double xTwips, double yTwips) {
        return image.pixelColor(TwipsToPixels(xTwips), TwipsToPixels(yTwips));
    }
};

TEST_F(LineChartWidget, DrawsTheSeriesInBlueAndRedOverTheGrid) {
    // TT climbs from 0 to +2 (the top edge), RO stays at -1 (a quarter up
    // from the bottom edge).
    Fill(ledger, {{"0", "-1"}, {"1", "-1"}, {"2", "-1"}});
    EXPECT_TRUE(chart.testAttribute(Qt::WA_TransparentForMouseEvents));
    chart.Draw(3300);
    ASSERT_TRUE(chart.IsDrawn());
    const QImage image = Grab();

    EXPECT_EQ(At(image, 3300 + 450, 1500 + 750), QColor(0, 0, 255));  // middle of TT 2-3
    EXPECT_EQ(At(image, 3300 + 300, 6000), QColor(255, 0, 0));        // RO at point 2
    EXPECT_EQ(At(image, 3300 + 4650, 5850), image.pixelColor(0, 0));  // between grid lines
    EXPECT_EQ(At(image, 3300 + 4500, 4500), QColor(Qt::black));       // zero line
    EXPECT_EQ(At(image, 3300 + 4500, 2100), QColor(192, 192, 255));   // a grid line
    EXPECT_EQ(At(image, 3300, 2250), QColor(Qt::black));              // left axis
    EXPECT_EQ(At(image, 3300 + 3150, 8130), QColor(0, 0, 255));       // legend Line1
    EXPECT_EQ(At(image, 3300 + 5250, 8130), QColor(255, 0, 0));       // legend Line2
}

// A plan whose return explodes (161725 with 越涨越卖): in the window's client
// area, every label shows in full right of the panel and inside the window.
TEST_F(LineChartWidget, LabelsOfAnExplodingReturnShowInFull) {
    PlanSettings settings;
    OpenPlanOptions options;
    options.mode = Mode::Theory;
    ASSERT_EQ(
        OpenPlanFile(test::DataPath("golden/161725-steady.ini"), ledger, settings, options).result,
        OpenResult::Opened);
    const QFontMetrics metrics(chart.font());
    for (const double x0 : {kChartLeftPanelOpen, kChartLeftPanelShut}) {
        chart.Draw(x0);
        const ChartLayout& c = chart.Layout();
        SCOPED_TRACE(x0);
        EXPECT_EQ(c.axisLabels[20].text, Q("-131340.59%"));
        for (int j = 0; j < 22; ++j) {
            const ChartLabel& l = c.axisLabels[j];
            const double w = PixelsToTwips(metrics.horizontalAdvance(l.text));
            const double left = j % 2 == 0 ? l.at.x() - w : l.at.x();
            EXPECT_GE(left, ChartPanelEdge(x0)) << j;
            EXPECT_LE(left + w, PixelsToTwips(chart.width())) << j;
            EXPECT_EQ(l.maxWidth, 0) << j;
        }
    }
    // With the panel shut there is room for the plot as designed.
    EXPECT_EQ(chart.Layout().x0, kChartLeftPanelShut);
    EXPECT_EQ(chart.Layout().width, kChartWidth);
}

TEST_F(LineChartWidget, KeepsItsDrawingUntilDrawnAgainAndClears) {
    Fill(ledger, {{"0", "-1"}, {"2", "-1"}});
    chart.Draw(3300);
    const ChartLayout before = chart.Layout();
    ledger.SetCell(2, Column::CumulativeChange, Q("-2"));
    EXPECT_EQ(chart.Layout().cumulativeChange, before.cumulativeChange);
    chart.Draw(2190);
    EXPECT_EQ(chart.Layout().cumulativeChange.back(), QPointF(2490, 7500));

    chart.Clear();
    EXPECT_FALSE(chart.IsDrawn());
    const QImage image = Grab();
    const QColor background = image.pixelColor(0, 0);
    for (double x = 2190; x <= 11190; x += 150)
        for (double y = 1500; y <= 8130; y += 150)
            ASSERT_EQ(At(image, x, y), background) << x << "," << y;
}

}  // namespace
}  // namespace tovira
