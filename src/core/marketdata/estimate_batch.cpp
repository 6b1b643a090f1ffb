#include "core/marketdata/estimate_batch.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QLatin1String>
#include <cmath>

#include "core/common/beijing_time.h"

namespace tovira {

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

void NoteProblem(ValuationRow& row, const QString& what) {
    if (row.problem.isEmpty()) row.problem = what;
}

// A JSON number; empty when left out or null. Anything else is a problem of
// the row, and so is a NAV that is not positive.
std::optional<double> NumberField(const QJsonObject& o, const char* key, bool positive,
                                  ValuationRow& row) {
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined() || v.isNull()) return std::nullopt;
    if (!v.isDouble() || !std::isfinite(v.toDouble())) {
        NoteProblem(row, QString::fromLatin1(key) + U(" 不是数字"));
        return std::nullopt;
    }
    const double x = v.toDouble();
    if (positive && !(x > 0)) {
        NoteProblem(row, QString::fromLatin1(key) + U(" 不是正数"));
        return std::nullopt;
    }
    return x;
}

// A text field; empty when left out or null; a problem when not text.
QString TextField(const QJsonObject& o, const char* key, ValuationRow& row) {
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined() || v.isNull()) return {};
    if (!v.isString()) NoteProblem(row, QString::fromLatin1(key) + U(" 不是文字"));
    return v.toString();
}

// The portal's own words on a refusal, under whichever key it used.
QString RefusalWords(const QJsonObject& envelope) {
    for (const char* key : {"errorMsg", "errorMessage", "message", "msg", "errMsg"}) {
        const QString words = envelope.value(QLatin1String(key)).toString();
        if (!words.isEmpty()) return words;
    }
    return {};
}

std::optional<EstimateAttempt> Refusal(const QJsonObject& envelope) {
    const QJsonValue code = envelope.value(QLatin1String("errorCode"));
    bool refused = false;
    QString detail;
    if (code.isDouble() && code.toDouble() != 0) {
        refused = true;
        detail = QStringLiteral("errorCode %1").arg(code.toDouble());
    } else if (code.isString() && !code.toString().isEmpty() &&
               code.toString() != QLatin1String("0")) {
        refused = true;
        detail = QStringLiteral("errorCode ") + code.toString();
    }
    const QJsonValue success = envelope.value(QLatin1String("success"));
    if (success.isBool() && !success.toBool()) {
        refused = true;
        if (detail.isEmpty()) detail = QStringLiteral("success false");
    }
    if (!refused) return std::nullopt;
    const QString words = RefusalWords(envelope);
    if (!words.isEmpty()) detail += U("：") + words;
    return EstimateAttempt::Failed(EstimateFailure::NoEstimate, U("数据源报错 ") + detail);
}

ValuationRow ReadRow(const QJsonObject& o) {
    ValuationRow row;
    row.code = o.value(QLatin1String("FCODE")).toString();
    row.name = TextField(o, "SHORTNAME", row);
    row.nav = NumberField(o, "NAV", true, row);
    const QString navDate = TextField(o, "PDATE", row);
    if (!navDate.isEmpty()) {
        const QDate d = ReadDashedDate(navDate);
        if (d.isValid())
            row.navDate = d;
        else
            NoteProblem(row, U("PDATE 不是日期"));
    }
    row.estimateNav = NumberField(o, "GSZ", true, row);
    row.changePct = NumberField(o, "GSZZL", false, row);
    const QString time = TextField(o, "GZTIME", row);
    if (!time.isEmpty()) {
        row.estimateTime = ReadBeijingDateTime(time);
        if (!row.estimateTime.isValid()) NoteProblem(row, U("GZTIME 不是时间"));
    }
    return row;
}

}  // namespace

QString ValuationBatchUrl(const QString& base, const QStringList& codes) {
    return base + QStringLiteral("/mm/newCore/FundValuationLast?FCODES=") +
           codes.join(QLatin1Char(',')) +
           QStringLiteral("&FIELDS=FCODE,SHORTNAME,GSZZL,GZTIME,GSZ,NAV,PDATE");
}

ValuationBatch ReadValuationRows(const QByteArray& body) {
    ValuationBatch batch;
    const auto unreadable = [&batch](const QString& why) {
        batch.rows.clear();
        batch.failure = EstimateAttempt::Failed(EstimateFailure::Unreadable, why);
        return batch;
    };
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return unreadable(U("回答不是完整的 JSON 对象"));
    const QJsonObject envelope = doc.object();
    if (std::optional<EstimateAttempt> refusal = Refusal(envelope)) {
        batch.failure = std::move(refusal);
        return batch;
    }
    const QJsonValue data = envelope.value(QLatin1String("data"));
    if (data.isNull()) return batch;
    if (!data.isArray()) return unreadable(U("缺少 data 列表"));
    for (const QJsonValue item : data.toArray()) {
        if (!item.isObject()) return unreadable(U("data 中有一项不是对象"));
        const QJsonObject o = item.toObject();
        if (!o.value(QLatin1String("FCODE")).isString() ||
            o.value(QLatin1String("FCODE")).toString().isEmpty())
            return unreadable(U("data 中有一项缺少 FCODE"));
        batch.rows.append(ReadRow(o));
    }
    return batch;
}

EstimateAttempt EstimateFromValuationRow(const ValuationRow& row) {
    const auto unreadable = [](const QString& why) {
        return EstimateAttempt::Failed(EstimateFailure::Unreadable, why);
    };
    if (!row.problem.isEmpty()) return unreadable(row.problem);
    if (!row.estimateNav && !row.changePct)
        return EstimateAttempt::Failed(EstimateFailure::NoEstimate);
    if (!row.estimateTime.isValid()) return unreadable(U("缺少 GZTIME"));

    SourceEstimate e;
    e.source = EstimateSource::Tiantian;
    e.time = row.estimateTime;
    // NAV is the base of the estimate only while it is older than the
    // estimate: in the evening the portal already gives that day's NAV.
    const bool navIsBase = row.nav && row.navDate && *row.navDate < row.estimateTime.date();
    if (navIsBase) {
        e.previousNav = row.nav;
        e.previousNavDate = row.navDate;
    }
    if (row.estimateNav && row.changePct) {
        e.nav = *row.estimateNav;
        e.changePct = *row.changePct;
    } else if (row.estimateNav) {
        if (!navIsBase) return unreadable(U("缺少 GSZZL"));
        e.nav = *row.estimateNav;
        e.changePct = (*row.estimateNav / *row.nav - 1) * 100;
    } else {
        if (!navIsBase) return unreadable(U("缺少 GSZ"));
        e.nav = *row.nav * (1 + *row.changePct / 100);
        e.changePct = *row.changePct;
    }
    // Figures past any NAV (a change of -100 % or less, an overflow).
    if (!(e.nav > 0) || !std::isfinite(e.nav) || !std::isfinite(e.changePct))
        return unreadable(U("估值超出范围"));
    return EstimateAttempt::Of(std::move(e));
}

EstimateAttempt ReadValuationBatch(const QByteArray& body, const QString& code) {
    const ValuationBatch batch = ReadValuationRows(body);
    if (batch.failure) return *batch.failure;
    for (const ValuationRow& row : batch.rows)
        if (row.code == code) return EstimateFromValuationRow(row);
    return EstimateAttempt::Failed(EstimateFailure::NoEstimate, U("回答中没有 ") + code);
}

}  // namespace tovira
