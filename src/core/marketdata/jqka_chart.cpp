#include "core/marketdata/jqka_chart.h"

#include <QByteArrayList>
#include <cmath>
#include <optional>

#include "core/common/beijing_time.h"

namespace tovira {

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

JqkaChart Failed(EstimateFailure failure, const QString& why = {}) {
    return {{}, EstimateAttempt::Failed(failure, why)};
}

std::optional<double> PositiveNumber(const QByteArray& text) {
    bool ok = false;
    const double x = text.toDouble(&ok);
    if (!ok || !std::isfinite(x) || !(x > 0)) return std::nullopt;
    return x;
}

QDate DateOf(const QByteArray& text) { return ReadDashedDate(QString::fromLatin1(text)); }

}  // namespace

QString JqkaChartUrl(const QString& base, const QString& code) {
    return base + QStringLiteral("/?module=api&controller=index&action=chart&info=vm_fd_") + code +
           QStringLiteral("&start=0930");
}

JqkaChart ReadJqkaChart(const QByteArray& body) {
    const QByteArray s = body.trimmed();
    const qsizetype equals = s.indexOf('=');
    if (!s.startsWith("vm_fd_") || equals < 0)
        return Failed(EstimateFailure::Unreadable, U("不是 vm_fd_ 变量"));
    const QByteArray assigned = s.mid(equals + 1).trimmed();
    if (!assigned.startsWith('\'')) return Failed(EstimateFailure::Unreadable, U("缺少引号"));
    const qsizetype close = assigned.indexOf('\'', 1);
    if (close < 0) return Failed(EstimateFailure::Unreadable, U("引号未闭合"));
    const QByteArray after = assigned.mid(close + 1).trimmed();
    if (!after.isEmpty() && after != ";")
        return Failed(EstimateFailure::Unreadable, U("引号后有多余内容"));
    const QByteArray content = assigned.mid(1, close - 1).trimmed();
    if (content.isEmpty()) return Failed(EstimateFailure::NoEstimate);

    const QByteArrayList halves = content.split('|');
    if (halves.size() != 2) return Failed(EstimateFailure::Unreadable, U("缺少 | 分隔"));
    const QByteArrayList day = halves[1].split('~');
    if (day.size() != 3) return Failed(EstimateFailure::Unreadable, U("当日部分不是三段"));
    QByteArrayList entries;
    for (const QByteArray& entry : day[2].split(';'))
        if (!entry.trimmed().isEmpty()) entries.append(entry.trimmed());
    if (entries.isEmpty()) return Failed(EstimateFailure::NoEstimate);

    const QDate previousDate = DateOf(halves[0].split(';').first().trimmed());
    if (!previousDate.isValid())
        return Failed(EstimateFailure::Unreadable, U("上一净值日期不是日期"));
    const QDate today = DateOf(day[0].trimmed());
    if (!today.isValid()) return Failed(EstimateFailure::Unreadable, U("估值日期不是日期"));
    const std::optional<double> previousNav = PositiveNumber(day[1].trimmed());
    if (!previousNav) return Failed(EstimateFailure::Unreadable, U("上一净值不是正数"));

    JqkaChart chart;
    for (const QByteArray& entry : entries) {
        const QByteArrayList fields = entry.split(',');
        const QByteArray hhmm = fields[0].trimmed();
        const QTime clock = hhmm.size() == 4 ? ReadClockTime(QString::fromLatin1(hhmm)) : QTime();
        const std::optional<double> nav =
            fields.size() >= 2 ? PositiveNumber(fields[1].trimmed()) : std::nullopt;
        if (!clock.isValid() || !nav)
            return Failed(EstimateFailure::Unreadable,
                          U("估值点不完整：") + QString::fromLatin1(entry.left(40)));
        chart.points.append({BeijingTimeOn(today, clock), *nav});
    }

    SourceEstimate e;
    e.source = EstimateSource::Jqka;
    e.time = chart.points.last().time;
    e.nav = chart.points.last().nav;
    e.changePct = (e.nav / *previousNav - 1) * 100;
    if (!std::isfinite(e.changePct)) return Failed(EstimateFailure::Unreadable, U("估值超出范围"));
    e.previousNav = previousNav;
    e.previousNavDate = previousDate;
    chart.latest = EstimateAttempt::Of(std::move(e));
    return chart;
}

}  // namespace tovira
