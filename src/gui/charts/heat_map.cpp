#include "gui/charts/heat_map.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <array>
#include <cmath>

namespace tovira {
namespace {

// Room around the grid: values and names of the axes, the title, the scale.
constexpr int kLeft = 78;
constexpr int kTop = 30;
constexpr int kBottom = 52;
constexpr int kRight = 110;
constexpr int kScaleGap = 16;
constexpr int kScaleWidth = 16;
constexpr int kScaleTicks = 6;

const QColor kMissing(200, 200, 200);

// Stops of the scale, low to high.
constexpr std::array<std::array<int, 3>, 5> kStops{
    {{68, 1, 84}, {59, 82, 139}, {33, 145, 140}, {94, 201, 98}, {253, 231, 37}}};

int Lerp(int a, int b, double t) { return static_cast<int>(std::lround(a + (b - a) * t)); }

}  // namespace

HeatMapGeometry::HeatMapGeometry(QSize widget, int columns, int rows)
    : columns_(std::max(columns, 0)), rows_(std::max(rows, 0)) {
    const int width = std::max(widget.width() - kLeft - kRight, 1);
    const int height = std::max(widget.height() - kTop - kBottom, 1);
    grid_ = QRect(kLeft, kTop, width, height);
    scale_ = QRect(grid_.right() + 1 + kScaleGap, kTop, kScaleWidth, height);
}

QRect HeatMapGeometry::CellRect(HeatCellIndex cell) const {
    if (columns_ == 0 || rows_ == 0) return {};
    // Edges from the proportional split, so the cells tile the grid exactly.
    auto xEdge = [this](int i) { return grid_.left() + grid_.width() * i / columns_; };
    auto yEdge = [this](int i) { return grid_.top() + grid_.height() * i / rows_; };
    const int top = yEdge(rows_ - 1 - cell.y);
    const int bottom = yEdge(rows_ - cell.y);
    return QRect(QPoint(xEdge(cell.x), top), QPoint(xEdge(cell.x + 1) - 1, bottom - 1));
}

std::optional<HeatCellIndex> HeatMapGeometry::CellAt(QPoint p) const {
    if (columns_ == 0 || rows_ == 0 || !grid_.contains(p)) return std::nullopt;
    const int column = std::min((p.x() - grid_.left()) * columns_ / grid_.width(), columns_ - 1);
    const int fromTop = std::min((p.y() - grid_.top()) * rows_ / grid_.height(), rows_ - 1);
    // The integer split above can put a point on an edge into the neighbour;
    // the cell's own rectangle decides.
    for (int dx = -1; dx <= 1; ++dx) {
        for (int dy = -1; dy <= 1; ++dy) {
            const HeatCellIndex c{column + dx, rows_ - 1 - fromTop + dy};
            if (c.x < 0 || c.y < 0 || c.x >= columns_ || c.y >= rows_) continue;
            if (CellRect(c).contains(p)) return c;
        }
    }
    return std::nullopt;
}

int HeatMapGeometry::ColumnLabelEvery(int labelWidth) const {
    if (columns_ == 0) return 1;
    const double pitch = static_cast<double>(grid_.width()) / columns_;
    return std::max(1, static_cast<int>(std::ceil((labelWidth + 6) / pitch)));
}

int HeatMapGeometry::RowLabelEvery(int labelHeight) const {
    if (rows_ == 0) return 1;
    const double pitch = static_cast<double>(grid_.height()) / rows_;
    return std::max(1, static_cast<int>(std::ceil((labelHeight + 2) / pitch)));
}

QColor HeatColor(std::optional<double> value, double lo, double hi) {
    if (!value || !std::isfinite(*value)) return kMissing;
    double t = hi > lo ? (*value - lo) / (hi - lo) : 0.5;
    t = std::clamp(t, 0.0, 1.0);
    const double pos = t * (kStops.size() - 1);
    const size_t i = std::min(static_cast<size_t>(pos), kStops.size() - 2);
    const double f = pos - static_cast<double>(i);
    return QColor(Lerp(kStops[i][0], kStops[i + 1][0], f), Lerp(kStops[i][1], kStops[i + 1][1], f),
                  Lerp(kStops[i][2], kStops[i + 1][2], f));
}

std::pair<double, double> HeatRange(const std::vector<std::optional<double>>& values) {
    bool any = false;
    double lo = 0;
    double hi = 0;
    for (const std::optional<double>& v : values) {
        if (!v || !std::isfinite(*v)) continue;
        lo = any ? std::min(lo, *v) : *v;
        hi = any ? std::max(hi, *v) : *v;
        any = true;
    }
    return {lo, hi};
}

QString HeatLabel(double value) {
    if (!std::isfinite(value)) return QStringLiteral("—");
    // Up to four decimals, trailing zeros dropped; no "-0".
    QString text = QString::number(value, 'f', std::abs(value) >= 1000 ? 0 : 4);
    if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0'))) text.chop(1);
        if (text.endsWith(QLatin1Char('.'))) text.chop(1);
    }
    if (text == QLatin1String("-0")) text = QStringLiteral("0");
    return text;
}

std::vector<double> RoundTicks(double lo, double hi, int maxTicks) {
    if (!std::isfinite(lo) || !std::isfinite(hi) || hi < lo) return {};
    if (hi == lo) return {lo};
    maxTicks = std::max(maxTicks, 1);
    const double rough = (hi - lo) / maxTicks;
    const double decade = std::pow(10.0, std::floor(std::log10(rough)));
    const double slackOf = 1e-9;
    std::vector<double> ticks;
    // The smallest round step from a tenth of a decade below the rough one up
    // whose multiples within lo..hi are few enough.
    for (int power = -1; power <= 2 && ticks.empty(); ++power) {
        for (const double m : {1.0, 2.0, 5.0}) {
            const double step = m * decade * std::pow(10.0, power);
            const double first = std::ceil(lo / step - slackOf);
            const double last = std::floor(hi / step + slackOf);
            if (step < rough * (1 - slackOf) || last - first + 1 > maxTicks) continue;
            // Twelve significant digits drop the noise of k * step.
            for (double k = first; k <= last; k += 1) {
                ticks.push_back(QString::number(k * step, 'g', 12).toDouble());
            }
            break;
        }
    }
    return ticks;
}

QString HeatScaleLabel(double value, double lo, double hi) {
    if (!std::isfinite(value)) return QStringLiteral("—");
    const double range = hi - lo;
    const int decimals = range > 0 && std::isfinite(range)
                             ? std::clamp(2 - static_cast<int>(std::floor(std::log10(range))), 0, 4)
                             : 2;
    return HeatLabel(QString::number(value, 'f', decimals).toDouble());
}

HeatMap::HeatMap(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("heatMap"));
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void HeatMap::SetData(HeatMapData next) {
    data_ = std::move(next);
    hovered_.reset();
    update();
}

HeatMapGeometry HeatMap::Geometry() const {
    return HeatMapGeometry(size(), static_cast<int>(data_.xs.size()),
                           static_cast<int>(data_.ys.size()));
}

std::optional<HeatCellIndex> HeatMap::CellIn(QPoint p) const {
    const std::optional<HeatCellIndex> cell = Geometry().CellAt(p);
    if (!cell) return std::nullopt;
    const size_t i = static_cast<size_t>(cell->y) * data_.xs.size() + static_cast<size_t>(cell->x);
    if (i >= data_.values.size()) return std::nullopt;
    return cell;
}

void HeatMap::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    const int columns = static_cast<int>(data_.xs.size());
    const int rows = static_cast<int>(data_.ys.size());
    if (columns == 0 || rows == 0 || data_.values.size() < data_.xs.size() * data_.ys.size()) {
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(rect(), Qt::AlignCenter, QStringLiteral("尚无结果"));
        return;
    }
    const HeatMapGeometry g = Geometry();
    const auto [lo, hi] = HeatRange(data_.values);
    const QFontMetrics fm(font());
    const QColor text = palette().color(QPalette::WindowText);

    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < columns; ++x) {
            const size_t i = static_cast<size_t>(y * columns + x);
            p.fillRect(g.CellRect({x, y}), HeatColor(data_.values[i], lo, hi));
        }
    }
    p.setPen(text);
    p.setBrush(Qt::NoBrush);
    p.drawRect(g.Grid().adjusted(0, 0, -1, -1));

    // The axes: round values placed where they fall between the cell
    // centres (the values of an axis are evenly spaced), the names under and
    // beside.
    const auto along = [](const std::vector<double>& values, int first, int last, double v) {
        const double span = values.back() - values.front();
        if (!(span > 0)) return static_cast<double>(first);
        return first + (v - values.front()) / span * (last - first);
    };
    // As many ticks as fit between the first and last cell centres without
    // their labels touching, never closer than two neighbouring values (no
    // tick between two searched values).
    const auto ticksFor = [&](const std::vector<double>& values, int spanPixels, bool across) {
        const double gap = values.size() > 1 ? values[1] - values[0] : 0;
        std::vector<double> ticks;
        for (int most = std::max(2, spanPixels / 20 + 1); most >= 1; --most) {
            ticks = RoundTicks(values.front(), values.back(), most);
            if (ticks.size() <= 1) break;
            int room = fm.height() + 4;
            if (across) {
                room = 0;
                for (double t : ticks) room = std::max(room, fm.horizontalAdvance(HeatLabel(t)));
                room += 12;
            }
            const double step = ticks[1] - ticks[0];
            const double pixels = spanPixels * step / (values.back() - values.front());
            if (step >= gap * (1 - 1e-9) && pixels >= room) break;
        }
        if (ticks.empty()) ticks.push_back(values.front());
        return ticks;
    };
    const int xFirst = g.CellRect({0, 0}).center().x();
    const int xLast = g.CellRect({columns - 1, 0}).center().x();
    for (const double v : ticksFor(data_.xs, xLast - xFirst, true)) {
        const int px = static_cast<int>(std::lround(along(data_.xs, xFirst, xLast, v)));
        p.drawLine(px, g.Grid().bottom() + 1, px, g.Grid().bottom() + 3);
        const QRect box(px - 40, g.Grid().bottom() + 4, 80, fm.height());
        p.drawText(box, Qt::AlignHCenter | Qt::AlignTop, HeatLabel(v));
    }
    const int yFirst = g.CellRect({0, 0}).center().y();
    const int yLast = g.CellRect({0, rows - 1}).center().y();
    for (const double v : ticksFor(data_.ys, yFirst - yLast, false)) {
        const int py = static_cast<int>(std::lround(along(data_.ys, yFirst, yLast, v)));
        p.drawLine(g.Grid().left() - 3, py, g.Grid().left() - 1, py);
        const QRect box(0, py - fm.height() / 2, g.Grid().left() - 5, fm.height());
        p.drawText(box, Qt::AlignRight | Qt::AlignVCenter, HeatLabel(v));
    }
    p.drawText(QRect(g.Grid().left(), g.Grid().bottom() + 6 + fm.height(), g.Grid().width(),
                     fm.height() + 4),
               Qt::AlignHCenter, data_.xName);
    p.save();
    p.translate(QPoint(fm.height() / 2 + 2, g.Grid().center().y()));
    p.rotate(-90);
    p.drawText(QRect(-g.Grid().height() / 2, -fm.height() / 2, g.Grid().height(), fm.height() + 2),
               Qt::AlignCenter, data_.yName);
    p.restore();
    p.drawText(QRect(g.Grid().left(), 4, g.Grid().width(), kTop - 8), Qt::AlignCenter,
               data_.metricName);

    // The colour scale, low at the bottom, with its values.
    const QRect bar = g.ScaleBar();
    for (int py = 0; py < bar.height(); ++py) {
        const double t = 1.0 - static_cast<double>(py) / std::max(bar.height() - 1, 1);
        p.setPen(HeatColor(t, 0.0, 1.0));
        p.drawLine(bar.left(), bar.top() + py, bar.right(), bar.top() + py);
    }
    p.setPen(text);
    p.drawRect(bar.adjusted(0, 0, -1, -1));
    const auto scaleTick = [&](int py, const QString& label) {
        p.drawLine(bar.right() + 1, py, bar.right() + 4, py);
        p.drawText(QRect(bar.right() + 7, py - fm.height() / 2, 90, fm.height()),
                   Qt::AlignLeft | Qt::AlignVCenter, label);
    };
    if (hi > lo) {
        for (const double v : RoundTicks(lo, hi, kScaleTicks)) {
            const double t = (v - lo) / (hi - lo);
            scaleTick(bar.bottom() - static_cast<int>(std::lround(t * (bar.height() - 1))),
                      HeatLabel(v));
        }
    } else {
        scaleTick(bar.bottom(), HeatScaleLabel(lo, lo, hi));
    }

    // The plan's own cell.
    if (data_.currentX >= 0 && data_.currentY >= 0 && data_.currentX < columns &&
        data_.currentY < rows) {
        const QRect cell = g.CellRect({data_.currentX, data_.currentY});
        p.setPen(QPen(Qt::white, 3));
        p.drawRect(cell.adjusted(1, 1, -1, -1));
        p.setPen(QPen(Qt::black, 1));
        p.drawRect(cell.adjusted(-1, -1, 0, 0));
    }
    if (!hovered_) return;
    const QRect cell = g.CellRect(*hovered_);
    p.setPen(QPen(Qt::red, 2));
    p.drawRect(cell.adjusted(1, 1, -1, -1));

    // The hovered cell's details in a box next to the pointer, kept inside.
    const size_t i = static_cast<size_t>(hovered_->y * columns + hovered_->x);
    QString details = data_.xName + QStringLiteral(" = ") + HeatLabel(data_.xs[hovered_->x]) +
                      QLatin1Char('\n') + data_.yName + QStringLiteral(" = ") +
                      HeatLabel(data_.ys[hovered_->y]);
    if (i < data_.details.size() && !data_.details[i].isEmpty()) {
        details += QLatin1Char('\n') + data_.details[i];
    }
    const QRect need = fm.boundingRect(QRect(0, 0, 400, 1000), Qt::AlignLeft, details);
    QRect box(mouse_ + QPoint(14, 14), need.size() + QSize(12, 8));
    if (box.right() > width() - 2) box.moveRight(mouse_.x() - 6);
    if (box.bottom() > height() - 2) box.moveBottom(mouse_.y() - 6);
    box.moveLeft(std::max(box.left(), 2));
    box.moveTop(std::max(box.top(), 2));
    p.setPen(palette().color(QPalette::ToolTipText));
    p.setBrush(palette().color(QPalette::ToolTipBase));
    p.drawRect(box);
    p.drawText(box.adjusted(6, 4, -6, -4), Qt::AlignLeft | Qt::AlignTop, details);
}

void HeatMap::mouseMoveEvent(QMouseEvent* event) {
    mouse_ = event->position().toPoint();
    hovered_ = CellIn(mouse_);
    update();
}

void HeatMap::leaveEvent(QEvent*) {
    hovered_.reset();
    update();
}

void HeatMap::mouseDoubleClickEvent(QMouseEvent* event) {
    const std::optional<HeatCellIndex> cell = CellIn(event->position().toPoint());
    if (!cell) return;
    emit CellActivated(data_.xs[static_cast<size_t>(cell->x)],
                       data_.ys[static_cast<size_t>(cell->y)]);
}

}  // namespace tovira
