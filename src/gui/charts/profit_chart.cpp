#include "gui/charts/profit_chart.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "core/common/numbers.h"

namespace tovira {

ProfitChartGeometry::ProfitChartGeometry(const std::vector<QDate>& dates,
                                         const std::vector<ProfitSeries>& series,
                                         const QRectF& plot)
    : dates_(&dates), plot_(plot) {
    bool any = false;
    for (size_t i = 0; i < dates.size(); ++i) {
        const QDate& d = dates[i];
        if (!d.isValid()) continue;
        if (!first_.isValid() || d < first_) first_ = d;
        if (!last_.isValid() || d > last_) last_ = d;
        for (const ProfitSeries& s : series) {
            if (i >= s.values.size() || !std::isfinite(s.values[i])) continue;
            const double v = s.values[i];
            if (!any) {
                low_ = high_ = v;
                any = true;
            }
            low_ = std::min(low_, v);
            high_ = std::max(high_, v);
        }
    }
    // Zero always shows; a flat line gets some room above and below.
    low_ = std::min(low_, 0.0);
    high_ = std::max(high_, 0.0);
    const double pad = high_ > low_ ? (high_ - low_) * 0.05 : 1;
    low_ -= pad;
    high_ += pad;
}

double ProfitChartGeometry::XFor(const QDate& date) const {
    const qint64 span = first_.daysTo(last_);
    if (span <= 0) return plot_.center().x();
    return plot_.left() +
           plot_.width() * static_cast<double>(first_.daysTo(date)) / static_cast<double>(span);
}

double ProfitChartGeometry::YFor(double value) const {
    return plot_.bottom() - plot_.height() * (value - low_) / (high_ - low_);
}

std::optional<int> ProfitChartGeometry::NearestRow(double x) const {
    if (!Valid() || x < plot_.left() - 0.5 || x > plot_.right() + 0.5) return std::nullopt;
    std::optional<int> best;
    double bestDistance = 0;
    for (size_t i = 0; i < dates_->size(); ++i) {
        const QDate& d = (*dates_)[i];
        if (!d.isValid()) continue;
        const double distance = std::fabs(XFor(d) - x);
        // Of rows on the same day the last one counts, as the ledger ends it.
        if (!best || distance <= bestDistance) {
            best = static_cast<int>(i);
            bestDistance = distance;
        }
    }
    return best;
}

std::vector<QDate> ProfitChartGeometry::DateTicks(int maxTicks) const {
    std::vector<QDate> ticks;
    if (!Valid() || maxTicks < 1) return ticks;
    const int months = (last_.year() - first_.year()) * 12 + last_.month() - first_.month();
    for (int step : {1, 2, 3, 6, 12, 24, 60, 120, 240}) {
        if (months / step + 1 > maxTicks && step < 240) continue;
        QDate d(first_.year(), first_.month(), 1);
        if (d < first_) d = d.addMonths(1);
        // Yearly steps and longer start at a January, shorter ones at a
        // month that divides the year evenly.
        while ((d.month() - 1) % std::min(step, 12) != 0 || (step > 12 && d.year() % (step / 12))) {
            d = d.addMonths(1);
        }
        for (; d <= last_; d = d.addMonths(step)) ticks.push_back(d);
        break;
    }
    if (ticks.empty()) ticks.push_back(first_);
    return ticks;
}

std::vector<double> ProfitChartGeometry::ValueTicks(int maxTicks) const {
    std::vector<double> ticks;
    const double range = high_ - low_;
    if (!(range > 0) || maxTicks < 2) return ticks;
    const double raw = range / maxTicks;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    double step = magnitude * 10;
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        if (magnitude * m >= raw) {
            step = magnitude * m;
            break;
        }
    }
    for (double v = std::ceil(low_ / step) * step; v <= high_; v += step) {
        ticks.push_back(std::fabs(v) < step * 1e-9 ? 0 : v);
    }
    return ticks;
}

ProfitChart::ProfitChart(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(360, 200);
}

void ProfitChart::SetData(std::vector<QDate> dates, std::vector<ProfitSeries> series) {
    dates_ = std::move(dates);
    series_ = std::move(series);
    hoverRow_.reset();
    update();
}

QRectF ProfitChart::PlotRect() const {
    const QFontMetrics fm(font());
    const double left = fm.horizontalAdvance(QStringLiteral("-000000000")) + 12;
    const double top = fm.height() * 2 + 12;  // the legend
    const double bottom = fm.height() + 12;   // the date labels
    return QRectF(left, top, std::max(10.0, width() - left - 16),
                  std::max(10.0, height() - top - bottom));
}

ProfitChartGeometry ProfitChart::Geometry() const {
    return ProfitChartGeometry(dates_, series_, PlotRect());
}

namespace {

QString Money(double v) { return FormatPattern(v, u"0.00"); }

QString AxisMoney(double v) {
    return std::fabs(v) >= 1e5 ? FormatPattern(v, u"0") : FormatPattern(v, u"0.##");
}

}  // namespace

void ProfitChart::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().base());
    p.setRenderHint(QPainter::Antialiasing, false);
    const ProfitChartGeometry g = Geometry();
    const QRectF plot = g.Plot();
    const QFontMetrics fm(font());
    const QColor grid(0xE0, 0xE0, 0xE0);
    const QColor text = palette().text().color();

    if (!g.Valid()) {
        p.setPen(text);
        p.drawText(rect(), Qt::AlignCenter, QStringLiteral("没有可画的日期"));
        return;
    }
    // Money axis with grid lines.
    for (double v : g.ValueTicks(std::max(2, static_cast<int>(plot.height() / 40)))) {
        const double y = g.YFor(v);
        p.setPen(v == 0 ? QColor(0x90, 0x90, 0x90) : grid);
        p.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        p.setPen(text);
        p.drawText(QRectF(0, y - fm.height() / 2.0, plot.left() - 6, fm.height()),
                   Qt::AlignRight | Qt::AlignVCenter, AxisMoney(v));
    }
    // Date axis.
    const int labelWidth = fm.horizontalAdvance(QStringLiteral("0000-00")) + 16;
    for (const QDate& d : g.DateTicks(std::max(1, static_cast<int>(plot.width() / labelWidth)))) {
        const double x = g.XFor(d);
        p.setPen(grid);
        p.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
        p.setPen(text);
        const QString label = d.toString(QStringLiteral("yyyy-MM"));
        p.drawText(QRectF(x - labelWidth / 2.0, plot.bottom() + 4, labelWidth, fm.height()),
                   Qt::AlignHCenter | Qt::AlignTop, label);
    }
    p.setPen(QColor(0x90, 0x90, 0x90));
    p.drawRect(plot);

    // The lines: per pixel column only its lowest and highest points, so
    // that tens of thousands of rows draw quickly.
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setClipRect(plot.adjusted(-1, -1, 1, 1));
    for (const ProfitSeries& s : series_) {
        QPainterPath path;
        bool started = false;
        int column = 0;
        double lowY = 0, highY = 0, lastY = 0;
        auto flush = [&] {
            if (!started) return;
            path.lineTo(column, lowY);
            path.lineTo(column, highY);
            path.lineTo(column, lastY);
        };
        for (size_t i = 0; i < dates_.size() && i < s.values.size(); ++i) {
            if (!dates_[i].isValid() || !std::isfinite(s.values[i])) continue;
            const double x = g.XFor(dates_[i]);
            const double y = g.YFor(s.values[i]);
            const int c = static_cast<int>(std::lround(x));
            if (!started) {
                path.moveTo(x, y);
                started = true;
                column = c;
                lowY = highY = lastY = y;
                continue;
            }
            if (c != column) {
                flush();
                column = c;
                lowY = highY = y;
            }
            lowY = std::min(lowY, y);
            highY = std::max(highY, y);
            lastY = y;
        }
        flush();
        p.setPen(QPen(s.colour, 1.6));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
    }
    p.setClipping(false);

    // Legend above the plot.
    double lx = plot.left();
    const double ly = 6;
    for (const ProfitSeries& s : series_) {
        p.setPen(QPen(s.colour, 3));
        p.drawLine(QPointF(lx, ly + fm.height() / 2.0), QPointF(lx + 22, ly + fm.height() / 2.0));
        p.setPen(text);
        p.drawText(QPointF(lx + 28, ly + fm.ascent()), s.name);
        lx += 28 + fm.horizontalAdvance(s.name) + 24;
    }
    p.setPen(text);
    p.drawText(QPointF(lx, ly + fm.ascent()), QStringLiteral("（净盈亏）"));

    // The day under the pointer.
    if (!hoverRow_ || static_cast<size_t>(*hoverRow_) >= dates_.size()) return;
    const size_t row = static_cast<size_t>(*hoverRow_);
    const double x = g.XFor(dates_[row]);
    p.setPen(QPen(QColor(0x60, 0x60, 0x60), 1, Qt::DashLine));
    p.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    QStringList lines{dates_[row].toString(Qt::ISODate)};
    for (const ProfitSeries& s : series_) {
        if (row < s.values.size()) lines << s.name + QStringLiteral("  ") + Money(s.values[row]);
        if (row < s.values.size()) {
            p.setPen(Qt::NoPen);
            p.setBrush(s.colour);
            p.drawEllipse(QPointF(x, g.YFor(s.values[row])), 3.5, 3.5);
        }
    }
    int boxWidth = 0;
    for (const QString& l : lines) boxWidth = std::max(boxWidth, fm.horizontalAdvance(l));
    boxWidth += 16;
    const int boxHeight = fm.height() * static_cast<int>(lines.size()) + 10;
    double bx = x + 10;
    if (bx + boxWidth > plot.right()) bx = x - 10 - boxWidth;
    const QRectF box(bx, plot.top() + 6, boxWidth, boxHeight);
    p.setPen(QColor(0x90, 0x90, 0x90));
    p.setBrush(QColor(0xFF, 0xFF, 0xF0, 235));
    p.drawRect(box);
    for (int i = 0; i < lines.size(); ++i) {
        p.setPen(i == 0 ? text : series_[static_cast<size_t>(i - 1)].colour.darker(130));
        p.drawText(QPointF(box.left() + 8, box.top() + 5 + fm.ascent() + i * fm.height()),
                   lines[i]);
    }
}

void ProfitChart::mouseMoveEvent(QMouseEvent* event) {
    const std::optional<int> row = Geometry().NearestRow(event->position().x());
    if (row != hoverRow_) {
        hoverRow_ = row;
        update();
    }
    QWidget::mouseMoveEvent(event);
}

void ProfitChart::leaveEvent(QEvent* event) {
    if (hoverRow_) {
        hoverRow_.reset();
        update();
    }
    QWidget::leaveEvent(event);
}

}  // namespace tovira
