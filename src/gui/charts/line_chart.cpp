#include "gui/charts/line_chart.h"

#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>
#include <QPen>
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include "core/common/numbers.h"
#include "core/ledger/ledger_model.h"
#include "gui/layout/twips.h"

namespace tovira {

namespace {

const QColor kGridColour(192, 192, 255);
const QColor kTTIncreaseColour(0, 0, 255);
const QColor kReturnColour(255, 0, 0);

constexpr double kLabelRowSpacing = 600;  // 11 label rows
constexpr double kGridSpacing = 300;      // horizontal grid lines and axis ticks
constexpr double kAxisTick = 45;
constexpr double kZeroTick = 30;
constexpr double kLabelGap = 30;

// Distance between points by the number of rows, and the day label at the
// right end of the zero line.
struct StepChoice {
    int step;
    const char* rightLabel;
};

StepChoice StepFor(int rows) {
    if (rows <= 31) return {300, "第31天"};
    if (rows <= 60) return {150, "第61天"};
    if (rows <= 90) return {100, "第91天"};
    return {75, "第121天"};
}

// |leading number| of a cell as a single; a value outside the single range
// cannot be stored and leaves 0.
float AbsoluteLeadingNumber(const QString& text) {
    float v = 0;
    Assign(v, std::fabs(ReadNumber(text)));
    return v;
}

// Height of a point in whole twips, or nothing when the cell text is not a
// number (or the result is no usable coordinate).
std::optional<double> PointHeight(const QString& text, double zeroLine, float scale) {
    const std::optional<double> value = StrictNumber(text);
    if (!value) return std::nullopt;
    const double y = std::nearbyint(zeroLine - *value * (kChartHeight / 2) / scale);
    if (!std::isfinite(y) || y < std::numeric_limits<int32_t>::min() ||
        y > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    return y;
}

}  // namespace

float MaxOfArray(const std::vector<float>& values) {
    if (values.empty()) return 0;
    float largest = values[0];
    for (size_t i = 1; i < values.size(); ++i) {
        if (values[i] > largest) largest = values[i];
    }
    return largest;
}

double ChartLeftEdge(const QString& panelToggleText) {
    return panelToggleText == QStringLiteral(" 《") ? kChartLeftPanelOpen : kChartLeftPanelShut;
}

double ChartPanelEdge(double x0Twips) {
    return x0Twips >= kChartLeftPanelOpen ? kChartPanelOpenEdge : kChartPanelShutEdge;
}

namespace {

ChartLayout BuildChart(const LedgerModel& ledger, double x0Twips, double widthTwips) {
    ChartLayout c;
    const int n = ledger.LastRow();
    c.rows = n;
    c.x0 = x0Twips;
    c.y0 = kChartTop;
    c.width = widthTwips;

    // Both series' magnitudes in one array, element 0 being 0, so the scale is
    // never negative.
    std::vector<float> magnitudes(static_cast<size_t>(2 * n + 1), 0.0f);
    for (int i = 1; i <= n; ++i) {
        magnitudes[static_cast<size_t>(i)] =
            AbsoluteLeadingNumber(ledger.Cell(i, Column::CumulativeChange));
        magnitudes[static_cast<size_t>(n + i)] =
            AbsoluteLeadingNumber(ledger.Cell(i, Column::ReturnPct));
    }

    const double legendY = c.y0 * 3 / 2 + kChartHeight - 120;
    c.legendLines[0] = {{c.x0 + 2700, legendY}, {c.x0 + 3600, legendY}};
    c.legendLines[1] = {{c.x0 + 4800, legendY}, {c.x0 + 5700, legendY}};
    c.legendLabels[0] = {QStringLiteral("累计涨幅"),
                         {c.legendLines[0].to.x() + 90, legendY - 120},
                         ChartLabel::Anchor::TopLeft};
    c.legendLabels[1] = {QStringLiteral("净收益率"),
                         {c.legendLines[1].to.x() + 90, legendY - 120},
                         ChartLabel::Anchor::TopLeft};

    c.scale = MaxOfArray(magnitudes);

    // Row k reads M * (1 - k/5): +M at the top, -M at the bottom.
    for (int k = 0; k <= 10; ++k) {
        const double v = Round(static_cast<double>(c.scale) * (1.0 - k / 5.0), 2);
        const QString text = FormatPattern(v, u"0.00") + QLatin1Char('%');
        const double y = c.y0 + kLabelRowSpacing * k;
        c.axisLabels[static_cast<size_t>(2 * k)] = {
            text, {c.x0 - kLabelGap, y}, ChartLabel::Anchor::RightMiddle};
        c.axisLabels[static_cast<size_t>(2 * k + 1)] = {
            text, {c.Right() + kLabelGap, y}, ChartLabel::Anchor::LeftMiddle};
    }
    const StepChoice choice = StepFor(n);
    c.step = choice.step;
    // A narrowed plot keeps its number of steps.
    c.pitch = c.width == kChartWidth ? c.step : c.step * c.width / kChartWidth;
    c.axisLabels[10].text = QStringLiteral("第1天");
    c.axisLabels[11].text = QString::fromUtf8(choice.rightLabel);

    // A scale of 0 leaves nothing to plot. A cell that is not a number keeps
    // the previous point's height, so its segments run flat; before the first
    // readable point that is the zero line.
    if (n > 1 && c.scale > 0) {
        c.cumulativeChange.reserve(static_cast<size_t>(n));
        c.returnPct.reserve(static_cast<size_t>(n));
        double tt = c.ZeroLine();
        double ro = c.ZeroLine();
        for (int i = 1; i <= n; ++i) {
            const double x = c.x0 + static_cast<double>(i - 1) * c.pitch;
            if (auto y =
                    PointHeight(ledger.Cell(i, Column::CumulativeChange), c.ZeroLine(), c.scale))
                tt = *y;
            if (auto y = PointHeight(ledger.Cell(i, Column::ReturnPct), c.ZeroLine(), c.scale))
                ro = *y;
            c.cumulativeChange.emplace_back(x, tt);
            c.returnPct.emplace_back(x, ro);
        }
    }
    return c;
}

}  // namespace

ChartLayout ComputeChart(const LedgerModel& ledger, double x0Twips) {
    return BuildChart(ledger, x0Twips, kChartWidth);
}

ChartLayout ComputeChart(const LedgerModel& ledger, double x0Twips, const ChartRoom& room) {
    ChartLayout c = BuildChart(ledger, x0Twips, kChartWidth);
    if (!room.labelWidth) return c;
    const bool rightLimited = room.visibleRight > 0;

    // Label_PC(2k) stand left of the plot, Label_PC(2k + 1) right of it.
    double widestLeft = 0;
    double widestRight = 0;
    for (size_t j = 0; j < c.axisLabels.size(); ++j) {
        double& widest = j % 2 == 0 ? widestLeft : widestRight;
        widest = std::max(widest, room.labelWidth(c.axisLabels[j].text));
    }

    const double x0 = std::max(x0Twips, room.visibleLeft + kLabelGap + widestLeft);
    double width = kChartWidth;
    if (rightLimited) {
        const double spare = room.visibleRight - kLabelGap - widestRight - x0;
        width = std::clamp(spare, kChartMinWidth, kChartWidth);
    }
    if (x0 != x0Twips || width != kChartWidth) c = BuildChart(ledger, x0, width);

    // What even the narrowest plot cannot make room for is elided.
    const double leftRoom = c.x0 - kLabelGap - room.visibleLeft;
    const double rightRoom = room.visibleRight - kLabelGap - c.Right();
    for (size_t j = 0; j < c.axisLabels.size(); ++j) {
        ChartLabel& l = c.axisLabels[j];
        const double available = j % 2 == 0 ? leftRoom : rightRoom;
        if ((j % 2 == 0 || rightLimited) && room.labelWidth(l.text) > available) {
            l.maxWidth = std::max(available, 1.0);
        }
    }
    return c;
}

LineChart::LineChart(const LedgerModel& ledger, QWidget* parent)
    : QWidget(parent), ledger_(ledger) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFont(WindowFont());
}

void LineChart::Draw(double x0Twips) {
    ChartRoom room;
    room.visibleLeft = ChartPanelEdge(x0Twips);
    room.visibleRight = PixelsToTwips(width());
    const QFontMetrics metrics(font());
    // One pixel more than the text takes: positions round to whole pixels.
    room.labelWidth = [metrics](const QString& text) {
        return PixelsToTwips(metrics.horizontalAdvance(text) + 1);
    };
    layout_ = ComputeChart(ledger_, x0Twips, room);
    drawn_ = true;
    update();
}

void LineChart::Clear() {
    layout_ = ChartLayout();
    drawn_ = false;
    update();
}

void LineChart::paintEvent(QPaintEvent*) {
    if (!drawn_) return;
    const ChartLayout& c = layout_;
    const double ppt = PixelsPerTwip();
    auto px = [ppt](double twips) { return static_cast<int>(std::lround(twips * ppt)); };
    auto point = [&px](const QPointF& p) { return QPoint(px(p.x()), px(p.y())); };

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, false);
    auto line = [&painter, &px](double x1, double y1, double x2, double y2) {
        painter.drawLine(px(x1), px(y1), px(x2), px(y2));
    };

    // Grid, then axes and ticks, in thin lines.
    painter.setPen(QPen(kGridColour, 1));
    for (double y = c.y0; y <= c.Bottom(); y += kGridSpacing) line(c.x0, y, c.Right(), y);
    // Grid lines and ticks counted by step, so rounding never adds or drops one.
    const int steps = static_cast<int>(kChartWidth) / c.step;
    for (int i = 0; i <= steps; ++i) line(c.x0 + i * c.pitch, c.y0, c.x0 + i * c.pitch, c.Bottom());

    painter.setPen(QPen(Qt::black, 1));
    line(c.x0, c.y0, c.x0, c.Bottom());
    line(c.Right(), c.y0, c.Right(), c.Bottom());
    for (double y = c.y0; y <= c.Bottom(); y += kGridSpacing) {
        line(c.x0, y, c.x0 + kAxisTick, y);
        line(c.Right() - kAxisTick, y, c.Right(), y);
    }
    line(c.x0, c.ZeroLine(), c.Right(), c.ZeroLine());
    for (int i = 0; i <= steps; ++i) {
        const double x = c.x0 + i * c.pitch;
        line(x, c.ZeroLine() - kZeroTick, x, c.ZeroLine() + kZeroTick);
    }

    // The series in thick lines; each day's blue segment goes down before its
    // red one.
    const QPen blue(kTTIncreaseColour, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    const QPen red(kReturnColour, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    for (size_t i = 1; i < c.cumulativeChange.size() && i < c.returnPct.size(); ++i) {
        painter.setPen(blue);
        painter.drawLine(point(c.cumulativeChange[i - 1]), point(c.cumulativeChange[i]));
        painter.setPen(red);
        painter.drawLine(point(c.returnPct[i - 1]), point(c.returnPct[i]));
    }

    // Legend and labels lie on top of the drawing, as controls would: the
    // labels are opaque in the window's colour, so points beyond the right
    // axis pass under them. Their size follows the text in the window font.
    painter.setPen(blue);
    painter.drawLine(point(c.legendLines[0].from), point(c.legendLines[0].to));
    painter.setPen(red);
    painter.drawLine(point(c.legendLines[1].from), point(c.legendLines[1].to));

    const QFontMetrics metrics(font());
    const QBrush background = palette().window();
    painter.setPen(Qt::black);
    auto label = [&](const ChartLabel& l) {
        QString text = l.text;
        if (l.maxWidth > 0) text = metrics.elidedText(text, Qt::ElideRight, px(l.maxWidth));
        const int w = metrics.horizontalAdvance(text);
        const int h = metrics.height();
        const QPoint at = point(l.at);
        QRect box;
        switch (l.anchor) {
            case ChartLabel::Anchor::RightMiddle:
                box = QRect(at.x() - w, at.y() - h / 2, w, h);
                break;
            case ChartLabel::Anchor::LeftMiddle:
                box = QRect(at.x(), at.y() - h / 2, w, h);
                break;
            case ChartLabel::Anchor::TopLeft:
                box = QRect(at.x(), at.y(), w, h);
                break;
        }
        painter.fillRect(box, background);
        painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip, text);
    };
    for (const ChartLabel& l : c.axisLabels) label(l);
    for (const ChartLabel& l : c.legendLabels) label(l);
}

}  // namespace tovira
