#include "core/marketdata/sina_estimate.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QLatin1String>
#include <cmath>
#include <optional>

#include "core/common/beijing_time.h"

namespace tovira {

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

EstimateAttempt Unreadable(const QString& why) {
    return EstimateAttempt::Failed(EstimateFailure::Unreadable, why);
}

bool IsNameCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '$' || c == '.';
}

// The argument of NAME(...) after the script comment, or nothing when the
// call is not whole.
std::optional<QByteArray> CallArgument(const QByteArray& body) {
    QByteArray s = body.trimmed();
    if (s.startsWith("/*")) {
        const qsizetype end = s.indexOf("*/", 2);
        if (end < 0) return std::nullopt;
        s = s.mid(end + 2).trimmed();
    }
    qsizetype name = 0;
    while (name < s.size() && IsNameCharacter(s[name])) ++name;
    if (name == 0 || name >= s.size() || s[name] != '(') return std::nullopt;
    if (s.endsWith(';')) s.chop(1);
    s = s.trimmed();
    if (!s.endsWith(')')) return std::nullopt;
    return s.mid(name + 1, s.size() - name - 2);
}

enum class Got { Value, Null, Bad };

// A number given as a JSON number or as a number text.
Got NumberOf(const QJsonValue& v, double& out) {
    if (v.isNull()) return Got::Null;
    if (v.isDouble()) {
        out = v.toDouble();
        return std::isfinite(out) ? Got::Value : Got::Bad;
    }
    if (!v.isString()) return Got::Bad;
    bool ok = false;
    out = v.toString().trimmed().toDouble(&ok);
    return ok && std::isfinite(out) ? Got::Value : Got::Bad;
}

}  // namespace

QString SinaEstimateUrl(const QString& base, const QString& code, const QString& callback) {
    return base +
           QStringLiteral(
               "/fundInfo/api/openapi.php/FdFundService.getEstimateNetworthPic?symbol=") +
           code + QStringLiteral("&callback=") + callback;
}

EstimateAttempt ReadSinaEstimate(const QByteArray& body, const QString& code) {
    const std::optional<QByteArray> argument = CallArgument(body);
    if (!argument) return Unreadable(U("JSONP 调用未闭合"));
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(*argument, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return Unreadable(U("回答不是完整的 JSON 对象"));

    const QJsonObject result = doc.object().value(QLatin1String("result")).toObject();
    const QJsonValue status =
        result.value(QLatin1String("status")).toObject().value(QLatin1String("code"));
    if (!status.isDouble()) return Unreadable(U("缺少 status.code"));
    if (status.toDouble() != 0)
        return EstimateAttempt::Failed(EstimateFailure::NoEstimate,
                                       U("数据源报错 status %1").arg(status.toDouble()));

    const QJsonValue data = result.value(QLatin1String("data"));
    if (!data.isObject()) return Unreadable(U("缺少 data"));
    const QJsonValue networth = data.toObject().value(QLatin1String("networth"));
    if (networth.isNull() || (networth.isArray() && networth.toArray().isEmpty()))
        return EstimateAttempt::Failed(EstimateFailure::NoEstimate);
    if (!networth.isArray()) return Unreadable(U("networth 不是列表"));

    std::optional<QJsonObject> entry;
    for (const QJsonValue item : networth.toArray()) {
        if (!item.isObject()) return Unreadable(U("networth 中有一项不是对象"));
        if (item.toObject().value(QLatin1String("symbol")).toString() == code) {
            entry = item.toObject();
            break;
        }
    }
    // An answer about other funds only is not this fund's "none".
    if (!entry) return Unreadable(U("networth 中没有 ") + code);

    double nav = 0;
    double growth = 0;
    const Got gotNav = NumberOf(entry->value(QLatin1String("pre_nav")), nav);
    const Got gotGrowth = NumberOf(entry->value(QLatin1String("growthrate")), growth);
    if (gotNav == Got::Bad) return Unreadable(U("pre_nav 不是数字"));
    if (gotGrowth == Got::Bad) return Unreadable(U("growthrate 不是数字"));
    if (gotNav == Got::Null || gotGrowth == Got::Null)
        return EstimateAttempt::Failed(EstimateFailure::NoEstimate);
    if (!(nav > 0)) return Unreadable(U("pre_nav 不是正数"));
    if (!(std::fabs(growth) < 1)) return Unreadable(U("growthrate 超出范围"));

    const QDate day = ReadDashedDate(entry->value(QLatin1String("pre_date")).toString());
    if (!day.isValid()) return Unreadable(U("缺少 pre_date"));
    const QTime clock = ReadClockTime(entry->value(QLatin1String("min_time")).toString());
    if (!clock.isValid()) return Unreadable(U("缺少 min_time"));

    SourceEstimate e;
    e.source = EstimateSource::Sina;
    e.time = BeijingTimeOn(day, clock);
    e.nav = nav;
    e.changePct = growth * 100;
    const double previous = std::round(nav / (1 + growth) * 10000) / 10000;
    if (!(previous > 0) || !std::isfinite(previous)) return Unreadable(U("pre_nav 超出范围"));
    e.previousNav = previous;
    return EstimateAttempt::Of(std::move(e));
}

}  // namespace tovira
