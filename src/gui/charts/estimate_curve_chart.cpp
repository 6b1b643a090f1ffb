#include "gui/charts/estimate_curve_chart.h"

#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <algorithm>
#include <cmath>
#include <utility>

#include "core/ledger/ledger_model.h"
#include "gui/layout/twips.h"

namespace tovira {

namespace {

// Rises in the ledger's red; falls in a green dark enough for a thin line and
// small text on white (the ledger's own green is for bold cell text).
const QColor kRiseColour = QColor::fromRgb(kRed);
const QColor kFallColour(0, 150, 0);
const QColor kFlatColour(0x40, 0x40, 0x40);
const QColor kGridColour(0xE0, 0xE0, 0xE0);
const QColor kFrameColour(0x90, 0x90, 0x90);

constexpr double kMorningMinutes = 120;
constexpr double kSessionMinutes = 240;
// The smallest half span of the NAV scale, as a share of the previous NAV.
constexpr double kMinimumHalfSpan = 0.001;
constexpr int kGap = 4;

double ChangePct(double nav, double previousNav) { return (nav / previousNav - 1) * 100; }

QColor ColourOf(double nav, double previousNav) {
    if (nav > previousNav) return kRiseColour;
    if (nav < previousNav) return kFallColour;
    return kFlatColour;
}

QString NavText(double nav) { return QString::number(nav, 'f', 4); }

QString PctText(double pct) {
    // -0.00 reads as a fall that is not there.
    if (std::fabs(pct) < 0.005) pct = 0;
    return (pct > 0 ? QStringLiteral("+") : QString()) + QString::number(pct, 'f', 2) +
           QLatin1Char('%');
}

}  // namespace

double SessionMinute(const QTime& time) {
    if (!time.isValid()) return 0;
    const double minutes = time.hour() * 60 + time.minute() + time.second() / 60.0;
    const double open = 9 * 60 + 30;
    const double lunch = 11 * 60 + 30;
    const double afternoon = 13 * 60;
    if (minutes <= open) return 0;
    if (minutes <= lunch) return minutes - open;
    if (minutes <= afternoon) return kMorningMinutes;
    return std::min(kSessionMinutes, kMorningMinutes + minutes - afternoon);
}

EstimateCurveGeometry::EstimateCurveGeometry(const EstimateCurve& curve, const QRectF& plot)
    : plot_(plot) {
    const double reference = curve.previousNav;
    double halfSpan = reference * kMinimumHalfSpan;
    for (const EstimatePoint& p : curve.points) {
        halfSpan = std::max(halfSpan, std::fabs(p.nav - reference) * 1.1);
    }
    if (!(halfSpan > 0) || !std::isfinite(halfSpan)) halfSpan = 1;
    low_ = reference - halfSpan;
    high_ = reference + halfSpan;
}

double EstimateCurveGeometry::XFor(const QTime& time) const {
    return plot_.left() + plot_.width() * SessionMinute(time) / kSessionMinutes;
}

double EstimateCurveGeometry::YFor(double nav) const {
    return plot_.bottom() - plot_.height() * (nav - low_) / (high_ - low_);
}

EstimateCurveChart::EstimateCurveChart(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("estimateCurveChart"));
    setFont(WindowFont());
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    setPalette(p);
}

void EstimateCurveChart::SetCurve(EstimateCurve curve, QString caption) {
    curve_ = std::move(curve);
    caption_ = std::move(caption);
    update();
}

QString EstimateCurveChart::LatestText() const {
    if (curve_.points.isEmpty() || !(curve_.previousNav > 0)) return {};
    const EstimatePoint& last = curve_.points.last();
    return last.time.time().toString(QStringLiteral("HH:mm")) + QStringLiteral("  ") +
           NavText(last.nav) + QStringLiteral("  ") +
           PctText(ChangePct(last.nav, curve_.previousNav));
}

QRectF EstimateCurveChart::PlotRect() const {
    const QFontMetrics fm(font());
    const int left = fm.horizontalAdvance(QStringLiteral("00.0000")) + 2 * kGap;
    const int right = fm.horizontalAdvance(QStringLiteral("+00.00%")) + 2 * kGap;
    // The axis labels stand centred on the top and bottom lines: half a line
    // more keeps them clear of the caption and of the times.
    const int top = fm.height() * 3 / 2 + 2 * kGap;
    const int bottom = fm.height() * 3 / 2 + kGap;
    return QRectF(left, top, std::max(1, width() - left - right),
                  std::max(1, height() - top - bottom));
}

void EstimateCurveChart::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    QPainter p(this);
    const QFontMetrics fm(font());
    p.setPen(kFlatColour);
    p.drawText(QRect(kGap, kGap, width() - 2 * kGap, fm.height()), Qt::AlignLeft | Qt::AlignVCenter,
               caption_);
    if (curve_.points.isEmpty() || !(curve_.previousNav > 0)) return;

    const QRectF plot = PlotRect();
    const EstimateCurveGeometry g(curve_, plot);
    const double reference = curve_.previousNav;

    // Grid: four rows around the reference line, a column at every hour of
    // trading; the break sits where the sessions meet.
    const double levels[] = {g.High(), (g.High() + reference) / 2, reference,
                             (g.Low() + reference) / 2, g.Low()};
    for (double level : levels) {
        const double y = g.YFor(level);
        if (level != reference) {
            p.setPen(kGridColour);
            p.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        }
        const QRectF leftLabel(0, y - fm.height() / 2.0, plot.left() - kGap, fm.height());
        const QRectF rightLabel(plot.right() + kGap, y - fm.height() / 2.0,
                                width() - plot.right() - kGap, fm.height());
        p.setPen(ColourOf(level, reference));
        p.drawText(leftLabel, Qt::AlignRight | Qt::AlignVCenter, NavText(level));
        p.drawText(rightLabel, Qt::AlignLeft | Qt::AlignVCenter,
                   PctText(ChangePct(level, reference)));
    }
    const std::pair<QTime, const char*> ticks[] = {{QTime(9, 30), "09:30"},
                                                   {QTime(10, 30), "10:30"},
                                                   {QTime(11, 30), "11:30/13:00"},
                                                   {QTime(14, 0), "14:00"},
                                                   {QTime(15, 0), "15:00"}};
    p.setPen(kFlatColour);
    for (const auto& [time, text] : ticks) {
        const double x = g.XFor(time);
        if (x > plot.left() && x < plot.right()) {
            p.setPen(kGridColour);
            p.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
        }
        const QString label = QString::fromLatin1(text);
        const int w = fm.horizontalAdvance(label);
        const double at = std::clamp(x - w / 2.0, 0.0, double(width() - w));
        p.setPen(kFlatColour);
        p.drawText(QPointF(at, plot.bottom() + fm.height() * 0.5 + fm.ascent()), label);
    }
    p.setPen(kFrameColour);
    p.setBrush(Qt::NoBrush);
    p.drawRect(plot);

    // The previous NAV.
    p.setPen(QPen(kFlatColour, 1, Qt::DashLine));
    p.drawLine(QPointF(plot.left(), g.YFor(reference)), QPointF(plot.right(), g.YFor(reference)));

    // The curve: red above the reference line, green below it.
    QPainterPath path;
    for (qsizetype i = 0; i < curve_.points.size(); ++i) {
        const QPointF at(g.XFor(curve_.points[i].time.time()), g.YFor(curve_.points[i].nav));
        if (i == 0) {
            path.moveTo(at);
        } else {
            path.lineTo(at);
        }
    }
    p.setRenderHint(QPainter::Antialiasing);
    const double split = g.YFor(reference);
    const QRectF above(plot.left() - 2, plot.top() - 2, plot.width() + 4, split - plot.top() + 2);
    const QRectF below(plot.left() - 2, split, plot.width() + 4, plot.bottom() - split + 2);
    for (const auto& [part, colour] :
         {std::pair(above, kRiseColour), std::pair(below, kFallColour)}) {
        p.save();
        p.setClipRect(part);
        p.setPen(QPen(colour, 1.5));
        p.drawPath(path);
        p.restore();
    }

    // The latest point: a dot on the curve, its time, value and change at the
    // right of the caption's line, where the curve never runs.
    const EstimatePoint& last = curve_.points.last();
    const QPointF dot(g.XFor(last.time.time()), g.YFor(last.nav));
    const QColor colour = ColourOf(last.nav, reference);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(dot, 3, 3);
    p.setPen(colour);
    p.drawText(QRect(kGap, kGap, width() - 2 * kGap, fm.height()),
               Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("最新  ") + LatestText());
}

}  // namespace tovira
