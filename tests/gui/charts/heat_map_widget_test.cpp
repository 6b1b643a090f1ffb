#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <cmath>

#include "gui/charts/heat_map.h"

namespace tovira {
namespace {

TEST(HeatMapGeometryTest, EveryPixelOfTheGridBelongsToExactlyOneCell) {
    // Sizes that split evenly and unevenly, a single cell and a wide grid.
    const struct {
        QSize size;
        int columns, rows;
    } cases[] = {{{400, 300}, 4, 3}, {{641, 457}, 7, 13}, {{300, 200}, 1, 1}, {{900, 500}, 100, 3}};
    for (const auto& c : cases) {
        const HeatMapGeometry g(c.size, c.columns, c.rows);
        const QRect grid = g.Grid();
        for (int y = grid.top(); y <= grid.bottom(); y += 3) {
            for (int x = grid.left(); x <= grid.right(); x += 3) {
                const std::optional<HeatCellIndex> cell = g.CellAt({x, y});
                ASSERT_TRUE(cell) << x << "," << y;
                ASSERT_TRUE(g.CellRect(*cell).contains(x, y)) << cell->x << "," << cell->y;
            }
        }
        // The corners: row 0 is at the bottom.
        EXPECT_EQ(g.CellAt(grid.topLeft()), (HeatCellIndex{0, c.rows - 1}));
        EXPECT_EQ(g.CellAt(grid.bottomRight()), (HeatCellIndex{c.columns - 1, 0}));
        EXPECT_FALSE(g.CellAt(grid.topLeft() - QPoint(1, 0)));
        EXPECT_FALSE(g.CellAt(grid.bottomRight() + QPoint(0, 1)));
        EXPECT_FALSE(g.CellAt(g.ScaleBar().center()));
    }
    EXPECT_FALSE(HeatMapGeometry({400, 300}, 0, 0).CellAt({200, 150}));
}

TEST(HeatMapGeometryTest, AxisLabelsAreThinnedSoTheyDoNotOverlap) {
    const HeatMapGeometry g({400, 300}, 100, 4);  // grid 212 x 218 px
    EXPECT_EQ(g.ColumnLabelEvery(30), 17);        // (30 + 6) / 2.12 px
    EXPECT_EQ(g.RowLabelEvery(14), 1);
    EXPECT_EQ(HeatMapGeometry({2000, 300}, 10, 4).ColumnLabelEvery(30), 1);
}

TEST(HeatMapColourTest, ScaleEndsMiddleAndMissingValues) {
    const QColor grey(200, 200, 200);
    const struct {
        std::optional<double> value;
        double lo, hi;
        QColor expected;
    } cases[] = {
        {std::nullopt, 0, 1, grey},        {std::nan(""), 0, 1, grey}, {INFINITY, 0, 1, grey},
        {-5, -5, 5, QColor(68, 1, 84)},     // lowest
        {5, -5, 5, QColor(253, 231, 37)},   // highest
        {0, -5, 5, QColor(33, 145, 140)},   // middle stop
        {-50, -5, 5, QColor(68, 1, 84)},    // below the range: the low end
        {50, -5, 5, QColor(253, 231, 37)},  // above: the high end
        {3, 3, 3, QColor(33, 145, 140)},    // one value only: the middle
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HeatColor(c.value, c.lo, c.hi), c.expected)
            << (c.value ? *c.value : -1) << " in " << c.lo << ".." << c.hi;
    }
    // Rising values never get darker.
    int previous = -1;
    for (int i = 0; i <= 20; ++i) {
        const QColor colour = HeatColor(i, 0, 20);
        const int lightness = 299 * colour.red() + 587 * colour.green() + 114 * colour.blue();
        EXPECT_GE(lightness, previous) << i;
        previous = lightness;
    }
}

TEST(HeatMapColourTest, RangeSkipsMissingValuesAndLabelsAreShort) {
    EXPECT_EQ(HeatRange({std::nullopt, 3.0, std::nan(""), -2.0, 7.5}), std::make_pair(-2.0, 7.5));
    EXPECT_EQ(HeatRange({std::nullopt}), std::make_pair(0.0, 0.0));
    const std::pair<double, const char*> labels[] = {
        {-0.25, "-0.25"}, {1.2, "1.2"}, {1.1000000000000001, "1.1"}, {20000, "20000"},
        {-0.0, "0"},      {-1e-9, "0"}, {12345.6, "12346"},          {0.12345, "0.1235"}};
    for (const auto& [value, text] : labels) EXPECT_EQ(HeatLabel(value), QLatin1String(text));
    // Scale values: about three significant digits of the range.
    const struct {
        double value, lo, hi;
        const char* text;
    } scale[] = {{28.4741, 24.41, 29.49, "28.47"},
                 {12345.6, 0, 20000, "12346"},
                 {0.123456, 0.1, 0.15, "0.1235"},
                 {-3.5, -3.5, -3.5, "-3.5"}};
    for (const auto& c : scale) {
        EXPECT_EQ(HeatScaleLabel(c.value, c.lo, c.hi), QLatin1String(c.text)) << c.value;
    }
}

TEST(HeatMapTicksTest, TicksAreRoundStepsOfOneTwoOrFive) {
    const struct {
        double lo, hi;
        int most;
        std::vector<double> ticks;
    } cases[] = {
        {-9, -0.5, 5, {-8, -6, -4, -2}},
        {26.13, 26.71, 6, {26.2, 26.3, 26.4, 26.5, 26.6, 26.7}},
        {26.13, 26.71, 3, {26.2, 26.4, 26.6}},
        {1, 2, 4, {1, 1.5, 2}},  // 0.25 is no round step: 0.5
        {-3.7, 12000, 5, {0, 5000, 10000}},
        // Steps of 0.02 would make eleven.
        {0.1, 0.3, 10, {0.1, 0.15, 0.2, 0.25, 0.3}},
        {-3.5, -3.5, 5, {-3.5}},
        {2, 1, 5, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RoundTicks(c.lo, c.hi, c.most), c.ticks) << c.lo << " " << c.hi;
    }
}

TEST(HeatMapWidgetTest, HoverShowsACellAndDoubleClickReportsItsValues) {
    HeatMap map;
    map.resize(400, 300);
    HeatMapData data;
    data.xs = {-1, -0.5, 0};
    data.ys = {1, 1.5};
    data.values = {1.0, 2.0, std::nullopt, 4.0, 5.0, 6.0};
    data.details = {"a", "b", "c", "d", "e", "f"};
    map.SetData(data);
    map.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&map));
    QSignalSpy activated(&map, &HeatMap::CellActivated);
    const QPoint topRight = map.Geometry().CellRect({2, 1}).center();
    QTest::mouseMove(&map, topRight);
    EXPECT_EQ(map.Hovered(), (HeatCellIndex{2, 1}));
    QTest::mouseDClick(&map, Qt::LeftButton, {}, topRight);
    ASSERT_EQ(activated.count(), 1);
    EXPECT_EQ(activated[0][0].toDouble(), 0.0);
    EXPECT_EQ(activated[0][1].toDouble(), 1.5);
    // Outside the grid: nothing.
    QTest::mouseMove(&map, QPoint(5, 5));
    QTest::mouseDClick(&map, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(activated.count(), 1);
    EXPECT_FALSE(map.Hovered());
}

}  // namespace
}  // namespace tovira
